#pragma once
// The updater's checks when its window is shown (FormShow) and the update run
// (btOKClick), independent of the window toolkit: a façade over the checks,
// the run's steps and the plan of the kind of run. TForm1 and the
// unattended modes drive it through IShellView.

#include "app/Checks.h"
#include "app/RunPlan.h"
#include "app/RunState.h"
#include "app/UpdateRun.h"
#include "app/UserTexts.h"

#include <memory>
#include <string>

namespace app {

class CUpdaterShell {
public:
    // Works out the paths from the executable's path, creates the connection
    // object without connecting and reads cnfg.ini; the run follows plan (an
    // update keeping the way back when none is given). Throws when the
    // database client library cannot be loaded.
    CUpdaterShell(IShellView& view, const std::string& executablePath, std::unique_ptr<RunPlan> plan = nullptr);
    ~CUpdaterShell();

    // The checks made when the window is shown (CheckBeforeRun).
    CheckResult FormShow() { return CheckBeforeRun(state_, *plan_); }
    // The checks before a restore (CheckBeforeRestore); UnusableReason gives
    // the engine's message after DatabaseUnusable.
    CheckResult RestoreChecks() { return CheckBeforeRestore(state_, *plan_, unusableReason_); }
    const std::string& UnusableReason() const noexcept { return unusableReason_; }
    // The update run (RunPackages).
    RunResult btOKClick() { return RunPackages(state_, *plan_); }
    // What a completed run left undone (RunPlan::Shortfall).
    std::string Shortfall() const { return plan_->Shortfall(state_); }
    // What a run that gave Interrupted was doing, for the report.
    std::string InterruptionMessage() const { return plan_->InterruptionMessage(state_); }
    // Removes what the run made for itself (a rehearsal's copy); gives what
    // could not be removed. The shell's end does it too.
    [[nodiscard]] std::string EndRun() { return plan_->End(state_); }

    RunState& State() noexcept { return state_; }
    const RunState& State() const noexcept { return state_; }
    dbupdate::CGlobDB& Database() { return *state_.db; }

private:
    std::unique_ptr<RunPlan> plan_;
    RunState state_;
    std::string unusableReason_;
};

}  // namespace app
