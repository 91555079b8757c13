#include "platform/ProcessList.h"

#include "platform/Text.h"

namespace platform {

bool ProcessMatches(const std::string& comm, const std::string& commandLine, const std::string& name)
{
    if (EqualIgnoringAsciiCase(comm, name))
        return true;
    const std::string first = commandLine.substr(0, commandLine.find('\0'));
    const auto slash = first.find_last_of("/\\");
    const std::string program = slash == std::string::npos ? first : first.substr(slash + 1);
    return EqualIgnoringAsciiCase(program, name);
}

}  // namespace platform
