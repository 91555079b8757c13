#include "platform/FileSystem.h"

#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.Release();
    }
    return *this;
}

UniqueFd::~UniqueFd() { Close(); }

int UniqueFd::Release() noexcept
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

int UniqueFd::Close() noexcept
{
    if (fd_ < 0)
        return 0;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
}

bool FileExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool DirectoryExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsSymbolicLink(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool MoveFileNoReplace(const std::string& from, const std::string& to)
{
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

bool CreateDirectory(const std::string& path, unsigned mode)
{
    return ::mkdir(path.c_str(), mode) == 0;
}

std::vector<std::string> FindEntries(const std::string& directory, const std::string& mask)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        if (::fnmatch(mask.c_str(), entry->d_name, FNM_CASEFOLD) == 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

static std::runtime_error CannotOpen(const std::string& path, int code)
{
    return std::runtime_error("Cannot open file \"" + path + "\". " + SystemMessage(code));
}

std::vector<std::string> ReadTextLines(const std::string& path)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid())
        throw CannotOpen(path, errno);
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw CannotOpen(path, errno);
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return SplitLines(text);
}

int WriteAll(int fd, const void* data, std::size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return ENOSPC;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

namespace {

constexpr const char* kCopyTemporaryMarker = ".update-";
constexpr std::size_t kTemporarySuffixLength = 6;  // mkostemp's XXXXXX

}  // namespace

bool IsCopyTemporaryName(const std::string& name, const std::string& targetName)
{
    const std::string prefix = "." + targetName + kCopyTemporaryMarker;
    if (name.size() != prefix.size() + kTemporarySuffixLength || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

int CopyFileReplacing(const std::string& source, const std::string& target)
{
    UniqueFd in(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in.Valid())
        return errno;
    struct stat sourceInfo {};
    if (::fstat(in.Get(), &sourceInfo) != 0)
        return errno;
    if (S_ISDIR(sourceInfo.st_mode))
        return EISDIR;
    if (!S_ISREG(sourceInfo.st_mode))
        return EINVAL;

    // The new file keeps the permissions the installation gave the file it
    // replaces. A target with no write permission at all is protected, also
    // from the superuser, for whom access() always allows writing.
    mode_t mode = sourceInfo.st_mode & 0777;
    struct stat targetInfo {};
    if (::lstat(target.c_str(), &targetInfo) == 0 && S_ISREG(targetInfo.st_mode)) {
        if ((targetInfo.st_mode & 0222) == 0)
            return EACCES;
        mode = targetInfo.st_mode & 0777;
    }

    // The temporary file lives beside the target so that the final rename
    // stays within one file system and is atomic.
    const auto slash = target.rfind(kPathSeparator);
    const std::string directory = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const std::string targetName = FileNameOf(target);
    for (const auto& name : FindEntries(directory, "." + targetName + kCopyTemporaryMarker + "*")) {
        struct stat info {};
        const std::string path = JoinPath(directory, name);
        if (IsCopyTemporaryName(name, targetName) && ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            ::unlink(path.c_str());
    }
    std::string temporary = JoinPath(directory, "." + targetName + kCopyTemporaryMarker + "XXXXXX");
    UniqueFd out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out.Valid())
        return errno;

    auto fail = [&](int code) {
        out.Close();
        ::unlink(temporary.c_str());
        return code;
    };
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(in.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (got == 0)
            break;
        if (const int code = WriteAll(out.Get(), buffer, static_cast<std::size_t>(got)))
            return fail(code);
    }
    if (::fchmod(out.Get(), mode) != 0 || ::fsync(out.Get()) != 0)
        return fail(errno);
    if (const int code = out.Close())
        return fail(code);
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return fail(errno);
    return 0;
}

UniqueFd CreateRegularFile(const std::string& path)
{
    auto cannot = [&](const std::string& why) {
        return std::runtime_error("Cannot create file \"" + path + "\". " + why);
    };
    // Not blocking on a FIFO, so that it can be refused.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (!fd.Valid()) {
        const int error = errno;
        if (error == ELOOP && IsSymbolicLink(path))
            throw cannot("It is a symbolic link");
        throw cannot(SystemMessage(error));
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        throw cannot(SystemMessage(errno));
    if (!S_ISREG(info.st_mode))
        throw cannot("It is not a regular file");
    // Only a file with contents is truncated: some file systems (ext4)
    // flush a truncated file's new data when it is closed.
    if ((info.st_size > 0 && ::ftruncate(fd.Get(), 0) != 0) || ::fcntl(fd.Get(), F_SETFL, 0) != 0)
        throw cannot(SystemMessage(errno));
    return fd;
}

std::string SystemMessage(int errorCode)
{
    char buffer[256];
    // The GNU strerror_r returns the text, not necessarily in buffer.
    return ::strerror_r(errorCode, buffer, sizeof buffer);
}

bool EnsurePrivateDirectory(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) == 0)
        return false;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return false;
    auto refuse = [&](const char* why) {
        return std::runtime_error("The working directory \"" + path + "\" is not safe to use: " + why);
    };
    if (S_ISLNK(info.st_mode))
        throw refuse("it is a symbolic link");
    if (!S_ISDIR(info.st_mode))
        throw refuse("it is not a directory");
    if (info.st_uid != ::geteuid())
        throw refuse("it belongs to another user");
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        throw refuse("it is writable by other users");
    return true;
}

}  // namespace platform
