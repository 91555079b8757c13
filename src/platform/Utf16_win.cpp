#include "platform/Utf16_win.h"

#include <windows.h>

namespace platform {

namespace {
constexpr UINT kTextCodePage = 1251;
}

std::wstring Utf16FromCodePage(unsigned codePage, const std::string& bytes, unsigned long flags)
{
    if (bytes.empty())
        return {};
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, bytes.data(), size, wide.data(), length);
    return wide;
}

std::string CodePageFromUtf16(unsigned codePage, const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
    return bytes;
}

std::wstring Utf16FromText(const std::string& text) { return Utf16FromCodePage(kTextCodePage, text); }

std::wstring Utf16FromPath(const std::string& path) { return Utf16FromCodePage(CP_ACP, path); }

std::string TextFromUtf16(const std::wstring& text) { return CodePageFromUtf16(kTextCodePage, text); }

}  // namespace platform
