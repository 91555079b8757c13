#include "platform/FileSystem.h"

#include "platform/File.h"
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
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The directory of a file's path, with its separator ("." for a bare name).
std::string DirectoryOf(const std::string& path)
{
    const auto slash = path.rfind(kPathSeparator);
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

}  // namespace

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

Error InvalidNameError() { return Error(EINVAL); }

Error SymbolicLinkError() { return Error(ELOOP); }

bool FileInUse(const std::string& path)
{
    File file = File::FromNativeHandle(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.IsOpen())
        return false;
    const int descriptor = static_cast<int>(file.NativeHandle());
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK;
    ::flock(descriptor, LOCK_UN);
    return false;
}

Error DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? Error() : Error(errno); }

Error MoveFileNoReplace(const std::string& from, const std::string& to)
{
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 ? Error() : Error(errno);
}

Error MoveFileReplacing(const std::string& from, const std::string& to)
{
    File moved = File::FromNativeHandle(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!moved.IsOpen())
        return Error(errno);
    if (const Error error = moved.Flush())
        return error;
    // Its bytes are on the disk: closing cannot lose them.
    BestEffort(moved.Close());
    if (::rename(from.c_str(), to.c_str()) != 0)
        return Error(errno);
    // The directory's new entry on the disk too; a file system that cannot
    // sync a directory has moved the file all the same.
    File entry = File::FromNativeHandle(::open(DirectoryOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (entry.IsOpen())
        BestEffort(entry.Flush());
    return {};
}

Error CreateDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0 ? Error() : Error(errno); }

Error RemoveDirectory(const std::string& path) { return ::rmdir(path.c_str()) == 0 ? Error() : Error(errno); }

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

Error CopyFileReplacing(const std::string& source, const std::string& target)
{
    File in = File::FromNativeHandle(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in.IsOpen())
        return Error(errno);
    struct stat sourceInfo {};
    if (::fstat(static_cast<int>(in.NativeHandle()), &sourceInfo) != 0)
        return Error(errno);
    if (S_ISDIR(sourceInfo.st_mode))
        return Error(EISDIR);
    if (!S_ISREG(sourceInfo.st_mode))
        return Error(EINVAL);

    // The new file keeps the permissions the installation gave the file it
    // replaces. A target with no write permission at all is protected, also
    // from the superuser, for whom access() always allows writing.
    mode_t mode = sourceInfo.st_mode & 0777;
    struct stat targetInfo {};
    if (::lstat(target.c_str(), &targetInfo) == 0 && S_ISREG(targetInfo.st_mode)) {
        if ((targetInfo.st_mode & 0222) == 0)
            return Error(EACCES);
        mode = targetInfo.st_mode & 0777;
    }

    // The temporary file lives beside the target so that the final rename
    // stays within one file system and is atomic.
    const std::string directory = DirectoryOf(target);
    const std::string targetName = FileNameOf(target);
    RemoveStaleCopies(directory, targetName);
    std::string temporary = JoinPath(directory, "." + targetName + kCopyTemporaryMarker + "XXXXXX");
    File out = File::FromNativeHandle(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out.IsOpen())
        return Error(errno);

    auto fail = [&](Error error) {
        // The temporary file goes either way.
        BestEffort(out.Close());
        ::unlink(temporary.c_str());
        return error;
    };
    if (const Error error = CopyRest(in, out))
        return fail(error);
    if (::fchmod(static_cast<int>(out.NativeHandle()), mode) != 0)
        return fail(Error(errno));
    if (const Error error = out.Flush())
        return fail(error);
    if (const Error error = out.Close())
        return fail(error);
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return fail(Error(errno));
    return {};
}

std::string SystemMessage(int errorCode, const std::string&)
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
