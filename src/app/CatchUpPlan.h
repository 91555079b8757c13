#pragma once
// The update's plan on a workstation of an office: the update with its way
// back (UpdatePlan), and the program files this workstation lacks. Several
// workstations share one database and each has an installation of its own:
// after one of them has updated the database, the others' programs are
// older than their database (package::CompareInstalledFiles).
//
// With the database current and this workstation's files lagging, the run
// installs only those files, from the packages that carry them: no backup,
// nothing in the database, no lock held (another updater holding it and
// other clients attached do not refuse it), its replaced files kept and its
// record marked files-only. A run that updates the database first installs
// the lagging files of the packages at or below its starting version that
// none of its packages replaces.

#include "app/WayBack.h"
#include "package/FileLag.h"

#include <cstdint>
#include <optional>

namespace dbupdate {
class CGlobDB;
}

namespace app {

class IShellView;
struct RunState;

// The copies of program files that runs replaced, as the office's register
// holds them.
std::vector<package::ReplacedCopy> ReplacedCopies(dbupdate::CGlobDB& db);

// What a catch-up would install on this workstation with the database at
// version: its lagging files, without those that the packages above version
// install (a run from version installs them itself).
package::FileLag CatchUpFiles(RunState& state, std::int32_t version);

// The memo's lines of what lags ("Файли програми цього робочого місця
// відстають від бази даних:", a line per file) and of the files left alone;
// none when nothing lags.
void ShowCatchUpFiles(IShellView& view, const package::FileLag& lag);

class CatchUpPlan : public UpdatePlan {
public:
    explicit CatchUpPlan(bool noBackup = false);

    bool FilesOnly(RunState& state) override;
    // With files lagging: the designed line, the lagging files and btOK
    // enabled; otherwise as the update.
    CheckResult DatabaseCurrent(RunState& state) override;

    std::vector<std::int64_t> Packages(const RunState& state) const override;
    void Prepare(RunState& state) override;
    void UpdateDatabase(RunState& state, std::int64_t n, std::chrono::steady_clock::time_point start,
                        const std::function<void()>& update) override;
    void ProgramFiles(RunState& state) override;
    // Registers the workstation; a files-only run ends with its line, or,
    // when files still lag (a copy failed), names them as its shortfall.
    void Finish(RunState& state) override;
    std::string Shortfall(const RunState&) const override { return shortfall_; }
    std::string InterruptionMessage(const RunState& state) const override;

private:
    // The lagging files of package n.
    std::vector<std::string> LaggingFilesOf(std::int64_t n) const;

    // Decided once, by the first check that asks.
    std::optional<bool> filesOnly_;
    // The version the run starts from, and what lags at it.
    std::int32_t startVersion_ = 0;
    package::FileLag lag_;
    std::string shortfall_;
};

}  // namespace app
