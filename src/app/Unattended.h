#pragma once
// The updater without a window: `updater --unattended`.

#include <iosfwd>
#include <string>

namespace dbupdate {
struct Attachment;
}

namespace app {

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

// The report of a client of another program attached to the database,
// which does not stop the update (an administration tool, a backup).
std::string OtherAttachmentReport(const dbupdate::Attachment& attachment);

// The report of one run log's failures, e.g. "/tmp/.../122.001.sql.log: 2
// failed statements, 1 failed blob file".
std::string FailureReport(const std::string& path, int statements, int blobFiles);

}  // namespace app
