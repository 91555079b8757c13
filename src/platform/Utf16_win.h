#pragma once
// The updater's texts (code page 1251 bytes) as the UTF-16 of the Windows
// wide-character functions, and back. The window and the console take their
// texts this way, so that the Ukrainian texts show the same whatever the
// system's ANSI code page is.

#include <string>

namespace platform {

// Bytes of a code page (CP_UTF8, CP_ACP, 866...) as UTF-16. flags are
// MultiByteToWideChar's: with MB_ERR_INVALID_CHARS, bytes that are not valid
// in the code page give an empty result.
std::wstring Utf16FromCodePage(unsigned codePage, const std::string& bytes, unsigned long flags = 0);
// UTF-16 as bytes of a code page; characters it has no byte for become "?".
std::string CodePageFromUtf16(unsigned codePage, const std::wstring& text);

std::wstring Utf16FromText(const std::string& text);
// A path of the system's ANSI code page, as the ...A functions take it.
std::wstring Utf16FromPath(const std::string& path);
// Characters code page 1251 has no byte for become "?".
std::string TextFromUtf16(const std::wstring& text);

}  // namespace platform
