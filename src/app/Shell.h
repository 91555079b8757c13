#pragma once
// The updater's checks when its window is shown (FormShow) and the update run
// (btOKClick), independent of the window toolkit. TForm1 and the unattended
// runner drive these through IShellView.

#include "app/ShellView.h"
#include "dbupdate/Attachments.h"
#include "dbupdate/UpdateContext.h"
#include "dbupdate/Settings.h"
#include "dbupdate/UpdateLock.h"
#include "package/ProgramFiles.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dbupdate {
class CGlobDB;
class ScratchCopy;
}
namespace package {
class PackageStore;
class RunRecord;
}

namespace app {

// The main application's executable name.
inline constexpr const char* kMainProgramName = "nvlib.exe";
// The warning box's text when the main application runs.
inline constexpr const char* kProgramRunningWarning =
    "ПК Norvex запущена. Будь ласка, закрийте програму та перезапустіть оновлення!";
// The memo line and the warning box's text when another updater holds the
// database's update lock.
inline constexpr const char* kUpdateInProgressLine = "Оновлення вже виконується з іншого робочого місця";
std::string UpdateInProgressWarning(const std::optional<dbupdate::LockHolder>& holder);
// The restore's refusal while other clients are attached: the memo line, the
// warning box's text (a line per client follows) and the memo's last line.
inline constexpr const char* kClientsAttachedLine = "До бази даних підключені інші програми";
inline constexpr const char* kClientsAttachedWarning =
    "До бази даних підключені інші програми. Закрийте їх та повторіть відновлення!";
inline constexpr const char* kRestoreRefusedLine = "Відновлення не можливо!!!";
// The unpacker beside the updater, without the system's program suffix
// ("rar", "rar.exe").
inline constexpr const char* kRarName = "rar";

// The outcome of FormShow.
enum class CheckResult {
    ProgramRunning,   // the main application runs: refused
    ProgramAttached,  // the main application of another workstation is attached to the database: refused
    UpdateInProgress, // another updater holds the database's update lock: refused
    ClientsAttached,  // a restore: another client is attached to the database
    DatabaseUnusable, // a restore: the database is shut down or damaged (UnusableReason says how)
    DatabaseTooOld,   // the lowest package is more than one version ahead: refused
    DatabaseCurrent,  // the database is at or past the highest package
    UpdatePossible,   // btOK enabled
};

// The outcome of btOKClick.
enum class RunResult {
    Completed,        // every package of the range was applied
    ArchiverMissing,  // no unpacker beside the updater
    UnpackFailed,     // the unpacker could not be started or failed
    Interrupted,      // a termination request stopped it between two steps
};

// What a run does: update the database and the installation, or rehearse
// the update on a scratch copy of the database, leaving both as they are.
enum class RunMode { Update, Rehearsal };

// What a rehearsal did with one package.
struct RehearsedPackage {
    std::int64_t number = 0;
    double seconds = 0;  // from writing it out to the end of its database update
    std::vector<dbupdate::ScriptTally> scripts;  // in the order they ran
    int blobFilesLoaded = 0;
    std::vector<dbupdate::FailedBlobFile> failedBlobFiles;  // this package's own
    std::vector<package::ProgramFileChange> programFiles;
};

// The text of the error raised for a package name whose number is not an
// integer.
std::string InvalidIntegerMessage(const std::string& text);

// The text the standard error box shows for a message: a full stop is
// appended when the message is not empty and its last character's code is
// greater than that of ".".
std::string ErrorBoxText(const std::string& message);

// How the warning box names an attachment of the main application: the
// workstation's address ("localhost" for a local one), ", " and the user.
std::string AttachmentLine(const dbupdate::Attachment& attachment);

// How a report names another client: its program ("a client without a
// program name" when it gave none) and its AttachmentLine in brackets.
std::string ClientLine(const dbupdate::Attachment& attachment);

class CUpdaterShell {
public:
    // Works out the paths from the executable's path, creates the connection
    // object without connecting and reads cnfg.ini. Throws when the database
    // client library cannot be loaded.
    // A rehearsal (mode) differs from an update in these points only: a
    // running or attached main application does not refuse it, the update
    // lock's table is not created; the run works in a working directory of
    // its own, on a scratch copy of the database made before the first
    // package, installs no program file but compares them (Rehearsed), and
    // keeps nothing for the way back.
    CUpdaterShell(IShellView& view, const std::string& executablePath, RunMode mode = RunMode::Update);
    ~CUpdaterShell();

    // The checks made when the window is shown. Throws (DatabaseError, the
    // invalid-integer error, a damaged package store) as the window's handler
    // lets them reach the error box.
    CheckResult FormShow();
    // The checks before a restore: the main application, the connection, the
    // lock and the version as FormShow, then any other client attached to the
    // database refuses (ClientsAttached, with the warning box naming each).
    // Gives UpdatePossible when the restore may go on. A database that the
    // engine says is shut down or damaged gives DatabaseUnusable, with no
    // connection, lock or version (nobody can be attached to it). Throws as
    // FormShow.
    CheckResult RestoreChecks();
    // The engine's message after DatabaseUnusable.
    const std::string& UnusableReason() const noexcept { return unusableReason_; }
    // Releases the lock and ends the attachment, so that the engine may
    // replace the database.
    void ReleaseDatabase();

