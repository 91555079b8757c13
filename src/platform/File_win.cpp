#include "platform/File.h"

#include "platform/FileSystem.h"
#include "platform/TemporaryFile_win.h"
#include "platform/WriteAll.h"

#include <random>

#include <stdexcept>
#include <windows.h>

namespace platform {

namespace {

HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::intptr_t Stored(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

File Opened(HANDLE handle)
{
    return handle != INVALID_HANDLE_VALUE ? File::FromNativeHandle(Stored(handle))
                                          : File::FailedOpen(Error(static_cast<int>(GetLastError())));
}

// The largest piece one ReadFile or WriteFile call moves.
constexpr std::size_t kMaxPiece = 1u << 30;

OVERLAPPED At(std::uint64_t offset)
{
    OVERLAPPED overlapped {};
    overlapped.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
}

}  // namespace

// Handles are not inherited by child processes (no security attributes).
File File::OpenRead(const std::string& path)
{
    return Opened(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

File File::OpenAppend(const std::string& path)
{
    // The link itself is opened, never what it points to, and refused.
    const HANDLE handle = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION information {};
    if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &information) &&
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(handle);
        return File::FailedOpen(SymbolicLinkError());
    }
    return Opened(handle);
}

bool File::IsOpen() const noexcept { return handle_ != kNoHandle && handle_ != 0; }

Error File::Read(void* buffer, std::size_t size, std::size_t& got)
{
    got = 0;
    DWORD read = 0;
    const auto piece = static_cast<DWORD>(size < kMaxPiece ? size : kMaxPiece);
    if (!ReadFile(Native(handle_), buffer, piece, &read, nullptr)) {
        const DWORD error = GetLastError();
        // The write end of a pipe was closed: its end.
        return error == ERROR_BROKEN_PIPE ? Error() : Error(static_cast<int>(error));
    }
    got = read;
    return {};
}

Error File::ReadAt(std::uint64_t offset, void* buffer, std::size_t size, std::size_t& got) const
{
    got = 0;
    OVERLAPPED overlapped = At(offset);
    DWORD read = 0;
    const auto piece = static_cast<DWORD>(size < kMaxPiece ? size : kMaxPiece);
    if (!ReadFile(Native(handle_), buffer, piece, &read, &overlapped)) {
        const DWORD error = GetLastError();
        return error == ERROR_HANDLE_EOF ? Error() : Error(static_cast<int>(error));
    }
    got = read;
    return {};
}

namespace {

// One WriteFile of the loop, of at most kMaxPiece bytes.
Error WrittenPiece(HANDLE handle, const char* bytes, std::size_t count, OVERLAPPED* at, std::size_t& written)
{
    DWORD piece = 0;
    if (!WriteFile(handle, bytes, static_cast<DWORD>(count < kMaxPiece ? count : kMaxPiece), &piece, at))
        return Error(static_cast<int>(GetLastError()));
    written = piece;
    return {};
}

}  // namespace

Error File::Write(const void* data, std::size_t size)
{
    HANDLE handle = Native(handle_);
    return WriteAll(data, size, Error(ERROR_DISK_FULL),
                    [handle](const char* bytes, std::size_t count, std::size_t, std::size_t& written) {
                        return WrittenPiece(handle, bytes, count, nullptr, written);
                    });
}

Error File::WriteAt(std::uint64_t offset, const void* data, std::size_t size)
{
    HANDLE handle = Native(handle_);
    return WriteAll(data, size, Error(ERROR_DISK_FULL),
                    [handle, offset](const char* bytes, std::size_t count, std::size_t done, std::size_t& written) {
                        OVERLAPPED overlapped = At(offset + done);
                        return WrittenPiece(handle, bytes, count, &overlapped, written);
                    });
}

Error File::Size(std::uint64_t& size) const
{
    LARGE_INTEGER value {};
    if (!GetFileSizeEx(Native(handle_), &value))
        return Error(static_cast<int>(GetLastError()));
    size = static_cast<std::uint64_t>(value.QuadPart);
    return {};
}

Error File::Truncate()
{
    LARGE_INTEGER start {};
    if (!SetFilePointerEx(Native(handle_), start, nullptr, FILE_BEGIN) || !SetEndOfFile(Native(handle_)))
        return Error(static_cast<int>(GetLastError()));
    return {};
}

Error File::Flush() { return FlushFileBuffers(Native(handle_)) ? Error() : Error(static_cast<int>(GetLastError())); }

Error File::Close() noexcept
{
    if (!IsOpen())
        return {};
    const BOOL closed = CloseHandle(Native(handle_));
    handle_ = kNoHandle;
    return closed ? Error() : Error(static_cast<int>(GetLastError()));
}

File CreateRegularFile(const std::string& path)
{
    auto cannot = [&](const std::string& why) {
        return std::runtime_error("Cannot create file \"" + path + "\". " + why);
    };
    // A reparse point (a symbolic link or junction) is opened itself, never
    // followed, so that it can be refused.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (DirectoryExists(path))
            throw cannot("It is not a regular file");
        throw cannot(SystemMessage(static_cast<int>(error)));
    }
    File file = File::FromNativeHandle(Stored(handle));
    if (GetFileType(handle) != FILE_TYPE_DISK)
        throw cannot("It is not a regular file");
    BY_HANDLE_FILE_INFORMATION info {};
    if (!GetFileInformationByHandle(handle, &info))
        throw cannot(SystemMessage(static_cast<int>(GetLastError())));
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        throw cannot("It is a symbolic link");
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        throw cannot("It is not a regular file");
    const bool empty = info.nFileSizeHigh == 0 && info.nFileSizeLow == 0;
    if (const Error error = empty ? Error() : file.Truncate())
        throw cannot(error.Message());
    return file;
}

File CreateTemporaryFile(const std::string& prefix, std::string& path)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    // A fresh name that nobody holds: CREATE_NEW fails on an existing file.
    for (int attempt = 0;; ++attempt) {
        path = prefix;
        for (std::size_t i = 0; i < kCopyTemporarySuffixLength; ++i)
            path += letters[random() % (sizeof letters - 1)];
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            return File::FromNativeHandle(Stored(handle));
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS || attempt == 100)
            return File::FailedOpen(Error(static_cast<int>(error)));
    }
}

ReplacingFile::ReplacingFile(const std::string& target, const std::string&) : target_(target)
{
    file_ = CreateTemporaryFile(target + ".", temporary_);
    if (!file_.IsOpen())
        throw std::runtime_error("Cannot create file \"" + target + "\". " + file_.OpenError().Message());
}

ReplacingFile::~ReplacingFile()
{
    if (!committed_) {
        // The temporary file goes either way.
        BestEffort(file_.Close());
        DeleteFileA(temporary_.c_str());
    }
}

void ReplacingFile::Commit()
{
    Error error = file_.Flush();
    if (error.Ok())
        error = file_.Close();
    if (error.Ok() &&
        !MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = Error(static_cast<int>(GetLastError()));
    if (error)
        throw std::runtime_error("Cannot write \"" + target_ + "\". " + error.Message());
    committed_ = true;
}

}  // namespace platform
