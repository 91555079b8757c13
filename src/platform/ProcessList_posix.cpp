#include "platform/ProcessList.h"

#include "platform/Text.h"

#include <cctype>
#include <dirent.h>
#include <fstream>
#include <iterator>

namespace platform {

static std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsProcessRunning(const std::string& name)
{
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0])))
            continue;
        const std::string base = std::string("/proc/") + entry->d_name;
        std::string comm = ReadWhole(base + "/comm");
        if (!comm.empty() && comm.back() == '\n')
            comm.pop_back();
        if (ProcessMatches(comm, ReadWhole(base + "/cmdline"), name)) {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

}  // namespace platform
