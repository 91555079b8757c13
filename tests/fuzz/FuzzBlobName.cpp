// The blob file name parser.
#include "dbupdate/BlobLoader.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        dbupdate::ParseBlobName(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const std::exception&) {
        // A name that designates no column is an error the loader reports.
    }
    return 0;
}
