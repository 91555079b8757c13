#include "platform/File.h"

#include "platform/FileSystem.h"
#include "platform/WriteAll.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

File Opened(int fd) { return fd >= 0 ? File::FromNativeHandle(fd) : File::FailedOpen(Error(errno)); }

}  // namespace

File File::OpenRead(const std::string& path) { return Opened(::open(path.c_str(), O_RDONLY | O_CLOEXEC)); }

File File::OpenAppend(const std::string& path)
{
    return Opened(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644));
}

bool File::IsOpen() const noexcept { return handle_ >= 0; }

Error File::Read(void* buffer, std::size_t size, std::size_t& got)
{
    got = 0;
    for (;;) {
        const ssize_t result = ::read(Descriptor(handle_), buffer, size);
        if (result >= 0) {
            got = static_cast<std::size_t>(result);
            return {};
        }
        if (errno != EINTR)
            return Error(errno);
    }
}

Error File::ReadAt(std::uint64_t offset, void* buffer, std::size_t size, std::size_t& got) const
{
    got = 0;
    for (;;) {
        const ssize_t result = ::pread(Descriptor(handle_), buffer, size, static_cast<off_t>(offset));
        if (result >= 0) {
            got = static_cast<std::size_t>(result);
            return {};
        }
        if (errno != EINTR)
            return Error(errno);
    }
}

namespace {

// One write of the loop: an interrupted call is repeated.
template <typename Call>
Error Written(Call call, std::size_t& written)
{
    for (;;) {
        const ssize_t result = call();
        if (result >= 0) {
            written = static_cast<std::size_t>(result);
            return {};
        }
        if (errno != EINTR)
            return Error(errno);
    }
}

}  // namespace

Error File::Write(const void* data, std::size_t size)
{
    const int fd = Descriptor(handle_);
    return WriteAll(data, size, Error(ENOSPC),
                    [fd](const char* bytes, std::size_t count, std::size_t, std::size_t& written) {
                        return Written([&] { return ::write(fd, bytes, count); }, written);
                    });
}

Error File::WriteAt(std::uint64_t offset, const void* data, std::size_t size)
{
    const int fd = Descriptor(handle_);
    return WriteAll(data, size, Error(ENOSPC),
                    [fd, offset](const char* bytes, std::size_t count, std::size_t done, std::size_t& written) {
                        return Written([&] { return ::pwrite(fd, bytes, count, static_cast<off_t>(offset + done)); },
                                       written);
                    });
}

Error File::Size(std::uint64_t& size) const
{
    struct stat info {};
    if (::fstat(Descriptor(handle_), &info) != 0)
        return Error(errno);
    size = static_cast<std::uint64_t>(info.st_size);
    return {};
}

Error File::Truncate() { return ::ftruncate(Descriptor(handle_), 0) == 0 ? Error() : Error(errno); }

Error File::Flush() { return ::fsync(Descriptor(handle_)) == 0 ? Error() : Error(errno); }

Error File::Close() noexcept
{
    if (handle_ < 0)
        return {};
    const int result = ::close(Descriptor(handle_));
    handle_ = kNoHandle;
    return result == 0 ? Error() : Error(errno);
}

File CreateRegularFile(const std::string& path)
{
    auto cannot = [&](const std::string& why) {
        return std::runtime_error("Cannot create file \"" + path + "\". " + why);
    };
    // Not blocking on a FIFO, so that it can be refused.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP && IsSymbolicLink(path))
            throw cannot("It is a symbolic link");
        throw cannot(SystemMessage(error));
    }
    File file = File::FromNativeHandle(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw cannot(SystemMessage(errno));
    if (!S_ISREG(info.st_mode))
        throw cannot("It is not a regular file");
    // Only a file with contents is truncated: some file systems (ext4)
    // flush a truncated file's new data when it is closed.
    if ((info.st_size > 0 && ::ftruncate(fd, 0) != 0) || ::fcntl(fd, F_SETFL, 0) != 0)
        throw cannot(SystemMessage(errno));
    return file;
}

ReplacingFile::ReplacingFile(const std::string& target, const std::string& permissionsFrom)
    : target_(target), temporary_(target + ".XXXXXX")
{
    const int fd = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("Cannot create file \"" + target + "\". " + SystemMessage(errno));
    file_ = File::FromNativeHandle(fd);
    struct stat info {};
    if (::stat(permissionsFrom.c_str(), &info) == 0)
        ::fchmod(fd, info.st_mode & 07777);
}

ReplacingFile::~ReplacingFile()
{
    if (!committed_) {
        // The temporary file goes either way.
        BestEffort(file_.Close());
        ::unlink(temporary_.c_str());
    }
}

void ReplacingFile::Commit()
{
    Error error = file_.Flush();
    if (error.Ok())
        error = file_.Close();
    if (error.Ok() && ::rename(temporary_.c_str(), target_.c_str()) != 0)
        error = Error(errno);
    if (error)
        throw std::runtime_error("Cannot write \"" + target_ + "\". " + error.Message());
    committed_ = true;
}

}  // namespace platform
