#include "platform/Utf16_win.h"

#include <windows.h>

namespace platform {

namespace {
constexpr UINT kTextCodePage = 1251;
}

namespace {

std::wstring Utf16From(UINT codePage, const std::string& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0)),
                      L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

}  // namespace

std::wstring Utf16FromText(const std::string& text) { return Utf16From(kTextCodePage, text); }

std::wstring Utf16FromPath(const std::string& path) { return Utf16From(CP_ACP, path); }

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
