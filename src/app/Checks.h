#pragma once
// The checks before a run: when the window is shown (FormShow), and before a
// restore.

#include <string>

namespace app {

struct RunState;
class RunPlan;

// The outcome of the checks.
enum class CheckResult {
    ProgramRunning,   // the main application runs: refused
    ProgramAttached,  // the main application of another workstation is attached to the database: refused
    UpdateInProgress, // another updater holds the database's update lock: refused
    ClientsAttached,  // a restore: another client is attached to the database
    DatabaseUnusable, // a restore: the database is shut down or damaged
    DatabaseTooOld,   // the lowest package is more than one version ahead: refused
    DatabaseCurrent,  // the database is at or past the highest package
    UpdatePossible,   // btOK enabled
};

// The checks made when the window is shown: the main application, the
// connection, the update lock, the version, the other clients attached and
// the packages carried. Throws (DatabaseError, the invalid-integer error, a
// damaged package store) as the window's handler lets them reach the error
// box.
CheckResult CheckBeforeRun(RunState& state, RunPlan& plan);

// The checks before a restore: the main application, the connection, the
// lock and the version as CheckBeforeRun, then any other client attached to
// the database refuses (ClientsAttached, with the warning box naming each).
// Gives UpdatePossible when the restore may go on. A database that the
// engine says is shut down or damaged gives DatabaseUnusable and its message
// in unusableReason, with no connection, lock or version (nobody can be
// attached to it). Throws as CheckBeforeRun.
CheckResult CheckBeforeRestore(RunState& state, RunPlan& plan, std::string& unusableReason);

// The check before putting back the files of runs that installed only
// program files: the main application on this workstation (its files are in
// use) refuses it; the database is not needed.
CheckResult CheckBeforeFilesRestore(RunState& state);

}  // namespace app
