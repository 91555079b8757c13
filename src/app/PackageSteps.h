#pragma once
// The steps the update run takes for a package, each on its own, and the
// rules its steps share: btCancel disabled while a step pumps messages, and
// when a failed step closes its memo line with "error".

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace app {

class IShellView;
struct RunState;

// Writes package n out of the updater into the working directory ("n.rar"),
// with its memo lines; gives the archive's path. Throws for a package the
// updater does not carry, or one it cannot write.
std::string WritePackageOut(RunState& state, std::int64_t n);

// Unpacks the archive into the working directory with the unpacker at
// rarPath, with its memo line; btCancel stays disabled until the package is
// done (ShowPackageDone). False when the unpacker could not be started or
// did not end with success (0) or a warning (1).
bool UnpackPackage(RunState& state, const std::string& rarPath, const std::string& archive);

// Shows the installation's progress: the memo line, lUpdate, the bar and the
// item labels.
void ShowInstallProgress(RunState& state);

// Runs the unpacked package's scripts and loads its blob files into the
// database, counted in the journal as package n.
void UpdatePackageDatabase(RunState& state, std::int64_t n);

// The package is done: the progress hidden, btCancel enabled again, the
// archive deleted.
void ShowPackageDone(RunState& state, const std::string& archive);

// Whether a failure ends the run with the memo line "error" whatever step
// it came from: a termination request and a lost connection.
bool RunEndsWithError(const std::exception& error);

// Runs a step that pumps messages (the backup, the scratch copy) with
// btCancel disabled, and with showItem the item labels (lTextFile, lFile)
// shown; both are as before however the step ends. A failure closes the
// step's line with "error" (unless RunEndsWithError: the run writes it then)
// and goes on.
void PumpingStep(IShellView& view, bool showItem, const std::function<void()>& step);

}  // namespace app
