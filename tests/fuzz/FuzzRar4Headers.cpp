// The RAR 1.5-4.x header walk, names included.
#include "Rar4Headers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const auto headers = rarformat::ReadRar4Headers(std::string_view(reinterpret_cast<const char*>(data), size));
        // Every header lies inside the archive, after the signature.
        for (const auto& header : headers) {
            if (header.offset < 7 || header.offset >= size || header.packSize > size)
                std::abort();
        }
    } catch (const rarformat::ArchiveError&) {
    }
    return 0;
}
