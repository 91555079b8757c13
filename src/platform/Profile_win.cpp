#include "platform/Profile.h"

#include <windows.h>

namespace platform {

std::string ReadProfileString(const std::string& iniPath, const std::string& section, const std::string& key,
                              const std::string& fallback)
{
    // 2047 characters and the terminating NUL, as the settings are read.
    char value[2048] = {};
    const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), value, sizeof value,
                                                  iniPath.c_str());
    return std::string(value, length);
}

}  // namespace platform
