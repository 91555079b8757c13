#include "platform/ProcessList.h"

#include "platform/Text.h"

#include <windows.h>
#include <tlhelp32.h>

namespace platform {

bool IsProcessRunning(const std::string& name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32 entry {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
        found = ProcessMatches(entry.szExeFile, {}, name);
    CloseHandle(snapshot);
    return found;
}

}  // namespace platform
