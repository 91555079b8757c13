#include "app/WayBack.h"

#include "app/PackageSteps.h"
#include "app/RehearsalPlan.h"
#include "app/RunState.h"
#include "app/UserTexts.h"
#include "dbupdate/Backup.h"
#include "dbupdate/BackupNames.h"
#include "dbupdate/DatabaseFile.h"
#include "dbupdate/ServiceReport.h"
#include "dbupdate/UpdateContext.h"
#include "dbupdate/UpdateLock.h"
#include "package/ProgramFiles.h"
#include "package/PutBack.h"
#include "package/WorkDir.h"
#include "platform/Paths.h"
#include "platform/Sha256.h"

#include <algorithm>

namespace app {

namespace {

// Makes the backup of database through server at path, showing its
// progress; gives its size.
std::uint64_t MakeBackup(RunState& state, const std::string& server, const std::string& database,
                         const std::string& path)
{
    IShellView& view = state.view;
    const DrivenControls controls = view.Controls();
    view.AddLine("Резервна копія бази даних...");
    std::uint64_t bytes = 0;
    PumpingStep(view, true, [&] {
        auto& bar = controls.ProgressBar2;
        bar.SetMinimum(0);
        bar.SetMaximum(std::max(1, dbupdate::CountDataTables(*state.db)));
        bar.SetPosition(0);
        controls.lFile.SetCaption("");
        view.ProcessMessages();
        int tables = 0;
        bytes = dbupdate::BackupDatabase(server, database, path, [&](const std::string& line) {
            if (const std::string table = dbupdate::TableOfProgressLine(line); !table.empty()) {
                bar.SetPosition(tables++);
                controls.lFile.SetCaption(table);
            }
            view.ProcessMessages();
        });
        bar.SetPosition(bar.Maximum());
    });
    view.AppendToLastLine("[OK]");
    view.AddLine(path);
    return bytes;
}

}  // namespace

UpdatePlan::UpdatePlan(bool noBackup) : noBackup_(noBackup) {}

UpdatePlan::~UpdatePlan() = default;

std::string UpdatePlan::WorkDirIn(const std::string& tempPath) const
{
    return platform::JoinPath(tempPath, package::kWorkDirName);
}

void UpdatePlan::LockUnavailable(RunState& state)
{
    state.context->firstLogNote = std::string("The update lock ") + dbupdate::kLockTable +
                                  " cannot be used; another updater is not kept from updating this database at the "
                                  "same time.\r\n" +
                                  state.lock->Reason();
}

void UpdatePlan::AttachmentsChecked(RunState& state) { SweepLeftoverCopies(state, false); }

void UpdatePlan::Prepare(RunState& state)
{
    const std::string server = state.Server();
    const std::string database = state.DatabasePath();
    const auto unfinished = package::UnfinishedRun(state.ExeDir, state.DbVersion, server, database);
    std::string backup;
    std::uint64_t bytes = 0;
    if (unfinished && !unfinished->backup.empty()) {
        // Made before the unfinished run: the database is no longer as it
        // was then, and that backup is the way back.
        state.view.AddLine("Резервна копія бази даних...");
        state.view.AppendToLastLine("[OK]");
        state.view.AddLine(unfinished->backup);
        state.view.AddLine("Резервну копію зроблено перед перерваним оновленням");
    } else if (!noBackup_) {
        backup = dbupdate::BackupPathFor(database, state.DbVersion);
        bytes = MakeBackup(state, server, database, backup);
    }
    record_ = std::make_unique<package::RunRecord>(
        package::RunRecord::Begin(state.ExeDir, state.DbVersion, server, database));
    if (!backup.empty()) {
        // The backup's identity, for the restore to refuse any other file
        // found under its name (a local server's file the updater may not
        // read has none).
        std::string sha256;
        if (!package::IsLocalServer(server) || platform::Sha256OfFile(backup, sha256))
            sha256.clear();
        record_->SetBackup(backup, bytes, sha256);
    }
}

void UpdatePlan::UpdateDatabase(RunState&, std::int64_t, std::chrono::steady_clock::time_point,
                                const std::function<void()>& update)
{
    update();
}

void UpdatePlan::ProgramFiles(RunState& state)
{
    // The program files go only with a database that took the whole package.
    InstallFiles(state, nullptr);
}

void UpdatePlan::InstallFiles(RunState& state, const std::vector<std::string>* only)
{
    dbupdate::StopIfTerminationRequested("");
    const DrivenControls controls = state.view.Controls();
    package::InstallProgramFiles(state.view, state.ExeDir, state.WorkDir, &controls.ProgressBar2, &controls.lFile,
                                 &controls.lUpdateTime, record_.get(), only);
}

void UpdatePlan::Finish(RunState& state)
{
    if (!record_ || state.ReadVersion() < state.MaxPackage)
        return;
    record_->SetComplete();
    if (!state.Failures().empty())
        return;
    for (const std::string& left : package::PruneRuns(state.ExeDir, 2, dbupdate::BackupPathFor))
        state.view.AddLine("Стару резервну копію не видалено: " + left);
}

std::string UpdatePlan::InterruptionMessage(const RunState& state) const
{
    return "The update was interrupted at " + InterruptionPlace(state.currentPackage, state.interruptedAt) +
           "; no program file of that package was installed";
}

}  // namespace app
