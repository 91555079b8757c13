#pragma once
// A kind of run as a plan: the update run (RunPackages) takes the same steps
// for every package, and calls the plan's hooks where the kinds of run
// differ. The update's plan keeps the way back (WayBack.h); the
// rehearsal's works on a scratch copy and compares the program files
// (RehearsalPlan.h). The checks ask the plan what refuses it.

#include "app/Checks.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace app {

struct RunState;

class RunPlan {
public:
    virtual ~RunPlan() = default;

    // Where the run works, given the system's temporary folder.
    virtual std::string WorkDirIn(const std::string& tempPath) const = 0;

    // The checks. Whether the main application running on this workstation,
    // or attached from another one, refuses the run.
    virtual bool RefusedByMainProgram() const = 0;
    // Whether the checks create the update lock's table when it is missing.
    virtual bool CreatesLockTable() const = 0;
    // The lock's table cannot be used (no right to create or change it): the
    // run goes on without the lock.
    virtual void LockUnavailable(RunState& state) = 0;
    // Whether the run installs only this workstation's program files (its
    // database is current and its files lag): then another updater holding
    // the lock, or other clients attached to the database, do not refuse
    // it.
    virtual bool FilesOnly(RunState&) { return false; }
    // The connection, the lock and the attachments are checked; the packages
    // come next.
    virtual void AttachmentsChecked(RunState& state) = 0;

    // The database is at or past the highest package: by default the checks
    // end there (the memo's lines, btOK disabled, DatabaseCurrent); a plan
    // with work left at that version gives UpdatePossible instead.
    virtual CheckResult DatabaseCurrent(RunState& state);

    // The run. The packages it applies, in order.
    virtual std::vector<std::int64_t> Packages(const RunState& state) const;
    // Before the first package (the unpacker has been found).
    virtual void Prepare(RunState& state) = 0;
    // Runs the database update of package n (update), which began at start.
    virtual void UpdateDatabase(RunState& state, std::int64_t n, std::chrono::steady_clock::time_point start,
                                const std::function<void()>& update) = 0;
    // The database took the whole package: its program files.
    virtual void ProgramFiles(RunState& state) = 0;
    // Every package of the run was applied.
    virtual void Finish(RunState& state) = 0;
    // What a run that applied every package still left undone, which its
    // version does not show (empty when nothing): the unattended modes exit
    // 1 with it.
    virtual std::string Shortfall(const RunState&) const { return {}; }
    // What a run that a termination request stopped was doing.
    virtual std::string InterruptionMessage(const RunState& state) const = 0;
    // Removes what the run made for itself; gives what could not be removed
    // (empty when all is gone). Called again when the shell ends: a second
    // call does nothing.
    [[nodiscard]] virtual std::string End(RunState& state) = 0;
};

}  // namespace app
