#include "app/Shell.h"

#include "dbupdate/Backup.h"
#include "dbupdate/DatabaseUpdate.h"
#include "dbupdate/ScratchCopy.h"
#include "dbupdate/Transaction.h"
#include "dbupdate/Uglobdb.h"
#include "package/PackageStore.h"
#include "package/ProgramFiles.h"
#include "package/RunRecord.h"
#include "package/WorkDir.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/ProcessList.h"
#include "platform/Sha256.h"
#include "platform/Termination.h"
#include "platform/Text.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace app {

using platform::JoinPath;

namespace {

// Notes what a rehearsal did with a package's database update when the
// update ends, also when an interruption or an error ends it.
class PackageNote {
public:
    PackageNote(std::vector<RehearsedPackage>* into, std::int64_t package,
                std::chrono::steady_clock::time_point start, const dbupdate::UpdateContext& context)
        : into_(into),
          package_(package),
          start_(start),
          context_(context),
          blobFilesLoaded_(context.blobFilesLoaded),
          blobFilesFailed_(context.failedBlobFiles.size())
    {
    }
    PackageNote(const PackageNote&) = delete;
    PackageNote& operator=(const PackageNote&) = delete;
    ~PackageNote()
    {
        if (!into_)
            return;
        try {
            into_->push_back({package_,
                              std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(),
                              context_.journal.Tallies(), context_.blobFilesLoaded - blobFilesLoaded_,
                              {context_.failedBlobFiles.begin() + static_cast<std::ptrdiff_t>(blobFilesFailed_),
                               context_.failedBlobFiles.end()},
                              {}});
        } catch (...) {
            // Without memory the report only misses the package.
        }
    }

private:
    std::vector<RehearsedPackage>* into_;
    std::int64_t package_;
    std::chrono::steady_clock::time_point start_;
    const dbupdate::UpdateContext& context_;
    int blobFilesLoaded_;
    std::size_t blobFilesFailed_;
};

}  // namespace

std::string InvalidIntegerMessage(const std::string& text) { return "'" + text + "' is not a valid integer value"; }

