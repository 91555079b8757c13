#include "platform/Paths.h"

#include "platform/FileSystem.h"

#include <stdexcept>
#include <vector>
#include <windows.h>

namespace platform {

const char* const kPathDelimiters = "\\/:";
const char kPathSeparator = '\\';

std::string ExecutablePath()
{
    // The buffer grows until the whole path fits (long paths exceed MAX_PATH).
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            throw std::runtime_error("Cannot determine the executable's path: " + SystemMessage(GetLastError()));
        if (length < buffer.size())
            return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

// A running program's file cannot be replaced or changed on Windows: its path
// opens the very bytes that run.
std::string RunningExecutableFile() { return ExecutablePath(); }

std::string ExeDirOf(const std::string& executablePath)
{
    const auto last = executablePath.find_last_of("\\:");
    if (last == std::string::npos)
        return {};
    // "C:\updater.exe" gives the drive root "C:\", "C:updater.exe" gives "C:".
    const bool keep = executablePath[last] == ':' || (last > 0 && executablePath[last - 1] == ':');
    return executablePath.substr(0, keep ? last + 1 : last);
}

std::string TempPath()
{
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof buffer, buffer);
    if (length > 0 && length < sizeof buffer)
        return std::string(buffer, length);
    std::vector<char> longer(length + 1);
    const DWORD again = length > 0 ? GetTempPathA(static_cast<DWORD>(longer.size()), longer.data()) : 0;
    return again > 0 && again < longer.size() ? std::string(longer.data(), again) : std::string();
}

std::string HostName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

std::string ProgramFileName(const std::string& base) { return base + ".exe"; }

}  // namespace platform
