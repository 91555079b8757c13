#pragma once
// A read-only memory mapping of a whole file.

#include <cstddef>
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

private:
    void Unmap() noexcept;

    std::string path_;
    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace platform
