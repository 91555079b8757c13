#include "platform/ProcessList.h"

#include "platform/Text.h"

namespace platform {

bool IsProgramPath(const std::string& path, const std::string& name)
{
    const auto slash = path.find_last_of("/\\");
    return EqualIgnoringAsciiCase(slash == std::string::npos ? path : path.substr(slash + 1), name);
}

bool ProcessMatches(const std::string& comm, const std::string& commandLine, const std::string& name)
{
    return EqualIgnoringAsciiCase(comm, name) || IsProgramPath(commandLine.substr(0, commandLine.find('\0')), name);
}

}  // namespace platform
