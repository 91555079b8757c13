#pragma once
// What a backup needs to know of the database, read through a connection
// (the file an alias stands for, the tables a backup copies), and the end
// of a database: dropped by the engine.

#include <string>

namespace dbupdate {

class CGlobDB;

// The path the engine opened the database by, for an alias the file it
// stands for (MON$DATABASE). Runs in a transaction of its own. Throws
// DatabaseError.
std::string DatabaseFileName(CGlobDB& db);

// The number of tables whose rows a backup copies (the database's own
// tables, views and system tables left out), for a progress bar. Runs in
// a transaction of its own. Throws DatabaseError.
int CountDataTables(CGlobDB& db);

// Attaches to database and drops it (its file is deleted by the engine).
// Throws DatabaseError.
void DropDatabase(const std::string& server, const std::string& database);

// Drops the database db is attached to, rolling back its transaction first;
// db is detached afterwards. The engine refuses while other clients are
// attached. Throws DatabaseError.
void DropDatabase(CGlobDB& db);

}  // namespace dbupdate
