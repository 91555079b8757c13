#include "platform/Profile.h"

#include <fstream>
#include <iterator>

namespace platform {

std::string ReadProfileString(const std::string& iniPath, const std::string& section, const std::string& key,
                              const std::string& fallback)
{
    std::ifstream in(iniPath, std::ios::binary);
    if (!in)
        return fallback;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ProfileStringFromText(text, section, key, fallback);
}

}  // namespace platform
