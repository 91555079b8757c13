#include "app/Status.h"

#include "app/CatchUpPlan.h"
#include "app/HeadlessView.h"
#include "app/RunState.h"
#include "app/UserTexts.h"
#include "dbupdate/Journal.h"
#include "dbupdate/Uglobdb.h"
#include "dbupdate/UpdateLock.h"
#include "dbupdate/Workstations.h"
#include "package/FileLag.h"
#include "package/PackageStore.h"
#include "platform/Paths.h"

#include <exception>
#include <ostream>

namespace app {

namespace {

constexpr int kJournalPackagesShown = 5;

// Whether another updater holds the database's lock: the lock is taken and
// let go at once when nobody does (its table is never made here).
void ShowUpdateInProgress(dbupdate::CGlobDB& db, std::ostream& out)
{
    dbupdate::UpdateLock lock(db);
    if (lock.Acquire(false) != dbupdate::UpdateLock::Outcome::HeldElsewhere) {
        out << "Update in progress: none\n";
        return;
    }
    out << "Update in progress: ";
    if (const auto& holder = lock.Holder())
        out << "by " << AttachmentLine(holder->attachment) << " since " << holder->since << "\n";
    else
        out << "by another updater\n";
}

void ShowJournal(dbupdate::CGlobDB& db, std::ostream& out)
{
    const auto packages = dbupdate::ReadJournalPackages(db, kJournalPackagesShown);
    out << "Last packages in the journal:" << (packages.empty() ? " none\n" : "\n");
    for (const dbupdate::JournalPackage& package : packages) {
        out << "  " << package.package << ": ";
        if (!package.started.empty())
            out << package.started << " to ";
        out << package.finished << ", " << package.executed << " executed, " << package.skipped << " skipped, "
            << package.failed << " failed\n";
    }
}

void ShowWorkstations(dbupdate::CGlobDB& db, std::int32_t version, std::ostream& out)
{
    const auto workstations = dbupdate::ReadWorkstations(db);
    if (!workstations) {
        out << "Workstations: none registered\n";
        return;
    }
    out << "Workstations:\n";
    for (const dbupdate::WorkstationRow& row : *workstations) {
        out << "  " << row.host << " " << row.folder << ": programs of " << row.programVersion << ", "
            << row.updatedAt << " (" << row.user << ")";
        out << (row.programVersion < version ? ", lagging\n" : "\n");
    }
}

}  // namespace

int RunStatus(const std::string& executablePath, std::ostream& out, std::ostream& err)
{
    try {
        HeadlessView view;
        RunState state(view, executablePath, {});
        state.db->Connect(state.Server(), state.settings.pathBaseIB, "", "");
        const std::int32_t version = state.ReadVersion();
        const package::PackageStore& store = state.Store();
        out << "Database: " << state.settings.pathBaseIB << "\n";
        out << "Database version: " << version << "\n";
        out << "Highest package carried: " << package::HighestPackage(store) << "\n";
        ShowUpdateInProgress(*state.db, out);
        ShowJournal(*state.db, out);
        ShowWorkstations(*state.db, version, out);

        const package::FileLag lag =
            package::CompareInstalledFiles(state.ExeDir, store, version, ReplacedCopies(*state.db));
        if (lag.lagging.empty()) {
            out << "This workstation's program files: current\n" << std::flush;
            return kStatusCurrent;
        }
        out << "This workstation's program files lag behind the database:\n";
        for (const package::LaggingFile& file : lag.lagging)
            out << "  " << package::LaggingFileText(file) << "\n";
        out << std::flush;
        return kStatusLagging;
    } catch (const std::exception& error) {
        out.flush();
        err << ErrorBoxText(error.what()) << std::endl;
        return kStatusError;
    }
}

}  // namespace app
