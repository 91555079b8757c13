#pragma once
// The updater without a window: `updater --unattended`.

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

namespace app {

class CUpdaterShell;
class HeadlessView;
class RunPlan;

// Exit codes of the unattended mode.
inline constexpr int kExitApplied = 0;   // applied cleanly, or nothing to apply
inline constexpr int kExitRefused = 1;   // refused, or the run did not reach the highest package
inline constexpr int kExitError = 2;     // an error, a lost connection or a termination request ended it
inline constexpr int kExitFailures = 3;  // applied with failed statements or blob files

// Runs the same checks and the same update as the window, writing the memo's
// lines to out as they complete and box messages to err. After a run, err
// also lists every run log that received failures, and the version is read
// again: a run that did not reach the highest package is not reported as
// applied.
// With noBackup the run makes no backup of the database.
int RunUnattended(const std::string& executablePath, std::ostream& out, std::ostream& err, bool noBackup = false);

// The entry of the modes without a window (an update, or a restore):
// finds the program's own path with executablePath (a failure there is
// written to err, exit code kExitError), then runs as RunUnattended or
// RunRestore does.
struct CommandLine;
int RunUnattendedEntry(std::string (*executablePath)(), std::ostream& out, std::ostream& err,
                       const CommandLine& command);

// What an unattended mode reports of its run.
class UnattendedReport {
public:
    virtual ~UnattendedReport() = default;
    // The checks passed and the run is about to start.
    virtual void RunStarts() {}
    // The run has ended, or the checks refused it: what the mode reports
    // before an error message. shell is null when it could not be made;
    // version is the one the run reached, when it was read.
    virtual void Ended(CUpdaterShell* shell, std::optional<std::int32_t> version) = 0;
};

// The checks and the run of plan without a window: the memo's lines in
// view, each other client attached reported on err, and the exit code: 0
// applied cleanly (or nothing to apply), 1 refused or the version short of
// the highest package, 2 an error or a termination request, 3 statements or
// blob files failed.
int RunPlanUnattended(const std::string& executablePath, std::unique_ptr<RunPlan> plan, HeadlessView& view,
                      std::ostream& err, UnattendedReport& report);

// The run logs that received failures in a run, one line each on err.
void ReportFailures(const CUpdaterShell& shell, std::ostream& err);

}  // namespace app
