#include "platform/Console.h"

#include "platform/Utf16_win.h"

#include <streambuf>
#include <string>
#include <windows.h>

namespace platform {

namespace {

// A standard handle that leads somewhere: a file, a pipe or a console the
// process was given. A window program started from a command prompt has
// none.
HANDLE GivenHandle(DWORD which)
{
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return nullptr;
    SetLastError(NO_ERROR);
    if (GetFileType(handle) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR)
        return nullptr;
    return handle;
}

// The console of the program that started the updater, opened once; null
// when it has none.
HANDLE ParentConsole()
{
    static HANDLE console = [] () -> HANDLE {
        if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED)
            return nullptr;  // ERROR_ACCESS_DENIED: the process has a console already
        HANDLE handle = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }();
    return console;
}

// Writes lines to a handle as they complete, with CR LF; to a console as
// UTF-16, so that it shows the code page 1251 texts whatever its code page.
// Without a handle the text goes nowhere.
class HandleOutput final : public std::streambuf {
public:
    explicit HandleOutput(HANDLE handle) : handle_(handle)
    {
        DWORD mode = 0;
        console_ = handle_ != nullptr && GetConsoleMode(handle_, &mode);
    }
    ~HandleOutput() override { Flush(); }

protected:
    int_type overflow(int_type ch) override
    {
        if (traits_type::eq_int_type(ch, traits_type::eof()))
            return traits_type::not_eof(ch);
        const char c = traits_type::to_char_type(ch);
        if (c == '\n')
            pending_ += '\r';
        pending_ += c;
        if (c == '\n' && !Flush())
            return traits_type::eof();
        return ch;
    }
    int sync() override { return Flush() ? 0 : -1; }

private:
    bool Flush()
    {
        if (pending_.empty() || handle_ == nullptr) {
            pending_.clear();
            return true;
        }
        bool written = true;
        if (console_) {
            const std::wstring wide = Utf16FromText(pending_);
            DWORD count = 0;
            written = WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &count, nullptr);
        } else {
            std::size_t done = 0;
            while (written && done < pending_.size()) {
                DWORD count = 0;
                written = WriteFile(handle_, pending_.data() + done, static_cast<DWORD>(pending_.size() - done), &count,
                                    nullptr) && count > 0;
                done += count;
            }
        }
        pending_.clear();
        return written;
    }

    HANDLE handle_;
    bool console_ = false;
    std::string pending_;
};

struct WindowsOutput {
    WindowsOutput()
        : outBuffer(OutputHandle(STD_OUTPUT_HANDLE)), errBuffer(OutputHandle(STD_ERROR_HANDLE)), out(&outBuffer),
          err(&errBuffer), streams {out, err}
    {
    }

    static HANDLE OutputHandle(DWORD which)
    {
        HANDLE handle = GivenHandle(which);
        return handle != nullptr ? handle : ParentConsole();
    }

    HandleOutput outBuffer;
    HandleOutput errBuffer;
    std::ostream out;
    std::ostream err;
    ConsoleOutput streams;
};

}  // namespace

ConsoleOutput& UnattendedOutput()
{
    static WindowsOutput output;
    return output.streams;
}

}  // namespace platform
