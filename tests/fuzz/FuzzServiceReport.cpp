// A service manager's answer read as the backup reads it: its items in a
// buffer of exactly the input's size, each line into a backup's report, and
// the backup's size from the closing line.
#include "dbupdate/DatabaseError.h"
#include "dbupdate/ServiceReport.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<char> answer(data, data + size);
    dbupdate::ServiceReport report(dbupdate::kBackupClosingLine);
    std::size_t bytes = 0;
    try {
        std::uint32_t requested = 0;
        dbupdate::ReadServiceAnswer(answer, "Service::Fuzz", requested, [&](const char* line, std::size_t length) {
            bytes += length;
            report.Take(std::string(line, length));
        });
    } catch (const dbupdate::DatabaseError&) {
    }
    // Nothing is taken but the answer's own bytes.
    if (bytes > size)
        std::abort();
    dbupdate::BackupSizeOf(report.Closing());
    return 0;
}
