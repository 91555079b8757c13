#include "platform/MappedFile.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

MappedFile::MappedFile(const std::string& path) : path_(path)
{
    OpenFile();
    if (size_ == 0)
        return;
    void* mapping = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, static_cast<int>(file_.NativeHandle()), 0);
    if (mapping == MAP_FAILED)
        throw std::runtime_error("Cannot map file \"" + path + "\". " + SystemMessage(errno));
    data_ = static_cast<const unsigned char*>(mapping);
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : path_(std::move(other.path_)), file_(std::move(other.file_)), data_(other.data_), size_(other.size_)
{
    other.data_ = nullptr;
    other.size_ = 0;
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    if (this != &other) {
        Unmap();
        path_ = std::move(other.path_);
        file_ = std::move(other.file_);
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

MappedFile::~MappedFile() { Unmap(); }

Error MappedFile::CopyTo(std::uint64_t offset, std::uint64_t size, File& out) const
{
    auto from = static_cast<loff_t>(offset);
    const int in = static_cast<int>(file_.NativeHandle());
    while (size > 0) {
        const ssize_t copied = ::copy_file_range(in, &from, static_cast<int>(out.NativeHandle()), nullptr, size, 0);
        if (copied > 0) {
            size -= static_cast<std::uint64_t>(copied);
            continue;
        }
        if (copied == 0)
            return Error(ENOSPC);
        if (errno == EINTR)
            continue;
        // File systems or kernels that cannot copy between these files:
        // write the mapping's bytes instead.
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
            if (static_cast<std::uint64_t>(from) > size_ || size > size_ - static_cast<std::uint64_t>(from))
                return Error(ENOSPC);
            return out.Write(data_ + from, static_cast<std::size_t>(size));
        }
        return Error(errno);
    }
    return {};
}

void MappedFile::Unmap() noexcept
{
    if (data_)
        ::munmap(const_cast<unsigned char*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
}

}  // namespace platform
