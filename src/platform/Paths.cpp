#include "platform/Paths.h"

#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace platform {

std::string JoinPath(const std::string& directory, const std::string& name)
{
    if (name.empty())
        return directory;
    if (directory.empty())
        return name;
    if (directory.back() == kPathSeparator)
        return directory + name;
    return directory + kPathSeparator + name;
}

std::string ExecutablePath()
{
    std::error_code error;
    auto path = std::filesystem::read_symlink(kRunningExecutable, error);
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

std::string FileNameOf(const std::string& path)
{
    const auto last = path.rfind(kPathSeparator);
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string ApplicationTitle(const std::string& executablePath)
{
    std::string title = FileNameOf(executablePath);
    title = title.substr(0, title.find('.'));
    for (std::size_t i = 1; i < title.size(); ++i)
        title[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(title[i])));
    return title;
}

}  // namespace platform