std::string ErrorBoxText(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

CUpdaterShell::CUpdaterShell(IShellView& view, const std::string& executablePath, RunMode mode)
    : ExeDir(platform::ExeDirOf(executablePath)),
      IniPath(JoinPath(ExeDir, "cnfg.ini")),
      TempPath(platform::TempPath()),
      WorkDir(mode == RunMode::Rehearsal ? package::NewRehearsalWorkDir(TempPath)
                                         : JoinPath(TempPath, package::kWorkDirName)),
      view_(view),
      mode_(mode),
      executablePath_(executablePath)
{
    db_ = std::make_unique<dbupdate::CGlobDB>("", "", ExeDir);
    // Loading the client library installed its signal handlers.
    platform::TakeTerminationSignals();
    context_ = std::make_unique<dbupdate::UpdateContext>(view_, *db_);
    settings = dbupdate::ReadSettings(IniPath, ExeDir);
}

CUpdaterShell::~CUpdaterShell() { EndRehearsal(); }

std::optional<CheckResult> CUpdaterShell::ConnectAndReadVersion()
{
    view_.AddLine("Перевірка запущенної програми...");
    if (!platform::IsProcessRunning(kMainProgramName)) {
        view_.AppendToLastLine("OK");
    } else if (Rehearsing()) {
        // A rehearsal only reads the database.
        view_.AddLine("Программа запущена");
    } else {
        Refuse("Программа запущена", kProgramRunningWarning);
        return CheckResult::ProgramRunning;
    }
    view_.AddLine("Підключення до бази даних");
    view_.AddLine(settings.pathBaseIB);
    lock_.reset();
    db_->Connect(dbupdate::ServerForConnect(settings), settings.pathBaseIB, "", "");
    // So did the attachment.
    platform::TakeTerminationSignals();
    if (!TakeUpdateLock())
        return CheckResult::UpdateInProgress;
    // Read in a transaction that begins after the lock: a run that ended
    // while this one connected is seen.
    db_->StartTransaction();
    DbVersion = db_->GetVersion();
    view_.lCurVer().SetCaption(std::to_string(DbVersion));
    view_.AddLine("Версія бази даних: " + std::to_string(DbVersion));
    return std::nullopt;
}

CheckResult CUpdaterShell::FormShow()
{
    if (const auto refused = ConnectAndReadVersion())
        return *refused;
    // In a networked installation the main application of another workstation
    // holds the database too; its scripts' metadata changes would fail.
    if (const std::string clients = SortAttachments(); !clients.empty()) {
        Refuse("Программа запущена", kProgramRunningWarning + clients);
        return CheckResult::ProgramAttached;
    }
    if (!Rehearsing())
        SweepLeftoverCopies(false);
    view_.AddLine("Наявні пакети оновлення:");

    PackageNames.clear();
    // The running updater reads its own packages through the file that
    // runs, so that they come from that program even if the file at its path
    // was replaced.
    const bool running = executablePath_ == platform::ExecutablePath();
    store_ = std::make_unique<package::PackageStore>(running ? platform::RunningExecutableFile() : executablePath_,
                                                     executablePath_);
    for (const auto& name : store_->Names()) {
        if (name.find("_RAR") != std::string::npos)
            PackageNames.push_back(name);
    }

    MinPackage = 0;
    MaxPackage = 0;
    for (const auto& name : PackageNames) {
        view_.AddLine(name);
        const auto underscore = name.find('_');
        if (underscore == std::string::npos)
            continue;
        const std::string number = name.substr(0, underscore);
        std::int32_t n = 0;
        if (!platform::TryParseInt32(number, 10, n))
            throw std::runtime_error(InvalidIntegerMessage(number));
        if (MinPackage == 0 || n < MinPackage)
            MinPackage = n;
        if (MaxPackage == 0 || n > MaxPackage)
            MaxPackage = n;
    }
    view_.lActVer().SetCaption(MinPackage == MaxPackage
                                   ? std::to_string(MaxPackage)
                                   : std::to_string(MinPackage) + " - " + std::to_string(MaxPackage));

    // DbVersion + 1 is computed in 64 bits: the largest version must not wrap.
    if (static_cast<std::int64_t>(DbVersion) + 1 < MinPackage) {
        view_.AddLine("Версія БД меньше номеру пакета оновлень");
        view_.AddLine("Оновлення не можливо!!!");
        view_.btOK().SetEnabled(false);
        return CheckResult::DatabaseTooOld;
    }
    if (DbVersion < MaxPackage) {
        view_.AppendToLastLine(" [OK]");
        view_.btOK().SetEnabled(true);
        return CheckResult::UpdatePossible;
    }
    view_.AddLine("Версія БД більша за номер пакета оновлень");
    view_.AddLine("Оновлення не можливо!!!");
    view_.btOK().SetEnabled(false);
    return CheckResult::DatabaseCurrent;
}

bool CUpdaterShell::TakeUpdateLock()
{
    lock_ = std::make_unique<dbupdate::UpdateLock>(*db_);
    switch (lock_->Acquire(/*createTable=*/!Rehearsing())) {
    case dbupdate::UpdateLock::Outcome::Held:
        return true;
    case dbupdate::UpdateLock::Outcome::Unavailable:
        // A rehearsal's run log belongs to the copy, which no other updater
        // uses.
        if (Rehearsing())
            return true;
        // Without the right to create or change the lock's table the update
        // goes on as it did before there was a lock, and says so once.
        context_->firstLogNote = std::string("The update lock ") + dbupdate::kLockTable +
                                 " cannot be used; another updater is not kept from updating this database at the "
                                 "same time.\r\n" +
                                 lock_->Reason();
        return true;
    case dbupdate::UpdateLock::Outcome::HeldElsewhere:
        break;
    }
    Refuse(kUpdateInProgressLine, UpdateInProgressWarning(lock_->Holder()));
    return false;
}

std::string UpdateInProgressWarning(const std::optional<dbupdate::LockHolder>& holder)
{
    // An engine that does not name the holder's transaction leaves it unnamed.
    const std::string who = holder ? " (" + AttachmentLine(holder->attachment) + ", з " + holder->since + ")" : "";
    return "Базу даних уже оновлює інше робоче місце" + who +
           ". Дочекайтеся завершення та перезапустіть оновлення!";
}

CheckResult CUpdaterShell::RestoreChecks()
{
    refusalLine_ = kRestoreRefusedLine;
    try {
        if (const auto refused = ConnectAndReadVersion())
            return *refused;
    } catch (const dbupdate::DatabaseError& error) {
        // A restore stopped before its restored database was in place leaves
        // the database shut down: only a restore makes it usable again.
        if (!dbupdate::IsUnusableDatabaseError(error))
            throw;
        unusableReason_ = error.what();
        return CheckResult::DatabaseUnusable;
    }
    const auto attachments = dbupdate::ReadOtherAttachments(*db_);
    if (attachments && !attachments->empty()) {
        std::string clients;
        for (const auto& attachment : *attachments)
            clients.append("\n").append(ClientLine(attachment));
        Refuse(kClientsAttachedLine, kClientsAttachedWarning + clients);
        return CheckResult::ClientsAttached;
    }
    return CheckResult::UpdatePossible;
}

void CUpdaterShell::ReleaseDatabase()
{
    lock_.reset();
    db_->Detach();
}

void CUpdaterShell::Refuse(const std::string& reason, const std::string& warning)
{
    view_.AddLine(reason);
    view_.AddLine(refusalLine_);
    view_.btOK().SetEnabled(false);
    view_.ShowWarning(warning);
}

std::string CUpdaterShell::SortAttachments()
{
    OtherAttachments.clear();
    const auto attachments = dbupdate::ReadOtherAttachments(*db_);
    if (!attachments)
        return {};
    std::string programs;
    for (const auto& attachment : *attachments) {
        if (!Rehearsing() && platform::IsProgramPath(attachment.process, kMainProgramName))
            programs.append("\n").append(AttachmentLine(attachment));
        else
            OtherAttachments.push_back(attachment);
    }
    return programs;
}

std::string AttachmentLine(const dbupdate::Attachment& attachment)
{
    return (attachment.address.empty() ? "localhost" : attachment.address) + ", " + attachment.user;
}

std::string ClientLine(const dbupdate::Attachment& attachment)
{
    return (attachment.process.empty() ? std::string("a client without a program name") : attachment.process) +
           " (" + AttachmentLine(attachment) + ")";
}

RunResult CUpdaterShell::btOKClick()
{
    platform::TakeTerminationSignals();
    platform::TerminationDeferral deferral;
    interruptedAt_.clear();
    currentPackage_ = 0;

    view_.btOK().SetEnabled(false);
    view_.btCancel().SetCaption("Відмінити");
    view_.plUp().SetVisible(true);
    view_.AddLine("Створення тимчасового каталога");
    package::PrepareWorkDir(WorkDir);
    view_.AddLine(WorkDir);

    const std::string rarPath = JoinPath(ExeDir, platform::ProgramFileName(kRarName));
    view_.AddLine("Наявність архиватора RAR...");
    if (!platform::FileExists(rarPath)) {
        view_.AddLine("error");
        return RunResult::ArchiverMissing;
    }
    view_.AppendToLastLine("[OK]");
    if (!Rehearsing())
        PrepareWayBack();

    RunResult result = RunResult::Completed;
    try {
        if (Rehearsing())
            PrepareRehearsal();
        for (std::int64_t n = static_cast<std::int64_t>(DbVersion) + 1; n <= MaxPackage; ++n) {
            currentPackage_ = n;
            dbupdate::StopIfTerminationRequested("");
            if (!ApplyPackage(n, rarPath)) {
                // Ctrl+C reaches the unpacker too: its end is the request's.
                dbupdate::StopIfTerminationRequested("");
                view_.AddLine("error");
                result = RunResult::UnpackFailed;
                break;
            }
        }
        if (result == RunResult::Completed && !Rehearsing())
            FinishWayBack();
    } catch (const dbupdate::UpdateInterrupted& stop) {
        view_.AddLine("error");
        interruptedAt_ = stop.Item();
        result = RunResult::Interrupted;
    } catch (const dbupdate::DatabaseError& error) {
        if (error.ConnectionLost())
            view_.AddLine("error");
        throw;
    }

    view_.btOK().SetVisible(false);
    view_.btCancel().SetCaption("Зачинити");
    view_.btCancel().SetEnabled(true);
    return result;
}

bool CUpdaterShell::ApplyPackage(std::int64_t n, const std::string& rarPath)
{
    const std::string resourceName = std::to_string(n) + "_RAR";
    const std::string archive = JoinPath(WorkDir, std::to_string(n) + ".rar");

    const auto start = std::chrono::steady_clock::now();
    view_.AddLine("Копіювання пакету");
    if (!store_)
        throw std::runtime_error(package::ResourceNotFoundMessage(resourceName));
    package::SavePackage(*store_, resourceName, archive);
    view_.AddLine(archive);

    view_.lUpdate().SetCaption("Підготовка оновлення");
    view_.lUpdate().SetVisible(true);
    view_.btCancel().SetEnabled(false);
    view_.ProcessMessages();

    view_.AddLine("Розпаковка пакету...");
    auto unpacker = package::UnpackPackage(rarPath, archive, WorkDir);
    if (!unpacker)
        return false;
    // Only an archiver that ended with success (0) or a warning (1) has
    // unpacked the package; anything else must not be installed.
    const platform::ExitStatus status = unpacker->Wait();
    if (!status.exited || status.code > 1)
        return false;
    view_.AppendToLastLine("[OK]");
    view_.ProcessMessages();
    dbupdate::StopIfTerminationRequested("");

    view_.AddLine("Встановлення оновлення");
    view_.lUpdate().SetCaption("Встановлення оновлення");
    // The database update sets the bar's maximum and position itself.
    auto& bar = view_.ProgressBar2();
    bar.SetMinimum(0);

    view_.lUpdate().SetVisible(true);
    bar.SetVisible(true);
    view_.lTextFile().SetVisible(true);
    view_.lFile().SetVisible(true);

    context_->journal.BeginPackage(n);
    {
        const PackageNote note(Rehearsing() ? &Rehearsed : nullptr, n, start, *context_);
        dbupdate::UpdateDatabase(*context_, WorkDir, &bar, &view_.lFile(), &view_.lUpdateTime());
    }
    if (Rehearsing())
        Rehearsed.back().programFiles = package::CompareProgramFiles(ExeDir, WorkDir);
    // The program files go only with a database that took the whole package.
    dbupdate::StopIfTerminationRequested("");
    if (!Rehearsing())
        package::InstallProgramFiles(view_, ExeDir, WorkDir, &bar, &view_.lFile(), &view_.lUpdateTime(),
                                     record_.get());

    view_.ProcessMessages();
    view_.lUpdate().SetVisible(false);
    bar.SetVisible(false);
    view_.lTextFile().SetVisible(false);
    view_.lFile().SetVisible(false);
    view_.btCancel().SetEnabled(true);
    platform::DeleteFile(archive);
    return true;
}

std::string CUpdaterShell::DatabasePath()
{
    // A path is the server's name for the file; an alias is asked for it.
    if (settings.pathBaseIB.find_first_of("/\\") != std::string::npos)
        return settings.pathBaseIB;
    if (!db_->Attached())
        throw std::runtime_error("The database " + settings.pathBaseIB +
                                 " is an alias, and only a connection to it tells the file it stands for");
    return dbupdate::DatabaseFileName(*db_);
}

void CUpdaterShell::PrepareWayBack()
{
    const std::string server = dbupdate::ServerForConnect(settings);
    const std::string database = DatabasePath();
    const auto unfinished = package::UnfinishedRun(ExeDir, DbVersion, server, database);
    std::string backup;
    std::uint64_t bytes = 0;
    if (unfinished && !unfinished->backup.empty()) {
        // Made before the unfinished run: the database is no longer as it
        // was then, and that backup is the way back.
        view_.AddLine("Резервна копія бази даних...");
        view_.AppendToLastLine("[OK]");
        view_.AddLine(unfinished->backup);
        view_.AddLine("Резервну копію зроблено перед перерваним оновленням");
    } else if (!NoBackup) {
        backup = dbupdate::BackupPathFor(database, DbVersion);
        bytes = MakeBackup(server, database, backup);
    }
    record_ = std::make_unique<package::RunRecord>(package::RunRecord::Begin(ExeDir, DbVersion, server, database));
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

std::uint64_t CUpdaterShell::MakeBackup(const std::string& server, const std::string& database,
                                        const std::string& path)
{
    view_.AddLine("Резервна копія бази даних...");
    auto& bar = view_.ProgressBar2();
    int tables = 0;
    // The pumps of a run happen with both buttons disabled.
    view_.btCancel().SetEnabled(false);
    auto showProgress = [&](bool visible) {
        view_.lTextFile().SetVisible(visible);
        view_.lFile().SetVisible(visible);
    };
    try {
        bar.SetMinimum(0);
        bar.SetMaximum(std::max(1, dbupdate::CountDataTables(*db_)));
        bar.SetPosition(0);
        view_.lFile().SetCaption("");
        showProgress(true);
        view_.ProcessMessages();
        const std::uint64_t bytes = dbupdate::BackupDatabase(server, database, path, [&](const std::string& line) {
            if (const std::string table = dbupdate::TableOfProgressLine(line); !table.empty()) {
                bar.SetPosition(tables++);
                view_.lFile().SetCaption(table);
            }
            view_.ProcessMessages();
        });
        bar.SetPosition(bar.Maximum());
        showProgress(false);
        view_.btCancel().SetEnabled(true);
        view_.AppendToLastLine("[OK]");
        view_.AddLine(path);
        return bytes;
    } catch (const std::exception&) {
        showProgress(false);
        view_.btCancel().SetEnabled(true);
        view_.AddLine("error");
        throw;
    }
}

void CUpdaterShell::SweepLeftoverCopies(bool remove)
{
    if (!package::IsLocalServer(dbupdate::ServerForConnect(settings)))
        return;
    for (const std::string& copy : dbupdate::LeftoverScratchCopies(DatabasePath())) {
        // A copy that another rehearsal works on is held open by the engine.
        if (platform::FileInUse(copy)) {
            if (remove)
                view_.AddLine("A copy of the database that another rehearsal uses is left: " + copy);
            continue;
        }
        if (!remove) {
            std::uint64_t bytes = 0;
            platform::File::OpenRead(copy).Size(bytes);
            view_.AddLine("A copy of the database that a stopped rehearsal left (" + std::to_string(bytes >> 20) +
                          " MB): " + copy + "; the next rehearsal removes it");
        } else if (const platform::Error error = platform::DeleteFile(copy)) {
            view_.AddLine("A copy of the database that a stopped rehearsal left cannot be removed: " + copy + ": " +
                          error.Message());
        } else {
            view_.AddLine("A copy of the database that a stopped rehearsal left was removed: " + copy);
        }
    }
}

void CUpdaterShell::PrepareRehearsal()
{
    const std::string server = dbupdate::ServerForConnect(settings);
    SweepLeftoverCopies(true);
    view_.AddLine("Копія бази даних для репетиції...");
    scratch_ = std::make_unique<dbupdate::ScratchCopy>(server, DatabasePath(), JoinPath(WorkDir, "copy.fbk"));
    // The pumps of a run happen with both buttons disabled.
    view_.btCancel().SetEnabled(false);
    try {
        scratch_->Make([&](std::uint64_t) {
            view_.ProcessMessages();
            dbupdate::StopIfTerminationRequested("");
        });
    } catch (const std::exception& error) {
        view_.btCancel().SetEnabled(true);
        // The run writes "error" itself after an interruption and a lost
        // connection.
        const auto* database = dynamic_cast<const dbupdate::DatabaseError*>(&error);
        if (!dynamic_cast<const dbupdate::UpdateInterrupted*>(&error) && !(database && database->ConnectionLost()))
            view_.AddLine("error");
        throw;
    }
    view_.btCancel().SetEnabled(true);
    view_.AppendToLastLine("[OK]");
    view_.AddLine(scratch_->Path());
    // From here on the run works on the copy; the database and its lock are
    // left.
    lock_.reset();
    db_->Detach();
    db_->Connect(server, scratch_->Path(), "", "");
}

std::string CUpdaterShell::EndRehearsal()
{
    std::string left;
    if (scratch_) {
        left = scratch_->Remove(db_.get());
        scratch_.reset();
    }
    // The rehearsal's own working directory goes with the copy, unless run
    // logs in it received failures: the report names them.
    if (Rehearsing() && context_ && context_->failures.empty())
        package::RemoveWorkDir(WorkDir);
    return left;
}

void CUpdaterShell::FinishWayBack()
{
    if (!record_ || ReadVersion() < MaxPackage)
        return;
    record_->SetComplete();
    if (!context_->failures.empty())
        return;
    for (const std::string& left : package::PruneRuns(ExeDir, 2, dbupdate::BackupPathFor))
        view_.AddLine("Стару резервну копію не видалено: " + left);
}

std::int32_t CUpdaterShell::ReadVersion()
{
    std::int32_t version = 0;
    dbupdate::RunInTransaction(*db_, [&] { version = db_->GetVersion(); });
    return version;
}

std::string CUpdaterShell::InterruptionMessage() const
{
    std::string where = "package " + std::to_string(currentPackage_);
    if (!interruptedAt_.empty())
        where = interruptedAt_ + " of " + where;
    return "The update was interrupted at " + where + "; no program file of that package was installed";
}

}  // namespace app
