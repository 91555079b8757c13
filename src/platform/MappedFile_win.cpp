#include "platform/MappedFile.h"

#include "platform/FileSystem.h"

#include <stdexcept>
#include <utility>
#include <windows.h>

namespace platform {

MappedFile::MappedFile(const std::string& path) : path_(path)
{
    OpenFile();
    if (size_ == 0)
        return;
    HANDLE mapping = CreateFileMappingA(reinterpret_cast<HANDLE>(file_.NativeHandle()), nullptr, PAGE_READONLY, 0, 0,
                                        nullptr);
    if (!mapping)
        throw std::runtime_error("Cannot map file \"" + path + "\". " + SystemMessage(GetLastError()));
    mapping_ = reinterpret_cast<std::intptr_t>(mapping);
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (!view) {
        const DWORD error = GetLastError();
        Unmap();
        throw std::runtime_error("Cannot map file \"" + path + "\". " + SystemMessage(error));
    }
    data_ = static_cast<const unsigned char*>(view);
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : path_(std::move(other.path_)),
      file_(std::move(other.file_)),
      mapping_(std::exchange(other.mapping_, 0)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0))
{
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    if (this != &other) {
        Unmap();
        path_ = std::move(other.path_);
        file_ = std::move(other.file_);
        mapping_ = std::exchange(other.mapping_, 0);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

MappedFile::~MappedFile() { Unmap(); }

Error MappedFile::CopyTo(std::uint64_t offset, std::uint64_t size, File& out) const
{
    if (offset > size_ || size > size_ - offset)
        return Error(ERROR_HANDLE_EOF);
    return out.Write(data_ + offset, static_cast<std::size_t>(size));
}

void MappedFile::Unmap() noexcept
{
    if (data_)
        UnmapViewOfFile(data_);
    if (mapping_)
        CloseHandle(reinterpret_cast<HANDLE>(mapping_));
    data_ = nullptr;
    mapping_ = 0;
    size_ = 0;
}

}  // namespace platform
