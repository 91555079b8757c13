#pragma once
// Backups of the database and restores from them, made by the engine through
// its service manager: the embedded engine's, or the server's in server mode.
// The engine reads and writes the files, so their paths are paths on the
// machine that holds the database, which the updater may not reach.
//
// The format is the engine's logical backup (gbak's): unlike a physical copy
// it can be restored over the database in place, also on a server.

#include "dbupdate/ServiceManager.h"

#include <cstdint>
#include <string>

namespace dbupdate {

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

}  // namespace dbupdate
