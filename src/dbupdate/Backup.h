#pragma once
// Backups of the database and restores from them, made by the engine through
// its service manager: the embedded engine's, or the server's in server mode.
// The engine reads and writes the files, so their paths are paths on the
// machine that holds the database, which the updater may not reach.
//
// The format is the engine's logical backup (gbak's): unlike a physical copy
// it can be restored over the database in place, also on a server.

#include <cstdint>
#include <functional>
#include <string>

namespace dbupdate {

class CGlobDB;
class DatabaseError;

// Each line of the engine's verbose report while it works.
using ServiceProgress = std::function<void(const std::string& line)>;

// The table a verbose line of a backup or a restore starts to copy the rows
// of ("gbak:    writing data for table T", "restoring data for table T"),
// or empty for any other line.
std::string TableOfProgressLine(const std::string& line);

// A file beside a database: its path with the file name's extension (when
// it has one) replaced by suffix. Either system's separators.
std::string SiblingPath(const std::string& databasePath, const std::string& suffix);

// The backup file of a database at a version: in the database's directory,
// its file name with the extension replaced by "." VERSION ".fbk"
// (norvexlib.fdb at 121: norvexlib.121.fbk). Either system's separators.
std::string BackupPathFor(const std::string& databasePath, std::int32_t version);

// The scratch database a backup is restored into to prove it whole before it
// replaces anything: the backup's path with ".fbk" replaced by ".check.fdb".
std::string CheckDatabasePathFor(const std::string& backupPath);

// The path the engine opened the database by, for an alias the file it
// stands for (MON$DATABASE). Runs in a transaction of its own. Throws
// DatabaseError.
std::string DatabaseFileName(CGlobDB& db);

// The number of tables whose rows a backup copies (the database's own
// tables, views and system tables left out), for a progress bar. Runs in
// a transaction of its own. Throws DatabaseError.
int CountDataTables(CGlobDB& db);

// Makes a backup of database (the path the engine knows it by) into
// backupFile, replacing a file there, through the service manager of server
// ("" for the embedded engine) with the default account. Waits for the end,
// passing the engine's lines to progress (and an empty line at least every
// second). Gives the size of the file the engine wrote (0 when it did not
// say). Throws DatabaseError with the engine's message when the backup
// fails, or std::runtime_error when the client library has no service entry
// points.
std::uint64_t BackupDatabase(const std::string& server, const std::string& database, const std::string& backupFile,
                    const ServiceProgress& progress);

// Restores backupFile as database, replacing a database there, as
// BackupDatabase works. The engine refuses to replace a database that any
// client is attached to, and the database is then untouched. A backup that
// ends early fails only after the database was replaced: check its size
// where this machine reaches the file, and restore it into a scratch
// database first (CheckDatabasePathFor) to prove it whole. A backup cut
// short makes the engine ask its console for the next volume: on a server
// that has none, or from this process's standard input in embedded mode.
void RestoreDatabase(const std::string& server, const std::string& backupFile, const std::string& database,
                     const ServiceProgress& progress);

// Shuts database down fully through server's service manager ("" for the
// embedded engine): no client attaches to it, the engine's own services
// excepted, until it is brought online. Refused while any client is attached,
// and the database is then left as it was. Throws DatabaseError.
void ShutDownDatabase(const std::string& server, const std::string& database);

// Brings a database that is shut down online again. Throws DatabaseError.
void BringDatabaseOnline(const std::string& server, const std::string& database);

// Whether the error of an attachment says that the database itself cannot be
// used: it is shut down, or its file is not a database or is damaged. A
// database that is missing, locked by another engine or on a server that
// does not answer does not count.
bool IsUnusableDatabaseError(const DatabaseError& error);

// The bytes of a backup copied so far; called at least every second.
using CopyProgress = std::function<void(std::uint64_t bytes)>;

// Makes a backup of database through server's service manager ("" for the
// embedded engine) as BackupDatabase does, but the engine sends it to this
// process, which writes it to localFile on this machine (replacing a file
// there): no file is left on the server. Gives its size. Throws DatabaseError
// with the engine's message, or std::runtime_error naming localFile when it
// cannot be written.
std::uint64_t BackupToLocalFile(const std::string& server, const std::string& database, const std::string& localFile,
                                const CopyProgress& progress);

// Restores localFile, a backup on this machine, as a new database on server,
// sending it to the engine as it asks for it. A database that is already
// there is refused, not replaced. A backup that ends early fails with the
// engine's message, leaving the part it restored (drop it). Throws as
// BackupToLocalFile.
void RestoreFromLocalFile(const std::string& server, const std::string& localFile, const std::string& database,
                          const CopyProgress& progress);

// Attaches to database and drops it (its file is deleted by the engine).
// Throws DatabaseError.
void DropDatabase(const std::string& server, const std::string& database);

// Drops the database db is attached to, rolling back its transaction first;
// db is detached afterwards. The engine refuses while other clients are
// attached. Throws DatabaseError.
void DropDatabase(CGlobDB& db);

}  // namespace dbupdate
