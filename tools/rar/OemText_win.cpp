#include "Rar4Headers.h"

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
    const int size = static_cast<int>(bytes.size());
    const int wideLength = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (wideLength <= 0)
        return bytes;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(page, 0, bytes.data(), size, wide.data(), wideLength);
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, out.data(), length, nullptr, nullptr);
    return out;
}

}  // namespace rarformat
