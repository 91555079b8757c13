#include "dbupdate/Settings.h"

#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/Text.h"

namespace dbupdate {

std::int32_t ProfileInteger(const std::string& text, std::int32_t fallback)
{
    std::int32_t value = 0;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex ? platform::TryParseInt32(text.substr(2), 16, value) : platform::TryParseInt32(text, 10, value))
        return value;
    return fallback;
}

Settings ReadSettings(const std::string& iniPath, const std::string& exeDir)
{
    Settings settings;
    settings.pathBaseIB = platform::ReadProfileString(iniPath, "Common", "PathBaseIB", "");
    settings.nameServer = platform::ReadProfileString(iniPath, "Common", "NameServer", "");
    settings.typeServer = ProfileInteger(platform::ReadProfileString(iniPath, "Common", "TypeServer", ""), 0);
    settings.connectProtocol = ProfileInteger(platform::ReadProfileString(iniPath, "Common", "ConnectProtocol", ""), 0);
    if (settings.pathBaseIB.empty())
        settings.pathBaseIB = platform::JoinPath(exeDir, kDefaultDatabaseName);
    return settings;
}

std::string ServerForConnect(const Settings& settings)
{
    return settings.typeServer != 0 ? settings.nameServer : std::string();
}

}  // namespace dbupdate
