// The names the updater takes apart from what it finds in a folder: a blob
// file's name, and a rehearsal copy's name beside the database (the input is
// NAME, a NUL byte, then the database's path).
#include "dbupdate/BlobLoader.h"
#include "dbupdate/ScratchCopy.h"
#include "platform/Paths.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    try {
        dbupdate::ParseBlobName(input);
    } catch (const std::exception&) {
        // A name that designates no column is an error the loader reports.
    }
    const auto nul = input.find('\0');
    const std::string name = input.substr(0, nul);
    const std::string database = nul == std::string::npos ? std::string() : input.substr(nul + 1);
    // A name taken for a copy is one a file name can be: no separator of
    // the system leads out of the database's folder.
    if (dbupdate::IsScratchName(name, database) &&
        (name.find_first_of(platform::kPathDelimiters) != std::string::npos || !name.ends_with(".fdb")))
        std::abort();
    return 0;
}
