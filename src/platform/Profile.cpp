#include "platform/Profile.h"

#include "platform/Text.h"

#include <sstream>

namespace platform {

namespace {

constexpr std::size_t kMaxValueLength = 2047;

}  // namespace

std::string ProfileStringFromText(const std::string& iniText, const std::string& section, const std::string& key,
                              const std::string& fallback)
{
    std::istringstream in(iniText);
    std::string line;
    bool inSection = false;
    bool sectionSeen = false;
    while (std::getline(in, line)) {
        const std::string trimmed = TrimBlanks(line);
        if (trimmed.empty() || trimmed[0] == ';')
            continue;
        if (trimmed[0] == '[') {
            const auto close = trimmed.find(']');
            const std::string name = TrimBlanks(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            // Only the first section of a name counts.
            if (inSection)
                sectionSeen = true;
            inSection = !sectionSeen && EqualIgnoringAsciiCase(name, section);
            continue;
        }
        if (!inSection)
            continue;
        const auto equals = trimmed.find('=');
        if (equals == std::string::npos || !EqualIgnoringAsciiCase(TrimBlanks(trimmed.substr(0, equals)), key))
            continue;
        std::string value = TrimBlanks(trimmed.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        if (value.size() > kMaxValueLength)
            value.resize(kMaxValueLength);
        return value;
    }
    return fallback;
}

}  // namespace platform
