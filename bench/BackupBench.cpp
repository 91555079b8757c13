// The backup the run makes before its first package and the restore of
// `updater --restore`, against the engine's own tool (gbak) on the same
// database, and the updater's memory while they run.
//
//   bench_backup [MB]   (default 77; the database is made first)
//
// Both go through the embedded engine in this process, as the updater's do
// in embedded mode: the engine's page cache is part of the figures.
#include "BenchSupport.h"
#include "dbupdate/Backup.h"
#include "dbupdate/BackupNames.h"
#include "dbupdate/Uglobdb.h"
#include "platform/FileSystem.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fs = std::filesystem;
using bench::Clock;
using bench::MB;
using bench::PeakMegabytes;
using bench::Seconds;

namespace {

double Run(const std::string& command)
{
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0)
        std::printf("failed: %s\n", command.c_str());
    return Seconds(start);
}

}  // namespace

int main(int argc, char** argv)
{
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 77;
    testsupport::TempDir dir;
    const std::string database = dir / "norvexlib.fdb";
    std::printf("making a database of %d MB...\n", megabytes);
    auto start = Clock::now();
    testsupport::CreateDatabase(database);
    bench::FillTo(database, megabytes);
    std::printf("database: %.0f MB in %.1f s\n", MB(fs::file_size(database)), Seconds(start));
    const std::string login = std::string(" -user ") + dbupdate::kDefaultUser + " -password " +
                              dbupdate::kDefaultPassword + " ";

    const double before = PeakMegabytes();
    const std::string backup = dbupdate::BackupPathFor(database, 121);
    start = Clock::now();
    dbupdate::BackupDatabase("", database, backup, nullptr);
    const double ours = Seconds(start);
    const double afterBackup = PeakMegabytes();
    const double gbak = Run("gbak -b" + login + "'" + database + "' '" + (dir / "gbak.fbk") + "'");
    std::printf("backup:  updater %.2f s, gbak -b %.2f s, ratio %.2f (%.0f MB file)\n", ours, gbak, gbak / ours,
                MB(fs::file_size(backup)));

    start = Clock::now();
    dbupdate::RestoreDatabase("", backup, database, nullptr);
    const double restore = Seconds(start);
    const double afterRestore = PeakMegabytes();
    const double gbakRestore = Run("gbak -rep" + login + "'" + (dir / "gbak.fbk") + "' '" + database + "'");
    std::printf("restore in place: updater %.2f s, gbak -rep %.2f s, ratio %.2f\n", restore, gbakRestore,
                gbakRestore / restore);

    // `updater --restore` on the embedded engine restores the backup beside
    // the database and puts it in the database's place.
    start = Clock::now();
    const std::string restored = dbupdate::CheckDatabasePathFor(backup);
    dbupdate::RestoreDatabase("", backup, restored, nullptr);
    dbupdate::ShutDownDatabase("", database);
    if (const platform::Error error = platform::MoveFileReplacing(restored, database))
        std::printf("the restored database cannot take the database's place: %s\n", error.Message().c_str());
    std::printf("restore as updater --restore does it (restore beside, shut down, rename): %.2f s\n",
                Seconds(start));
    std::printf("peak memory of this process: %.0f MB before, %.0f MB after the backup, %.0f MB after the "
                "restore\n",
                before, afterBackup, afterRestore);
    return 0;
}
