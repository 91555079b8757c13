#include "platform/Utf16_win.h"

#include <windows.h>

namespace platform {

namespace {
constexpr UINT kTextCodePage = 1251;
}

std::wstring Utf16FromText(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(kTextCodePage, 0, text.data(), size, nullptr, 0)),
                      L'\0');
    MultiByteToWideChar(kTextCodePage, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

std::string TextFromUtf16(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    std::string bytes(static_cast<std::size_t>(
                          WideCharToMultiByte(kTextCodePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr)),
                      '\0');
    WideCharToMultiByte(kTextCodePage, 0, text.data(), size, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                        nullptr);
    return bytes;
}

}  // namespace platform
