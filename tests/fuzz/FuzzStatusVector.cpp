// The status-vector reader over a vector of exactly ISC_STATUS_LENGTH items
// filled from the input, whether or not it holds isc_arg_end: a read past
// the vector is one AddressSanitizer sees.
#include "dbupdate/DatabaseError.h"

#include <ibase.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto status = std::make_unique<ISC_STATUS[]>(ISC_STATUS_LENGTH);
    std::memcpy(status.get(), data, std::min(size, sizeof(ISC_STATUS) * ISC_STATUS_LENGTH));
    // A few small values stand for the argument types (a random ISC_STATUS
    // is hardly ever one).
    for (std::size_t i = 0; i < ISC_STATUS_LENGTH && i < size; ++i)
        if (data[i] < 8)
            status[i] = data[i];
    if (dbupdate::StatusItems(status.get()).size() > ISC_STATUS_LENGTH / 2)
        std::abort();
    dbupdate::IsConnectionLevelError(status.get());
    return 0;
}
