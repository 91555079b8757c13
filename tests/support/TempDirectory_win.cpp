#include "Installation.h"

#include <windows.h>

namespace testsupport {

// GetTempPathA reads TMP first, then TEMP.
void SetTempDirectory(const std::string& path)
{
    SetEnvironmentVariableA("TMP", path.c_str());
    SetEnvironmentVariableA("TEMP", path.c_str());
}

}  // namespace testsupport
