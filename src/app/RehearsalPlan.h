#pragma once
// The rehearsal's plan: the whole update on a scratch copy of the database,
// in a working directory of its own, comparing the program files instead of
// installing them and keeping nothing for the way back. A running or
// attached main application does not refuse it, and it does not create the
// update lock's table: it only reads the database.

#include "app/RunPlan.h"
#include "dbupdate/UpdateContext.h"
#include "package/FileLag.h"
#include "package/ProgramFiles.h"

#include <memory>
#include <string>
#include <vector>

namespace dbupdate {
class ScratchCopy;
}

namespace app {

struct RunState;

// What a rehearsal did with one package.
struct RehearsedPackage {
    std::int64_t number = 0;
    double seconds = 0;  // from writing it out to the end of its database update
    std::vector<dbupdate::ScriptTally> scripts;  // in the order they ran
    int blobFilesLoaded = 0;
    std::vector<dbupdate::FailedBlobFile> failedBlobFiles;  // this package's own
    std::vector<package::ProgramFileChange> programFiles;
};

class RehearsalPlan : public RunPlan {
public:
    RehearsalPlan();
    ~RehearsalPlan() override;

    std::string WorkDirIn(const std::string& tempPath) const override;
    bool RefusedByMainProgram() const override { return false; }
    bool CreatesLockTable() const override { return false; }
    // The rehearsal's run logs belong to the copy, which no other updater
    // uses.
    void LockUnavailable(RunState&) override {}
    void AttachmentsChecked(RunState&) override {}
    // As the update, and the program files a catch-up would install.
    CheckResult DatabaseCurrent(RunState& state) override;

    // Names the program files a catch-up would install before the packages,
    // removes the copies that stopped rehearsals left, copies the database
    // into a scratch one and moves the connection to it, leaving the
    // database and its lock. Throws as ScratchCopy::Make (UpdateInterrupted
    // on a termination request); what was made is removed by End.
    void Prepare(RunState& state) override;
    // Notes what the package's database update did, also when an
    // interruption or an error ends it.
    void UpdateDatabase(RunState& state, std::int64_t n, std::chrono::steady_clock::time_point start,
                        const std::function<void()>& update) override;
    // Compares them with the installed ones.
    void ProgramFiles(RunState& state) override;
    void Finish(RunState&) override {}
    std::string InterruptionMessage(const RunState& state) const override;
    // Drops the scratch copy and deletes its backup, and removes the working
    // directory unless a run log there received failures; gives what could
    // not be removed of the copy. The connection is detached.
    std::string End(RunState& state) override;

    // The scratch copy, from its making until End; null before.
    const dbupdate::ScratchCopy* Scratch() const noexcept { return scratch_.get(); }
    // What the rehearsal did with each package it applied.
    const std::vector<RehearsedPackage>& Rehearsed() const noexcept { return rehearsed_; }
    // The program files the update would install before its packages, or a
    // catch-up with the database current.
    const package::FileLag& CatchUp() const noexcept { return catchUp_; }

private:
    package::FileLag catchUp_;
    std::vector<RehearsedPackage> rehearsed_;
    std::unique_ptr<dbupdate::ScratchCopy> scratch_;
};

// The copies of the database that stopped rehearsals left beside it, where
// this machine holds its directory (the embedded engine, a local server): a
// rehearsal removes those no other rehearsal uses (remove); an update names
// them. Lines in the memo for each.
void SweepLeftoverCopies(RunState& state, bool remove);

}  // namespace app
