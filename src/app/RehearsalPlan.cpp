#include "app/RehearsalPlan.h"

#include "app/CatchUpPlan.h"
#include "app/PackageSteps.h"
#include "app/RunState.h"
#include "app/UserTexts.h"
#include "dbupdate/ScratchCopy.h"
#include "dbupdate/Uglobdb.h"
#include "package/RunRecord.h"
#include "package/WorkDir.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace app {

RehearsalPlan::RehearsalPlan() = default;

RehearsalPlan::~RehearsalPlan() = default;

std::string RehearsalPlan::WorkDirIn(const std::string& tempPath) const
{
    return package::NewRehearsalWorkDir(tempPath);
}

CheckResult RehearsalPlan::DatabaseCurrent(RunState& state)
{
    const CheckResult result = RunPlan::DatabaseCurrent(state);
    catchUp_ = CatchUpFiles(state, state.DbVersion);
    ShowCatchUpFiles(state.view, catchUp_);
    return result;
}

void RehearsalPlan::Prepare(RunState& state)
{
    // Read from the database itself, before the run moves to the copy.
    catchUp_ = CatchUpFiles(state, state.DbVersion);
    ShowCatchUpFiles(state.view, catchUp_);
    const std::string server = state.Server();
    SweepLeftoverCopies(state, true);
    state.view.AddLine("Копія бази даних для репетиції...");
    scratch_ = std::make_unique<dbupdate::ScratchCopy>(server, state.DatabasePath(),
                                                       platform::JoinPath(state.WorkDir, "copy.fbk"));
    PumpingStep(state.view, false, [&] {
        scratch_->Make([&](std::uint64_t) {
            state.view.ProcessMessages();
            dbupdate::StopIfTerminationRequested("");
        });
    });
    state.view.AppendToLastLine("[OK]");
    state.view.AddLine(scratch_->Path());
    // From here on the run works on the copy; the database and its lock are
    // left.
    state.ReleaseDatabase();
    state.db->Connect(server, scratch_->Path(), "", "");
}

void RehearsalPlan::UpdateDatabase(RunState& state, std::int64_t n, std::chrono::steady_clock::time_point start,
                                   const std::function<void()>& update)
{
    const dbupdate::UpdateContext& context = *state.context;
    const int loadedBefore = context.blobFilesLoaded;
    const std::size_t failedBefore = context.failedBlobFiles.size();
    auto note = [&]() noexcept {
        try {
            rehearsed_.push_back({n, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                                  context.journal.Tallies(), context.blobFilesLoaded - loadedBefore,
                                  {context.failedBlobFiles.begin() + static_cast<std::ptrdiff_t>(failedBefore),
                                   context.failedBlobFiles.end()},
                                  {}});
        } catch (...) {
            // Without memory the report only misses the package.
        }
    };
    try {
        update();
    } catch (...) {
        note();
        throw;
    }
    note();
}

void RehearsalPlan::ProgramFiles(RunState& state)
{
    rehearsed_.back().programFiles = package::CompareProgramFiles(state.ExeDir, state.WorkDir);
}

std::string RehearsalPlan::InterruptionMessage(const RunState& state) const
{
    if (state.currentPackage == 0)
        return "The rehearsal was interrupted while the database was copied";
    return "The rehearsal was interrupted at " + InterruptionPlace(state.currentPackage, state.interruptedAt);
}

std::string RehearsalPlan::End(RunState& state)
{
    std::string left;
    if (scratch_) {
        left = scratch_->Remove(state.db.get());
        scratch_.reset();
    }
    // The working directory goes with the copy, unless run logs in it
    // received failures: the report names them.
    if (state.context && state.Failures().empty())
        package::RemoveWorkDir(state.WorkDir);
    return left;
}

void SweepLeftoverCopies(RunState& state, bool remove)
{
    if (!package::IsLocalServer(state.Server()))
        return;
    IShellView& view = state.view;
    for (const std::string& copy : dbupdate::LeftoverScratchCopies(state.DatabasePath())) {
        // A copy that another rehearsal works on is held open by the engine.
        if (platform::FileInUse(copy)) {
            if (remove)
                view.AddLine("A copy of the database that another rehearsal uses is left: " + copy);
            continue;
        }
        if (!remove) {
            std::uint64_t bytes = 0;
            // A size that cannot be read shows as 0 MB: the line names the copy all the same.
            platform::BestEffort(platform::File::OpenRead(copy).Size(bytes));
            view.AddLine("A copy of the database that a stopped rehearsal left (" + std::to_string(bytes >> 20) +
                         " MB): " + copy + "; the next rehearsal removes it");
        } else if (const platform::Error error = platform::DeleteFile(copy)) {
            view.AddLine("A copy of the database that a stopped rehearsal left cannot be removed: " + copy + ": " +
                         error.Message());
        } else {
            view.AddLine("A copy of the database that a stopped rehearsal left was removed: " + copy);
        }
    }
}

}  // namespace app
