#pragma once
// What the benchmarks share: time, memory and a database filled to a size.

#include "TestSupport.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/resource.h>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The peak resident memory so far, in MB, of this process or (children) of
// the largest child it has waited for.
inline double PeakMegabytes(bool children = false)
{
    rusage usage {};
    getrusage(children ? RUSAGE_CHILDREN : RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

inline double MB(std::uintmax_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// Adds a table T of rows of 1,000 characters without runs of equal bytes
// (which the engine's record compression would shrink) to the database at
// path until its file holds about megabytes.
inline void FillTo(const std::string& path, int megabytes)
{
    testsupport::RunStatements(path, {"CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, S VARCHAR(1000))",
                                      "CREATE INDEX T_S ON T (S)"});
    std::string payload;
    unsigned state = 12345;
    for (int i = 0; i < 900; ++i) {
        state = state * 1103515245u + 12345u;
        payload += static_cast<char>('A' + (state >> 16) % 26);
    }
    const int batch = 20000;
    int next = 0;
    while (MB(std::filesystem::file_size(path)) < megabytes) {
        testsupport::RunStatements(
            path, {"EXECUTE BLOCK AS DECLARE I INTEGER = " + std::to_string(next) +
                   "; BEGIN WHILE (I < " + std::to_string(next + batch) +
                   ") DO BEGIN INSERT INTO T VALUES (:I, LPAD(:I, 10, '0') || '" + payload +
                   "'); I = I + 1; END END"});
        next += batch;
    }
}

}  // namespace bench
