#include "app/UpdateRun.h"

#include "app/PackageSteps.h"
#include "app/RunPlan.h"
#include "app/RunState.h"
#include "dbupdate/DatabaseError.h"
#include "dbupdate/UpdateContext.h"
#include "package/WorkDir.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Termination.h"

#include <chrono>

namespace app {

namespace {

// Applies package n: false when the unpacker could not be started or failed.
bool ApplyPackage(RunState& state, RunPlan& plan, std::int64_t n, const std::string& rarPath)
{
    const auto start = std::chrono::steady_clock::now();
    const std::string archive = WritePackageOut(state, n);
    if (!UnpackPackage(state, rarPath, archive))
        return false;
    dbupdate::StopIfTerminationRequested("");
    ShowInstallProgress(state);
    plan.UpdateDatabase(state, n, start, [&] { UpdatePackageDatabase(state, n); });
    plan.ProgramFiles(state);
    ShowPackageDone(state, archive);
    return true;
}

// Before the first package: the working directory and the unpacker. Gives
// the unpacker's path, empty when it is missing.
std::string BeginRun(RunState& state)
{
    IShellView& view = state.view;
    const DrivenControls controls = view.Controls();
    controls.btOK.SetEnabled(false);
    controls.btCancel.SetCaption("Відмінити");
    controls.plUp.SetVisible(true);
    view.AddLine("Створення тимчасового каталога");
    package::PrepareWorkDir(state.WorkDir);
    view.AddLine(state.WorkDir);

    const std::string rarPath = platform::JoinPath(state.ExeDir, platform::ProgramFileName(kRarName));
    view.AddLine("Наявність архиватора RAR...");
    if (!platform::FileExists(rarPath)) {
        view.AddLine("error");
        return {};
    }
    view.AppendToLastLine("[OK]");
    return rarPath;
}

}  // namespace

std::vector<std::int64_t> RunPlan::Packages(const RunState& state) const
{
    std::vector<std::int64_t> packages;
    for (std::int64_t n = static_cast<std::int64_t>(state.DbVersion) + 1; n <= state.MaxPackage; ++n)
        packages.push_back(n);
    return packages;
}

RunResult RunPackages(RunState& state, RunPlan& plan)
{
    platform::TakeTerminationSignals();
    platform::TerminationDeferral deferral;
    state.interruptedAt.clear();
    state.currentPackage = 0;

    const std::string rarPath = BeginRun(state);
    if (rarPath.empty())
        return RunResult::ArchiverMissing;

    RunResult result = RunResult::Completed;
    try {
        plan.Prepare(state);
        for (const std::int64_t n : plan.Packages(state)) {
            state.currentPackage = n;
            dbupdate::StopIfTerminationRequested("");
            if (!ApplyPackage(state, plan, n, rarPath)) {
                // Ctrl+C reaches the unpacker too: its end is the request's.
                dbupdate::StopIfTerminationRequested("");
                state.view.AddLine("error");
                result = RunResult::UnpackFailed;
                break;
            }
        }
        if (result == RunResult::Completed)
            plan.Finish(state);
    } catch (const dbupdate::UpdateInterrupted& stop) {
        state.view.AddLine("error");
        state.interruptedAt = stop.Item();
        result = RunResult::Interrupted;
    } catch (const dbupdate::DatabaseError& error) {
        if (RunEndsWithError(error))
            state.view.AddLine("error");
        throw;
    }

    const DrivenControls controls = state.view.Controls();
    controls.btOK.SetVisible(false);
    controls.btCancel.SetCaption("Зачинити");
    controls.btCancel.SetEnabled(true);
    return result;
}

}  // namespace app
