#include "dbupdate/Settings.h"

#include "platform/Paths.h"
#include "platform/Text.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace dbupdate {

namespace {

constexpr std::size_t kMaxValueLength = 2047;

}  // namespace

std::string ReadProfileString(const std::string& iniText, const std::string& section, const std::string& key,
                              const std::string& fallback)
{
    std::istringstream in(iniText);
    std::string line;
    bool inSection = false;
    bool sectionSeen = false;
    while (std::getline(in, line)) {
        const std::string trimmed = platform::TrimBlanks(line);
        if (trimmed.empty() || trimmed[0] == ';')
            continue;
        if (trimmed[0] == '[') {
            const auto close = trimmed.find(']');
            const std::string name = platform::TrimBlanks(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            // Only the first section of a name counts.
            if (inSection)
                sectionSeen = true;
            inSection = !sectionSeen && platform::EqualIgnoringAsciiCase(name, section);
            continue;
        }
        if (!inSection)
            continue;
        const auto equals = trimmed.find('=');
        if (equals == std::string::npos || !platform::EqualIgnoringAsciiCase(platform::TrimBlanks(trimmed.substr(0, equals)), key))
            continue;
        std::string value = platform::TrimBlanks(trimmed.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        if (value.size() > kMaxValueLength)
            value.resize(kMaxValueLength);
        return value;
    }
    return fallback;
}

std::int32_t ReadProfileInteger(const std::string& iniText, const std::string& section, const std::string& key,
                                std::int32_t fallback)
{
    const std::string text = ReadProfileString(iniText, section, key, "");
    std::int32_t value = 0;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex ? platform::TryParseInt32(text.substr(2), 16, value) : platform::TryParseInt32(text, 10, value))
        return value;
    return fallback;
}

Settings ReadSettings(const std::string& iniPath, const std::string& exeDir)
{
    std::ifstream in(iniPath, std::ios::binary);
    const std::string text = in ? std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())
                                : std::string();
    Settings settings;
    settings.pathBaseIB = ReadProfileString(text, "Common", "PathBaseIB", "");
    settings.nameServer = ReadProfileString(text, "Common", "NameServer", "");
    settings.typeServer = ReadProfileInteger(text, "Common", "TypeServer", 0);
    settings.connectProtocol = ReadProfileInteger(text, "Common", "ConnectProtocol", 0);
    if (settings.pathBaseIB.empty())
        settings.pathBaseIB = platform::JoinPath(exeDir, kDefaultDatabaseName);
    return settings;
}

std::string ServerForConnect(const Settings& settings)
{
    return settings.typeServer != 0 ? settings.nameServer : std::string();
}

}  // namespace dbupdate
