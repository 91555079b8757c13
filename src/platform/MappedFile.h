#pragma once
// A read-only memory mapping of a whole file, with the file kept open for
// reading and copying ranges without touching the mapping.

#include "platform/File.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class MappedFile {
public:
    // Maps path read-only. Throws std::runtime_error naming the file when it
    // cannot be opened or mapped. An empty file maps to no bytes.
    explicit MappedFile(const std::string& path);
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    const unsigned char* Data() const noexcept { return data_; }
    std::size_t Size() const noexcept { return size_; }
    const std::string& Path() const noexcept { return path_; }

    // Reads up to size bytes at offset through the open file, not the
    // mapping; got is 0 at the end.
    Error ReadAt(std::uint64_t offset, void* buffer, std::size_t size, std::size_t& got) const;
    // Writes size bytes of the file from offset to out, inside the kernel
    // where it can. A file that ends first gives a "disk full" error.
    Error CopyTo(std::uint64_t offset, std::uint64_t size, File& out) const;

private:
    // Opens path_ for reading into file_ and sets size_; throws as the
    // constructor does.
    void OpenFile();
    void Unmap() noexcept;

    std::string path_;
    File file_;
    // The system's mapping object where it needs one besides the view.
    std::intptr_t mapping_ = 0;
    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace platform
