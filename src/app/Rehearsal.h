#pragma once
// `updater --rehearse`: the whole update on a scratch copy of the database,
// with a report of what it did.

#include "app/RehearsalPlan.h"

#include <cstdint>

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace app {

// Rehearses the update: the checks (a running or attached main application
// does not refuse it), a copy of the database made through the engine beside
// it, every package applied to the copy as the update would apply it, in a
// working directory of its own, the program files compared instead of
// installed; then the copy and its backup are removed, also after a failure
// or a termination request. The database, the installation and the update's
// working directory are left as they are. Progress lines go to out, then
// the report (RehearsalReport); messages go to err. Exit codes as the
// unattended update's: 0 clean and the highest package reached (or nothing
// to rehearse), 1 refused or the version short of the highest package, 2 an
// error, 3 statements or blob files failed.
int RunRehearsal(const std::string& executablePath, std::ostream& out, std::ostream& err);

// What a rehearsal found, for its report.
struct RehearsalOutcome {
    std::string database;       // the database copied
    std::string workDir;        // where the run logs are
    double backupSeconds = 0;   // the copy's two phases
    double restoreSeconds = 0;
    std::uint64_t backupBytes = 0;
    std::vector<RehearsedPackage> packages;
    std::optional<std::int32_t> version;  // reached on the copy; none when it was not read
    std::int32_t highestPackage = 0;
    // The program files the update would install first on this workstation.
    std::vector<package::LaggingFile> catchUp;
};

// The report: the copy, each package with its time, each script's
// statements (with the run log of a script that had failures), the blob
// files, what would happen to each program file, and the version reached.
std::string RehearsalReport(const RehearsalOutcome& outcome);

}  // namespace app
