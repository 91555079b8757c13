#pragma once
// The write loop both systems' files share (for the platform layer's own
// files only).

#include "platform/Error.h"

#include <cstddef>

namespace platform {

// Writes size bytes through piece(bytes, count, done, written), done being
// how many are written already: a call sets written to what it wrote, or
// gives the error that ends the write. A call that writes nothing gives
// diskFull.
template <typename Piece>
Error WriteAll(const void* data, std::size_t size, Error diskFull, Piece piece)
{
    const char* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        std::size_t written = 0;
        if (const Error error = piece(bytes + done, size - done, done, written))
            return error;
        if (written == 0)
            return diskFull;
        done += written;
    }
    return {};
}

}  // namespace platform
