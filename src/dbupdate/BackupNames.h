#pragma once
// Where the files of a backup go: beside the database, named for the
// version the database was at.

#include <cstdint>
#include <string>

namespace dbupdate {

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

}  // namespace dbupdate
