#pragma once
// `updater --restore [VERSION]`: undoes the newest update of the
// installation, or every update from VERSION on.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

namespace app {

// Undoes the update recorded in the installation's folder VERSION.bak (the
// newest one without a version), and every newer one: after the checks (the
// lock held, no other client attached), restores the backup made before that
// update beside the database and puts it in the database's place (a server
// restores it over the database), puts back the program files those updates
// replaced and removes the ones they added, then prints the version. A
// restore stopped at any point is finished by running it again: a database
// that an earlier one left shut down is restored without the checks that
// need a connection.
// Progress lines go to out, messages to err. Exit codes as the unattended
// update's: 0 restored, 1 refused, 2 an error (no such update, no backup, a
// backup missing or damaged: the database is then untouched).
int RunRestore(const std::string& executablePath, std::optional<std::int32_t> version, std::ostream& out,
               std::ostream& err);

}  // namespace app
