#pragma once
// The updater without a window: `updater --unattended`.

#include <iosfwd>
#include <string>

namespace app {

// Exit codes of the unattended mode.
inline constexpr int kExitApplied = 0;   // applied, or nothing to apply
inline constexpr int kExitRefused = 1;   // refused or could not complete
inline constexpr int kExitError = 2;     // an error ended it

// Runs the same checks and the same update as the window, writing the memo's
// lines to out as they complete and box messages to err.
int RunUnattended(const std::string& executablePath, std::ostream& out, std::ostream& err);

}  // namespace app
