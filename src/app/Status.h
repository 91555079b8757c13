#pragma once
// `updater --status`: where the office stands, read only (no lock taken
// for longer than a look, nothing written; allowed while the main
// application runs), for an administrator and for a logon script:
// `updater --status || updater --unattended`.

#include <iosfwd>
#include <string>

namespace app {

// Exit codes of --status.
inline constexpr int kStatusCurrent = 0;  // this workstation's programs match the database
inline constexpr int kStatusLagging = 1;  // they lag behind it
inline constexpr int kStatusError = 2;    // the database could not be read

// Prints the database's version, the highest package carried, an update in
// progress on another workstation (who, since when), the last packages the
// journal records, every registered workstation with the version of its
// programs (those behind the database marked), and this workstation's
// lagging files; errors go to err.
int RunStatus(const std::string& executablePath, std::ostream& out, std::ostream& err);

}  // namespace app
