#pragma once
// The update run (btOKClick): every package of the plan in turn, each
// written out, unpacked, its database update run and its program files
// taken, with the plan's hooks between the steps.

namespace app {

struct RunState;
class RunPlan;

// The outcome of a run.
enum class RunResult {
    Completed,        // every package of the range was applied
    ArchiverMissing,  // no unpacker beside the updater
    UnpackFailed,     // the unpacker could not be started or failed
    Interrupted,      // a termination request stopped it between two steps
};

// Runs the plan. Throws for a missing or unwritable package, an unsafe
// working directory, a script that cannot be read and a lost connection
// (the DatabaseError, after the line "error"). A termination request during
// the run lets the statement in progress finish, writes "error" and gives
// Interrupted; the package's program files are not taken.
RunResult RunPackages(RunState& state, RunPlan& plan);

}  // namespace app
