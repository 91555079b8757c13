#include "platform/Paths.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace platform {

const char* const kPathDelimiters = "/";
const char kPathSeparator = '/';

std::string RunningExecutableFile() { return "/proc/self/exe"; }

std::string ExecutablePath()
{
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        throw std::runtime_error("Cannot determine the executable's path: " + error.message());
    return path.string();
}

std::string ExeDirOf(const std::string& executablePath)
{
    const auto last = executablePath.rfind(kPathSeparator);
    if (last == std::string::npos)
        return {};
    if (last == 0)
        return "/";
    return executablePath.substr(0, last);
}

std::string TempPath()
{
    std::error_code error;
    std::string path = std::filesystem::temp_directory_path(error).string();
    if (error || path.empty())
        path = "/tmp";
    if (path.back() != kPathSeparator)
        path += kPathSeparator;
    return path;
}

std::string HostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

std::string ProgramFileName(const std::string& base) { return base; }

}  // namespace platform
