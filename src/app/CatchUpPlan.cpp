#include "app/CatchUpPlan.h"

#include "app/RunState.h"
#include "dbupdate/Uglobdb.h"
#include "dbupdate/UpdateLock.h"
#include "dbupdate/Workstations.h"
#include "package/PackageName.h"
#include "package/PackageStore.h"
#include "package/RunRecord.h"
#include "platform/Paths.h"
#include "platform/Sha256.h"

#include <algorithm>

namespace app {

namespace {

// The paths of the files the store's packages above version install.
std::vector<std::string> FilesAbove(const package::PackageStore& store, std::int32_t version)
{
    std::vector<std::string> files;
    for (const package::PackageEntry& entry : store.Entries()) {
        const auto number = package::NumberedPackage(entry.name);
        if (number && *number > version && entry.files)
            for (const package::InstallableFile& file : *entry.files)
                files.push_back(file.relative);
    }
    return files;
}

// What this workstation's run replaced, for the register: each kept file
// of the record, with its SHA-256 (one that cannot be read is left out).
std::vector<dbupdate::ReplacedFileRow> KeptCopies(const package::RunRecord& record)
{
    std::vector<dbupdate::ReplacedFileRow> rows;
    for (const std::string& kept : record.Data().kept) {
        dbupdate::ReplacedFileRow row;
        row.relative = kept;
        std::replace(row.relative.begin(), row.relative.end(), platform::kPathSeparator, '/');
        row.version = record.Data().version;
        platform::Digest digest {};
        if (platform::Sha256OfFile(platform::JoinPath(record.Folder(), kept), digest, row.size).Ok()) {
            row.sha256 = platform::ToHex(digest);
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

}  // namespace

std::vector<package::ReplacedCopy> ReplacedCopies(dbupdate::CGlobDB& db)
{
    std::vector<package::ReplacedCopy> copies;
    for (const dbupdate::ReplacedFileRow& row : dbupdate::ReadReplacedFiles(db)) {
        package::ReplacedCopy copy {row.relative, row.size, {}};
        // A row whose SHA-256 is not one is left out: nothing would match it.
        if (platform::ParseHexDigest(row.sha256, copy.sha256))
            copies.push_back(std::move(copy));
    }
    return copies;
}

package::FileLag CatchUpFiles(RunState& state, std::int32_t version)
{
    const package::PackageStore& store = state.Store();
    package::FileLag lag = package::CompareInstalledFiles(state.ExeDir, store, version, ReplacedCopies(*state.db));
    const std::vector<std::string> above = FilesAbove(store, version);
    const auto installedAbove = [&](const std::string& relative) {
        return std::find(above.begin(), above.end(), relative) != above.end();
    };
    std::erase_if(lag.lagging, [&](const package::LaggingFile& file) { return installedAbove(file.relative); });
    std::erase_if(lag.foreign, installedAbove);
    return lag;
}

void ShowCatchUpFiles(IShellView& view, const package::FileLag& lag)
{
    if (lag.lagging.empty())
        return;
    view.AddLine("Файли програми цього робочого місця відстають від бази даних:");
    for (const package::LaggingFile& file : lag.lagging)
        view.AddLine(package::LaggingFileText(file));
    for (const std::string& file : lag.foreign)
        view.AddLine(file + ": not from an update package, left as it is");
}

CatchUpPlan::CatchUpPlan(bool noBackup) : UpdatePlan(noBackup) {}

bool CatchUpPlan::FilesOnly(RunState& state)
{
    if (!filesOnly_) {
        // The checks ask before they have read the version (another updater
        // holds the lock) or after.
        const std::int32_t version = state.ReadVersion();
        const package::PackageStore& store = state.Store();
        filesOnly_ = false;
        if (package::HighestPackage(store) <= version) {
            startVersion_ = version;
            lag_ = CatchUpFiles(state, version);
            filesOnly_ = !lag_.lagging.empty();
        }
    }
    return *filesOnly_;
}

CheckResult CatchUpPlan::DatabaseCurrent(RunState& state)
{
    if (!FilesOnly(state))
        return UpdatePlan::DatabaseCurrent(state);
    state.view.AddLine("Версія БД більша за номер пакета оновлень");
    ShowCatchUpFiles(state.view, lag_);
    state.view.Controls().btOK.SetEnabled(true);
    // A run that leaves the database alone holds no lock: the other
    // workstations catch up meanwhile.
    state.lock.reset();
    return CheckResult::UpdatePossible;
}

std::vector<std::int64_t> CatchUpPlan::Packages(const RunState& state) const
{
    std::vector<std::int64_t> packages;
    for (const std::int32_t n : lag_.Packages())
        packages.push_back(n);
    if (!filesOnly_.value_or(false)) {
        const std::vector<std::int64_t> update = UpdatePlan::Packages(state);
        packages.insert(packages.end(), update.begin(), update.end());
    }
    return packages;
}

void CatchUpPlan::Prepare(RunState& state)
{
    if (filesOnly_.value_or(false)) {
        record_ = std::make_unique<package::RunRecord>(package::RunRecord::Begin(
            state.ExeDir, state.DbVersion, state.Server(), state.DatabasePath(), true));
        return;
    }
    UpdatePlan::Prepare(state);
    startVersion_ = state.DbVersion;
    lag_ = CatchUpFiles(state, startVersion_);
    ShowCatchUpFiles(state.view, lag_);
}

void CatchUpPlan::UpdateDatabase(RunState& state, std::int64_t n, std::chrono::steady_clock::time_point start,
                                 const std::function<void()>& update)
{
    // The database has the packages at or below its starting version.
    if (n > startVersion_)
        UpdatePlan::UpdateDatabase(state, n, start, update);
}

void CatchUpPlan::ProgramFiles(RunState& state)
{
    if (state.currentPackage > startVersion_) {
        UpdatePlan::ProgramFiles(state);
        return;
    }
    const std::vector<std::string> files = LaggingFilesOf(state.currentPackage);
    InstallFiles(state, &files);
}

std::vector<std::string> CatchUpPlan::LaggingFilesOf(std::int64_t n) const
{
    std::vector<std::string> files;
    for (const package::LaggingFile& file : lag_.lagging)
        if (file.package == n)
            files.push_back(file.relative);
    return files;
}

void CatchUpPlan::Finish(RunState& state)
{
    UpdatePlan::Finish(state);
    const bool filesOnly = filesOnly_.value_or(false);
    // This workstation's row in the register, and the copies its run
    // replaced, by which the other workstations know theirs as older.
    const std::int32_t programVersion = filesOnly ? startVersion_ : state.ReadVersion();
    const std::string unregistered =
        dbupdate::RegisterRun(*state.db, {platform::HostName(), state.ExeDir, programVersion, {}, {}},
                              record_ ? KeptCopies(*record_) : std::vector<dbupdate::ReplacedFileRow> {});
    if (!unregistered.empty())
        state.view.AddLine(std::string("The register of workstations ") + dbupdate::kWorkstationsTable +
                           " cannot be written: " + unregistered);
    if (!filesOnly)
        return;
    // Only files that are in place now count: a copy that failed has its
    // error line, and the run is not reported as done.
    const package::FileLag left = CatchUpFiles(state, startVersion_);
    if (left.lagging.empty()) {
        state.view.AddLine("Файли програми оновлено до версії " + std::to_string(startVersion_));
        return;
    }
    shortfall_ = "Program files of this workstation still lag behind the database:";
    for (const package::LaggingFile& file : left.lagging)
        shortfall_ += " " + file.relative;
    state.view.AddLine(shortfall_);
}

std::string CatchUpPlan::InterruptionMessage(const RunState& state) const
{
    if (!filesOnly_.value_or(false) && (state.currentPackage == 0 || state.currentPackage > startVersion_))
        return UpdatePlan::InterruptionMessage(state);
    return "The installation of this workstation's program files was interrupted at package " +
           std::to_string(state.currentPackage);
}

}  // namespace app
