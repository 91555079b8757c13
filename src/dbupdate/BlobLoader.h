#pragma once
// The blob phase of a package's database update: files up/*.blo whose names
// say which table, column and row they belong to.

#include "dbupdate/UpdateContext.h"

#include <string>

namespace dbupdate {

struct BlobTarget {
    std::string table;
    std::string column;
    std::string key;        // the key part: conditions "NAME VALUE" separated by "."
    std::string statement;  // update <table> set <column> = :<column> where (<key>=<value>)and(...)
};

// Takes a blob file name (without directory) apart:
// table "." column "." key part [".blo" in any letter case at the end].
BlobTarget ParseBlobName(const std::string& fileName);

// Loads one blob file into the row its name designates, in a transaction of
// its own. Failures go to the run log (the blob file's own log, its path +
// ".log", while no script has set one) and go no further; only the
// DatabaseError of a lost connection is raised again after it was logged.
void LoadBlobFile(UpdateContext& context, const std::string& path);

// Loads every upDir/*.blo in sorted order, marking each "~blo".
void LoadBlobFiles(UpdateContext& context, const std::string& upDir, view::IProgressBar* bar,
                   view::ILabel* itemLabel);

}  // namespace dbupdate
