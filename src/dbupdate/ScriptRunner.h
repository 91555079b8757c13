#pragma once
// The SQL script runner: one script, statement by statement, each in a
// transaction of its own, failures to the script's run log.

#include "dbupdate/UpdateContext.h"

#include <string>

namespace dbupdate {

// The remaining-time estimate: elapsed * maximum / position - elapsed, as
// "hh:nn:ss" with the given separator. Elapsed is a fraction of a day.
std::string FormatRemaining(double elapsed, int maximum, int position, char separator);

// Runs one script statement by statement, one transaction per statement;
// failures go to the script's run log. A statement that the journal shows
// applied by an earlier run is skipped. Throws std::runtime_error "Cannot open
// file ..." when the script cannot be read, the DatabaseError of a statement
// that lost the connection (after logging it), and UpdateInterrupted.
void RunScript(UpdateContext& context, const std::string& path, view::IProgressBar* bar, double start,
               view::ILabel* timeLabel);

}  // namespace dbupdate
