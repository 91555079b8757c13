#include "platform/MappedFile.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>

namespace platform {

MappedFile::MappedFile(const std::string& path) : path_(path)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid())
        throw std::runtime_error("Cannot open file \"" + path + "\". " + SystemMessage(errno));
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        throw std::runtime_error("Cannot open file \"" + path + "\". " + SystemMessage(errno));
    size_ = static_cast<std::size_t>(info.st_size);
    if (size_ == 0)
        return;
    void* mapping = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd.Get(), 0);
    if (mapping == MAP_FAILED)
        throw std::runtime_error("Cannot map file \"" + path + "\". " + SystemMessage(errno));
    data_ = static_cast<const unsigned char*>(mapping);
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : path_(std::move(other.path_)), data_(other.data_), size_(other.size_)
{
    other.data_ = nullptr;
    other.size_ = 0;
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    if (this != &other) {
        Unmap();
        path_ = std::move(other.path_);
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

MappedFile::~MappedFile() { Unmap(); }

void MappedFile::Unmap() noexcept
{
    if (data_)
        ::munmap(const_cast<unsigned char*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
}

}  // namespace platform
