#include "app/Restore.h"

#include "app/HeadlessView.h"
#include "app/Shell.h"
#include "app/Unattended.h"
#include "dbupdate/Backup.h"
#include "dbupdate/BackupNames.h"
#include "dbupdate/DatabaseFile.h"
#include "dbupdate/Uglobdb.h"
#include "package/PutBack.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Sha256.h"
#include "platform/Termination.h"

#include <algorithm>
#include <ostream>
#include <vector>
#include <stdexcept>

namespace app {

namespace {

using package::RunRecordData;

// The run to undo: the one from version, or the newest.
const RunRecordData& RunToUndo(const std::vector<RunRecordData>& runs, std::optional<std::int32_t> version)
{
    if (runs.empty())
        throw std::runtime_error(std::string("No update of this installation can be undone: there is no folder "
                                             "VERSION.bak with its record ") +
                                 package::kRunRecordName + " beside the updater");
    if (!version)
        return runs.back();
    const auto run = std::find_if(runs.begin(), runs.end(),
                                  [&](const RunRecordData& record) { return record.version == *version; });
    if (run == runs.end())
        throw std::runtime_error("No update from version " + std::to_string(*version) +
                                 " is recorded in this installation (" + package::KeptFolderName(*version) + ")");
    return *run;
}

// A backup file that this machine reaches must be there with the size the
// engine wrote: a cut one fails only in the scratch restore, and the
// embedded engine would first ask this process's console for the rest. A
// local server's file that the updater may not read is left to the server,
// which reads it (its prompt has no console).
void CheckBackupFile(const RunRecordData& run)
{
    if (!package::IsLocalServer(run.server))
        return;
    platform::File file = platform::File::OpenRead(run.backup);
    if (!file.IsOpen() && !run.server.empty())
        return;
    if (!file.IsOpen())
        throw std::runtime_error("The backup " + run.backup + " cannot be read: " + file.OpenError().Message());
    std::uint64_t size = 0;
    if (const platform::Error error = file.Size(size))
        throw std::runtime_error("The backup " + run.backup + " cannot be read: " + error.Message());
    if (run.backupBytes != 0 && size != run.backupBytes)
        throw std::runtime_error("The backup " + run.backup + " is damaged: it holds " + std::to_string(size) +
                                 " bytes, and the engine wrote " + std::to_string(run.backupBytes));
    // The same size is not the same backup: a backup of another database
    // would replace this one.
    if (!run.backupSha256.empty()) {
        std::string sha256;
        if (const platform::Error error = platform::Sha256OfFile(run.backup, sha256))
            throw std::runtime_error("The backup " + run.backup + " cannot be read: " + error.Message());
        if (sha256 != run.backupSha256)
            throw std::runtime_error("The backup " + run.backup + " is not the one made before the update from version " +
                                     std::to_string(run.version) + ": its SHA-256 differs from the recorded one");
    }
}

// A file that this machine holds is removed as a file: dropping it through
// the engine would also empty a database it is a second name of.
void RemoveLeftover(const std::string& path)
{
    if (!platform::FileExists(path) && !platform::IsSymbolicLink(path))
        return;
    if (const platform::Error error = platform::DeleteFile(path))
        throw std::runtime_error("The file " + path + " that an earlier restore left cannot be removed: " +
                                 error.Message());
}

void DropRestored(const std::string& server, const std::string& database)
{
    if (server.empty()) {
        // The next restore removes a leftover before it restores.
        platform::BestEffort(platform::DeleteFile(database));
        return;
    }
    try {
        dbupdate::DropDatabase(server, database);
    } catch (const std::exception&) {
        // A restore that failed early made no database.
    }
}

// This machine holds the database: the restored one, proven whole, takes its
// place in one step, so that the database's path never names a database
// restored half-way. The database is shut down first, which the engine
// refuses while a client is attached; a restore stopped between the two
// leaves it shut down, and the next one puts the restored database in place.
void PutRestoredInPlace(const std::string& restored, const std::string& database, bool alreadyUnusable)
{
    if (!alreadyUnusable) {
        try {
            dbupdate::ShutDownDatabase("", database);
        } catch (const std::exception& error) {
            // The next restore removes a leftover before it restores.
            platform::BestEffort(platform::DeleteFile(restored));
            throw std::runtime_error("The database " + database + " cannot be shut down to be replaced (" +
                                     error.what() +
                                     "): a client attached to it after the checks. The database is unchanged");
        }
    }
    if (const platform::Error error = platform::MoveFileReplacing(restored, database)) {
        if (!alreadyUnusable)
            dbupdate::BringDatabaseOnline("", database);
        platform::BestEffort(platform::DeleteFile(restored));
        throw std::runtime_error("The restored database cannot take the place of " + database + ": " +
                                 error.Message() + ". The database is unchanged");
    }
}

// A server goes on with a restore whose updater was stopped, and refuses
// another restore of the same database until it has finished ("object
// DATABASE is in use"): the message says to wait for it.
std::runtime_error ExplainedForServer(const std::string& server, const std::exception& error)
{
    std::string message = error.what();
    if (!server.empty() && message.find("is in use") != std::string::npos)
        message += ". The server finishes a restore that was stopped by itself: "
                   "run this one again once it has finished";
    return std::runtime_error(message);
}

// The server holds the files: the engine restores the backup over the
// database (a restore that this updater no longer follows is finished by the
// server, and the database stays shut down until then).
void RestoreInPlace(const std::string& server, const std::string& backup, const std::string& restored,
                    const std::string& database)
{
    dbupdate::DropDatabase(server, restored);
    dbupdate::RestoreDatabase(server, backup, database, nullptr);
}

// The oldest of the runs (newest first) that changed the database, whose
// backup holds the database as it was before all of them; null when every
// one installed only program files.
const RunRecordData* OldestDatabaseRun(const std::vector<RunRecordData>& undone)
{
    const auto run = std::find_if(undone.rbegin(), undone.rend(), [](const RunRecordData& record) {
        return !record.filesOnly;
    });
    return run == undone.rend() ? nullptr : &*run;
}

// The runs to undo: the one from version (the newest without one) and every
// later one, newest first, so that a file replaced by two updates ends as it
// was before the first. Each is checked whole before anything is changed: a
// record that cannot be put back would leave the old database with partly
// new programs.
std::vector<RunRecordData> RunsToUndo(const std::string& exeDir, std::optional<std::int32_t> version)
{
    const auto runs = package::ListRunRecords(exeDir);
    const RunRecordData& run = RunToUndo(runs, version);
    std::vector<RunRecordData> undone(runs.rbegin(), runs.rend() - (&run - runs.data()));
    for (const RunRecordData& record : undone)
        if (const std::string problem = package::PutBackProblem(exeDir, record); !problem.empty())
            throw std::runtime_error(problem + "; nothing was changed");
    if (const RunRecordData* databaseRun = OldestDatabaseRun(undone); databaseRun && databaseRun->backup.empty())
        throw std::runtime_error("The update from version " + std::to_string(databaseRun->version) +
                                 " was made without a backup of the database (--no-backup) and cannot be undone here");
    return undone;
}

// Puts the backup made before run in the database's place: restored as a
// database of its own first, so that a damaged one fails before the
// database is replaced.
void RestoreFromBackup(IShellView& view, RunState& state, const RunRecordData& run, bool unusable)
{
    const std::string server = state.Server();
    const std::string database = state.DatabasePath();
    if (run.server != server || run.database != database)
        throw std::runtime_error("The backup " + run.backup + " was made of the database " +
                                 dbupdate::BuildConnectionString(run.server, run.database) +
                                 ", and this installation uses " + dbupdate::BuildConnectionString(server, database));
    CheckBackupFile(run);
    // The restored database is made beside the database, named for the
    // version; one that a restore stopped half-way left is made anew.
    const std::string restored = dbupdate::CheckDatabasePathFor(dbupdate::BackupPathFor(database, run.version));
    if (server.empty())
        RemoveLeftover(restored);

    view.AddLine("Перевірка резервної копії...");
    try {
        dbupdate::RestoreDatabase(server, run.backup, restored, nullptr);
    } catch (const std::exception& error) {
        view.AddLine("error");
        DropRestored(server, restored);
        throw ExplainedForServer(server, error);
    }
    view.AppendToLastLine("[OK]");
    view.AddLine(run.backup);

    // The engine replaces only a database that nobody is attached to.
    state.ReleaseDatabase();
    view.AddLine("Відновлення бази даних...");
    try {
        if (server.empty())
            PutRestoredInPlace(restored, database, unusable);
        else
            RestoreInPlace(server, run.backup, restored, database);
    } catch (const std::exception& error) {
        view.AddLine("error");
        throw ExplainedForServer(server, error);
    }
    view.AppendToLastLine("[OK]");
}

// Puts back the program files the runs replaced and removes the ones they
// added, then names the version restored; the runs' folders go when every
// file was put back.
void PutBackFiles(IShellView& view, RunState& state, const std::vector<RunRecordData>& undone, bool filesOnly)
{
    view.AddLine("Відновлення файлів програми");
    int failed = 0;
    for (const RunRecordData& record : undone)
        failed += package::PutBackProgramFiles(view, state.ExeDir, record);

    if (filesOnly) {
        view.AddLine("The database is left as it is: the runs undone installed only program files");
    } else {
        state.db->Connect(state.Server(), state.settings.pathBaseIB, "", "");
        view.AddLine("Версія бази даних: " + std::to_string(state.db->GetVersion()));
    }
    if (failed != 0)
        throw std::runtime_error(std::to_string(failed) +
                                 " program file(s) could not be put back. The folders of the updates stay: run the "
                                 "restore again once the files are free");
    for (const RunRecordData& record : undone)
        package::RemoveKeptFolder(state.ExeDir, record);
}

}  // namespace

int RunRestore(const std::string& executablePath, std::optional<std::int32_t> version, std::ostream& out,
               std::ostream& err)
{
    HeadlessView view(&out, &err);
    try {
        CUpdaterShell shell(view, executablePath);
        RunState& state = shell.State();
        const std::vector<RunRecordData> undone = RunsToUndo(state.ExeDir, version);
        // A restore half done is worse than none: termination requests wait.
        platform::TerminationDeferral deferral;
        const RunRecordData* databaseRun = OldestDatabaseRun(undone);
        if (!databaseRun) {
            // Runs of program files only: the database stays as it is.
            if (CheckBeforeFilesRestore(state) != CheckResult::UpdatePossible) {
                view.Finish();
                return kExitRefused;
            }
            PutBackFiles(view, state, undone, true);
            view.Finish();
            return kExitApplied;
        }
        const CheckResult checked = shell.RestoreChecks();
        const bool unusable = checked == CheckResult::DatabaseUnusable;
        if (checked != CheckResult::UpdatePossible && !unusable) {
            view.Finish();
            return kExitRefused;
        }
        if (unusable)
            view.AddLine("The database cannot be opened (" + shell.UnusableReason() +
                         "): it is restored from the backup without the checks that need it");
        // The oldest database run undone holds the backup made before all of them.
        RestoreFromBackup(view, state, *databaseRun, unusable);
        PutBackFiles(view, state, undone, false);
        view.Finish();
        return kExitApplied;
    } catch (const std::exception& error) {
        view.Finish();
        view.ShowError(error.what());
        return kExitError;
    }
}

}  // namespace app
