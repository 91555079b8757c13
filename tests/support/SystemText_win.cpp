#include "TestSupport.h"

#include <windows.h>

namespace testsupport {

std::string SystemText(int code)
{
    char text[512] {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n'))
        --length;
    return std::string(text, length);
}

std::string MissingFileMessage() { return SystemText(ERROR_FILE_NOT_FOUND); }

}  // namespace testsupport
