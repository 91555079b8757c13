#pragma once
// A read-only memory mapping of a whole file, with the file kept open for
// reading and copying ranges without touching the mapping.

#include "platform/FileSystem.h"

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

    // Reads up to size bytes at offset; returns how many were read (0 at the
    // end), or -1 with errno set when reading fails.
    long long ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;
    // Writes size bytes of the file from offset to out, inside the kernel
    // where it can. Returns 0, or the errno of the failure (ENOSPC when the
    // file ends first).
    int CopyTo(std::uint64_t offset, std::uint64_t size, const UniqueFd& out) const;

private:
    void Unmap() noexcept;

    std::string path_;
    UniqueFd fd_;
    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace platform
