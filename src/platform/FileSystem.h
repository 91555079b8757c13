#pragma once
// File system operations the updater needs, with the results the updater
// looks at. Paths are byte strings, passed to the system unchanged.

#include <string>
#include <vector>

namespace platform {

// Owns one file descriptor and closes it once.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();

    int Get() const noexcept { return fd_; }
    bool Valid() const noexcept { return fd_ >= 0; }
    int Release() noexcept;
    // Closes now; returns the errno of close, or 0.
    int Close() noexcept;

private:
    int fd_ = -1;
};

// True when path names an existing regular file (a directory does not count).
bool FileExists(const std::string& path);
// True when path names an existing directory.
bool DirectoryExists(const std::string& path);
// True when path itself is a symbolic link.
bool IsSymbolicLink(const std::string& path);
// Deletes a file; returns whether it was deleted.
bool DeleteFile(const std::string& path);
// Moves a file to a new name; fails (returns false) when the target exists.
bool MoveFileNoReplace(const std::string& from, const std::string& to);
// Creates one directory level; returns whether it was created.
bool CreateDirectory(const std::string& path, unsigned mode = 0777);

// Names of the entries of directory that match mask (fnmatch, ignoring case,
// leading dots not special): files, directories, "." and "..". A directory
// that cannot be read gives no entries. Order is the directory's own.
std::vector<std::string> FindEntries(const std::string& directory, const std::string& mask);

// Reads a whole text file into lines; lines end at CR LF, a lone CR or a lone
// LF; text after the last line break is the last line; an empty file has no
// lines. Throws std::runtime_error "Cannot open file "path". message" when the
// file cannot be opened or read (a directory cannot be read).
std::vector<std::string> ReadTextLines(const std::string& path);

// Opens path for reading and writing, emptied, creating it (mode 0644) when
// missing. Never writes through a symbolic link and never opens anything but
// a regular file: throws std::runtime_error "Cannot create file "path".
// reason" when path is a link, a directory or another special file, or
// cannot be created.
UniqueFd CreateRegularFile(const std::string& path);

// Writes all bytes to fd, retrying partial writes. Returns 0 or the errno of
// the failed write (ENOSPC for a write that made no progress).
int WriteAll(int fd, const void* data, std::size_t size);

// Copies source onto target, replacing an existing target atomically: the
// bytes go to a temporary file in the target's directory, which is renamed
// over the target only when complete. A failed or interrupted copy leaves the
// previous target whole; a temporary file that an interrupted copy left for
// the same target is removed first. Only a regular file is copied (ELOOP for
// a symbolic link, EISDIR for a directory, EINVAL for other special files).
// A target without any write permission bit is not replaced (EACCES), for
// the superuser too. The new file keeps an existing target's permission bits,
// else gets the source's, never set-id bits. Returns 0 on success, else the
// errno of the failure.
int CopyFileReplacing(const std::string& source, const std::string& target);

// Whether name is the name CopyFileReplacing gives its temporary file for a
// target named targetName.
bool IsCopyTemporaryName(const std::string& name, const std::string& targetName);

// The system's message text for an errno value.
std::string SystemMessage(int errorCode);

// Makes sure path is a directory that only the current user can write.
// Returns true when it already existed and is safe to use; otherwise creates
// it with mode 0700 (one level) and returns false, also when the creation
// failed (what needs the directory then fails in its turn). Throws
// std::runtime_error naming the path when an existing one is a symbolic link,
// not a directory, not owned by the current user, or writable by group or
// others.
bool EnsurePrivateDirectory(const std::string& path);

}  // namespace platform
