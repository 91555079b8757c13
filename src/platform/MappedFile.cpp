#include "platform/MappedFile.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

MappedFile::MappedFile(const std::string& path) : path_(path)
{
    fd_ = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd_.Valid())
        throw std::runtime_error("Cannot open file \"" + path + "\". " + SystemMessage(errno));
    struct stat info {};
    if (::fstat(fd_.Get(), &info) != 0)
        throw std::runtime_error("Cannot open file \"" + path + "\". " + SystemMessage(errno));
    size_ = static_cast<std::size_t>(info.st_size);
    if (size_ == 0)
        return;
    void* mapping = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_.Get(), 0);
    if (mapping == MAP_FAILED)
        throw std::runtime_error("Cannot map file \"" + path + "\". " + SystemMessage(errno));
    data_ = static_cast<const unsigned char*>(mapping);
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::move(other.fd_)), data_(other.data_), size_(other.size_)
{
    other.data_ = nullptr;
    other.size_ = 0;
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    if (this != &other) {
        Unmap();
        path_ = std::move(other.path_);
        fd_ = std::move(other.fd_);
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

MappedFile::~MappedFile() { Unmap(); }

long long MappedFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const
{
    for (;;) {
        const ssize_t got = ::pread(fd_.Get(), buffer, size, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

int MappedFile::CopyTo(std::uint64_t offset, std::uint64_t size, const UniqueFd& out) const
{
    auto from = static_cast<loff_t>(offset);
    while (size > 0) {
        const ssize_t copied = ::copy_file_range(fd_.Get(), &from, out.Get(), nullptr, size, 0);
        if (copied > 0) {
            size -= static_cast<std::uint64_t>(copied);
            continue;
        }
        if (copied == 0)
            return ENOSPC;
        if (errno == EINTR)
            continue;
        // File systems or kernels that cannot copy between these files:
        // write the mapping's bytes instead.
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
            if (static_cast<std::uint64_t>(from) > size_ || size > size_ - static_cast<std::uint64_t>(from))
                return ENOSPC;
            return WriteAll(out.Get(), data_ + from, static_cast<std::size_t>(size));
        }
        return errno;
    }
    return 0;
}

void MappedFile::Unmap() noexcept
{
    if (data_)
        ::munmap(const_cast<unsigned char*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
}

}  // namespace platform
