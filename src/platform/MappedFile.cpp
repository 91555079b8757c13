#include "platform/MappedFile.h"

#include "platform/FileSystem.h"

#include <cstdint>
#include <stdexcept>

namespace platform {

void MappedFile::OpenFile()
{
    file_ = File::OpenRead(path_);
    if (!file_.IsOpen())
        throw std::runtime_error("Cannot open file \"" + path_ + "\". " + file_.OpenError().Message());
    std::uint64_t size = 0;
    if (const Error error = file_.Size(size))
        throw std::runtime_error("Cannot open file \"" + path_ + "\". " + error.Message());
    // A 32-bit process cannot map a file larger than its address space.
    if (size > static_cast<std::uint64_t>(SIZE_MAX))
        throw std::runtime_error("Cannot map file \"" + path_ + "\". It is too large for this program");
    size_ = static_cast<std::size_t>(size);
}

Error MappedFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size, std::size_t& got) const
{
    return file_.ReadAt(offset, buffer, size, got);
}

}  // namespace platform
