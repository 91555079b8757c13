#include "platform/ProcessList.h"

#include "platform/File.h"
#include "platform/Text.h"

#include <cctype>
#include <dirent.h>

namespace platform {

// What can be read of a process's /proc file. A process that ends while it
// is read gives an error (ESRCH) instead of its bytes: it is no longer
// running, and what was read so far is its answer. (A std::ifstream throws
// on that error from inside its buffer, and the check would fail.)
static std::string ReadWhole(const std::string& path)
{
    File file = File::OpenRead(path);
    std::string bytes;
    char buffer[4096];
    std::size_t got = 0;
    while (file.IsOpen() && !file.Read(buffer, sizeof buffer, got) && got > 0)
        bytes.append(buffer, got);
    return bytes;
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
