#include "platform/Paths.h"

#include <cctype>

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

std::string FileNameOf(const std::string& path)
{
    const auto last = path.find_last_of(kPathDelimiters);
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
