#pragma once
// The office's register in its database: every workstation that ran the
// updater, with the version of the packages its program files come from
// (NVX$WORKSTATIONS), and the copies of program files that update runs
// replaced (NVX$REPLACED_FILES), by which another workstation's older files
// are known as older. The tables are made like the update lock's, on first
// use; an account without the right to make or change them goes without
// them, and the run says so once.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dbupdate {

class CGlobDB;

inline constexpr const char* kWorkstationsTable = "NVX$WORKSTATIONS";
inline constexpr const char* kReplacedFilesTable = "NVX$REPLACED_FILES";

// A workstation's row: one per host and installation folder.
struct WorkstationRow {
    std::string host;
    std::string folder;
    std::int32_t programVersion = 0;  // the packages its program files come from
    std::string updatedAt;            // "YYYY-MM-DD HH:MM:SS", the server's time
    std::string user;                 // the database account of its last run
};

// A copy of a program file that a run replaced.
struct ReplacedFileRow {
    std::string relative;  // "/" between parts
    std::uint64_t size = 0;
    std::string sha256;  // lower-case hexadecimal
    std::int32_t version = 0;  // the version the run started from
};

// Writes this workstation's row (host and folder; the time and the account
// are the server's) and the copies its run replaced, making the tables when
// they are missing. Gives why it could not ("" when it could); a lost
// connection throws DatabaseError.
std::string RegisterRun(CGlobDB& db, const WorkstationRow& workstation, const std::vector<ReplacedFileRow>& replaced);

// The workstations, by host and folder; nothing when the table does not
// exist or cannot be read. Throws DatabaseError for a lost connection.
std::optional<std::vector<WorkstationRow>> ReadWorkstations(CGlobDB& db);

// The copies runs replaced; none when the table does not exist or cannot be
// read. Throws DatabaseError for a lost connection.
std::vector<ReplacedFileRow> ReadReplacedFiles(CGlobDB& db);

}  // namespace dbupdate