    // The update run. Throws for a missing or unwritable package, an unsafe
    // working directory, a script that cannot be read and a lost connection
    // (the DatabaseError, after the line "error"). A termination request
    // during the run lets the statement in progress finish, writes "error"
    // and gives Interrupted; the package's program files are not installed.
    RunResult btOKClick();

    // The installed version read again, for a report after the run.
    std::int32_t ReadVersion();
    // The database's path as the engine knows it (the file an alias stands
    // for, which only the connection tells: without one an alias throws
    // std::runtime_error).
    std::string DatabasePath();
    // What a run that gave Interrupted was processing, for the report.
    std::string InterruptionMessage() const;
    // The run logs that received failures during the run.
    const std::vector<dbupdate::RunLogFailures>& Failures() const { return context_->failures; }
    // The package a run was applying when it was interrupted (0 before the
    // first), and the script or blob file (empty between two).
    std::int64_t CurrentPackage() const noexcept { return currentPackage_; }
    const std::string& InterruptedAt() const noexcept { return interruptedAt_; }

    // A rehearsal's copy of the database, from its making until
    // EndRehearsal; null in an update.
    const dbupdate::ScratchCopy* Scratch() const noexcept { return scratch_.get(); }
    // Drops a rehearsal's scratch copy and deletes its backup, and removes
    // its working directory unless a run log there received failures; gives
    // what could not be removed of the copy (empty when all is gone). The
    // connection is detached; a second call does nothing.
    std::string EndRehearsal();
    // What a rehearsal did with each package it applied.
    std::vector<RehearsedPackage> Rehearsed;

    const std::string ExeDir;
    const std::string IniPath;
    const std::string TempPath;
    const std::string WorkDir;
    std::int32_t DbVersion = 0;
    std::int32_t MinPackage = 0;
    std::int32_t MaxPackage = 0;
    std::vector<std::string> PackageNames;
    dbupdate::Settings settings;
    // The run makes no backup of the database (`--no-backup`).
    bool NoBackup = false;
    // The clients of other programs attached to the database, as FormShow
    // found them.
    std::vector<dbupdate::Attachment> OtherAttachments;

    dbupdate::CGlobDB& Database() { return *db_; }

private:
    // The checks' first part: the main application, the connection, the lock
    // and the version. Gives the refusal, or nothing when they passed.
    std::optional<CheckResult> ConnectAndReadVersion();
    // Takes the database's update lock; false when another updater holds it
    // (the checks then end with the refusal).
    bool TakeUpdateLock();
    // Ends the checks with a refusal that has a warning box (a running main
    // application, another updater): the reason and "Оновлення не можливо!!!"
    // in the memo, btOK disabled, the box.
    void Refuse(const std::string& reason, const std::string& warning);
    // Reads the other clients attached to the database into OtherAttachments,
    // all but the main application's; gives the box's lines of those ("\n"
    // before each), empty when there is none or the engine does not tell.
    std::string SortAttachments();
    // The copies of the database that stopped rehearsals left beside it,
    // where this machine holds its directory (the embedded engine, a local
    // server). A rehearsal removes those no other rehearsal uses; an update
    // names them. Lines in the memo for each.
    void SweepLeftoverCopies(bool remove);
    // Writes out, unpacks and installs package n. False when the unpacker
    // could not be started or failed.
    bool ApplyPackage(std::int64_t n, const std::string& rarPath);
    // Makes the backup of the database before the first package, unless an
    // unfinished run from this version made one, and begins the run's
    // record. A backup that fails writes "error" and throws its
    // DatabaseError; nothing is kept then.
    void PrepareWayBack();
    // Makes the backup of database through server at path, showing its
    // progress; gives its size.
    std::uint64_t MakeBackup(const std::string& server, const std::string& database, const std::string& path);
    // After a run that reached the highest package: records it complete,
    // and when nothing failed removes the runs older than the last two.
    void FinishWayBack();
    // A rehearsal before the first package: copies the database into a
    // scratch one and moves the connection to it, leaving the database and
    // its lock. Throws as ScratchCopy::Make (UpdateInterrupted on a
    // termination request); what was made is removed by EndRehearsal.
    void PrepareRehearsal();
    bool Rehearsing() const noexcept { return mode_ == RunMode::Rehearsal; }

    IShellView& view_;
    const RunMode mode_;
    // The memo's last line of a refusal.
    std::string refusalLine_ = "Оновлення не можливо!!!";
    std::int64_t currentPackage_ = 0;
    std::string interruptedAt_;
    std::string executablePath_;
    std::unique_ptr<dbupdate::CGlobDB> db_;
    // Held from the checks until the shell ends; released before db_ detaches.
    std::unique_ptr<dbupdate::UpdateLock> lock_;
    std::string unusableReason_;
    std::unique_ptr<dbupdate::UpdateContext> context_;
    std::unique_ptr<package::PackageStore> store_;
    std::unique_ptr<package::RunRecord> record_;
    // Declared after context_, so that the update's statements are gone
    // before the copy is dropped.
    std::unique_ptr<dbupdate::ScratchCopy> scratch_;
};

}  // namespace app
