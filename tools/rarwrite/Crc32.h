#pragma once
// The CRC-32 of RAR headers and file data (polynomial 0xEDB88320), through
// zlib's table-driven implementation.

#include <cstddef>
#include <cstdint>

namespace rarformat {

// Continues crc over data; start with 0.
std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size);

}  // namespace rarformat
