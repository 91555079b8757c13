#pragma once
// An open file, owned until it is closed. Every file is opened in binary
// mode: the bytes read and written are the file's own bytes.
//
// Calls that can fail give an Error: none for success, else the system's
// code and text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Error.h"

namespace platform {

class File {
public:
    // No file.
    File() noexcept = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    // Closes the file; a failure to close is not reported here.
    ~File();

    // Opens an existing file for reading. When it cannot be opened the
    // result is not open and OpenError() tells why.
    static File OpenRead(const std::string& path);
    // Opens a file for appending, creating it when missing. A symbolic link
    // (a reparse point on Windows) at path is refused, never followed. When
    // it cannot be opened the result is not open and OpenError() tells why.
    static File OpenAppend(const std::string& path);

    bool IsOpen() const noexcept;
    // The error of the failed open that made this object, or none.
    Error OpenError() const noexcept { return openError_; }

    // Reads up to size bytes at the current position; got is 0 at the end.
    Error Read(void* buffer, std::size_t size, std::size_t& got);
    // Reads up to size bytes at offset; got is 0 at the end. Safe from
    // several threads at once. Where Read and Write go on afterwards is
    // unspecified (Windows moves the position, POSIX systems do not): a file
    // is read either by offset or in sequence.
    Error ReadAt(std::uint64_t offset, void* buffer, std::size_t size, std::size_t& got) const;
    // Writes all bytes at the current position, retrying partial writes.
    Error Write(const void* data, std::size_t size);
    // Writes all bytes at offset (the position afterwards as for ReadAt).
    Error WriteAt(std::uint64_t offset, const void* data, std::size_t size);
    // The file's size in bytes.
    Error Size(std::uint64_t& size) const;
    // Empties the file.
    Error Truncate();
    // Writes the file's data through to the disk.
    Error Flush();
    // Closes now; gives the error of the close, or none.
    Error Close() noexcept;

    // The system's handle (a descriptor or a HANDLE), for the platform layer's
    // own files only.
    std::intptr_t NativeHandle() const noexcept { return handle_; }
    // Takes ownership of a handle opened by the platform layer.
    static File FromNativeHandle(std::intptr_t handle) noexcept;
    // A file that could not be opened, for the reason error.
    static File FailedOpen(Error error) noexcept;

private:
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t handle_ = kNoHandle;
    Error openError_;
};

// Copies what is left of in (from its current position) to out. Gives the
// error of the failed read or write, or none.
Error CopyRest(File& in, File& out);

// Opens path for reading and writing, emptied, creating it when missing.
// Never writes through a symbolic link and never opens anything but a
// regular file: throws std::runtime_error "Cannot create file "path".
// reason" when path is a link, a directory or another special file, or
// cannot be created.
File CreateRegularFile(const std::string& path);

// A file written under a temporary name beside its target and moved over the
// target only when complete: a failure or a crash never leaves a half-written
// target. The temporary file is removed unless Commit succeeded.
class ReplacingFile {
public:
    // Creates the temporary file. It gets the permission bits of
    // permissionsFrom where the system has them. Throws std::runtime_error
    // "Cannot create file "target". message".
    ReplacingFile(const std::string& target, const std::string& permissionsFrom);
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;
    ~ReplacingFile();

    File& Output() noexcept { return file_; }
    // Flushes the file to the disk, closes it and moves it over the target.
    // Throws std::runtime_error "Cannot write "target". message".
    void Commit();

private:
    std::string target_;
    std::string temporary_;
    File file_;
    bool committed_ = false;
};

}  // namespace platform
