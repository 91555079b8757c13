#pragma once
// The installation's settings from cnfg.ini, section "Common".

#include <cstdint>
#include <string>

namespace dbupdate {

// The database file beside the updater, used when the settings name none.
inline constexpr const char* kDefaultDatabaseName = "norvexlib.fdb";

struct Settings {
    std::string pathBaseIB;          // "PathBaseIB": the database path
    std::string nameServer;          // "NameServer"
    std::int32_t typeServer = 0;     // "TypeServer": 0 local, else through NameServer
    std::int32_t connectProtocol = 0;  // "ConnectProtocol": read and kept
};

// Reads a profile value as an integer: a text longer than two characters
// starting with "0x" or "0X" is hexadecimal, otherwise a signed decimal;
// anything that does not convert as a whole, like an empty text, gives
// fallback.
std::int32_t ProfileInteger(const std::string& text, std::int32_t fallback);

// Reads the four settings from the profile file iniPath, section "Common" (a
// missing or unreadable file gives the defaults) and replaces an empty database path by exeDir joined
// with "norvexlib.fdb".
Settings ReadSettings(const std::string& iniPath, const std::string& exeDir);

// The server name Connect gets: NameServer when TypeServer is not 0, else "".
std::string ServerForConnect(const Settings& settings);

}  // namespace dbupdate
