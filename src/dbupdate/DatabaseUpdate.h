#pragma once
// The database update of one unpacked package: its scripts, the journal's
// summary, then its blob files.

#include "dbupdate/UpdateContext.h"

#include <string>

namespace dbupdate {

// The database update of one unpacked package in dir: every dir/up/*.sql in
// sorted order, the journal's summary once the package is complete, then
// every dir/up/*.blo. The controls may be null.
void UpdateDatabase(UpdateContext& context, const std::string& dir, view::IProgressBar* bar,
                    view::ILabel* itemLabel, view::ILabel* timeLabel);

}  // namespace dbupdate
