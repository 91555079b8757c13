#include "Rar4Headers.h"

#include "platform/Utf16_win.h"

#include <cstdlib>
#include <windows.h>

namespace rarformat {

std::string OemToUtf8(const std::string& bytes, const std::string& codePage)
{
    // "CP866" and "866" both name code page 866.
    const std::string digits = codePage.rfind("CP", 0) == 0 || codePage.rfind("cp", 0) == 0 ? codePage.substr(2)
                                                                                              : codePage;
    const UINT page = static_cast<UINT>(std::atoi(digits.c_str()));
    if (page == 0 || bytes.empty())
        return bytes;
    const std::wstring wide = platform::Utf16FromCodePage(page, bytes, MB_ERR_INVALID_CHARS);
    if (wide.empty())
        return bytes;
    return platform::CodePageFromUtf16(CP_UTF8, wide);
}

}  // namespace rarformat
