#pragma once
// A scratch copy of the application's database, for a rehearsal of an
// update: made by the engine (a backup that travels to this machine, restored
// beside the database on the machine that holds it), and dropped together
// with that backup when it is no longer needed. The database itself is only
// read.

#include "dbupdate/Backup.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dbupdate {

class CGlobDB;

// The scratch database beside databasePath, marked by tag: the file name's
// extension replaced by ".rehearsal." TAG ".fdb" (norvexlib.fdb with tag
// 1a2b3c4d: norvexlib.rehearsal.1a2b3c4d.fdb). Either system's separators.
std::string ScratchPathFor(const std::string& databasePath, const std::string& tag);

// Whether name is the file name ScratchPathFor gives a copy of the database
// at databasePath, with any tag of the form it makes (8 lower-case
// hexadecimal digits). The part from the database's name is compared
// without regard to case, as Windows names files.
bool IsScratchName(const std::string& name, const std::string& databasePath);

// The scratch copies of the database at databasePath that rehearsals left
// beside it (a rehearsal that was killed leaves its copy): the regular files
// of the database's directory that IsScratchName accepts, never a link.
// The directory must be this machine's (the embedded engine's, or a local
// server's); one that cannot be read gives none.
std::vector<std::string> LeftoverScratchCopies(const std::string& databasePath);

class ScratchCopy {
public:
    // Names the copy of database (the path the engine knows it by) on
    // server ("" for the embedded engine): a scratch database beside it,
    // with a random tag so that rehearsals never share one, and its backup
    // at localBackup on this machine. Nothing is made yet.
    ScratchCopy(std::string server, std::string database, std::string localBackup);
    ScratchCopy(const ScratchCopy&) = delete;
    ScratchCopy& operator=(const ScratchCopy&) = delete;
    // Removes what is left (see Remove), errors swallowed.
    ~ScratchCopy();

    // Makes the backup and restores it as the scratch database. progress
    // is called at least every second; what it throws stops the copy
    // (Remove then removes what was made). Throws DatabaseError, or
    // std::runtime_error when the backup cannot be written here.
    void Make(const CopyProgress& progress);

    const std::string& Path() const noexcept { return scratch_; }
    // The database copied (the path the engine knows it by).
    const std::string& Database() const noexcept { return database_; }

    // Drops the scratch database, when any of it was made, and deletes the
    // backup. attached, when it is attached to the scratch database, is the
    // attachment it is dropped through (no other may remain). Gives
    // what could not be removed and why, empty when all of it is gone.
    [[nodiscard]] std::string Remove(CGlobDB* attached = nullptr) noexcept;

    double BackupSeconds = 0;
    double RestoreSeconds = 0;
    std::uint64_t BackupBytes = 0;

private:
    std::string server_;
    std::string database_;
    std::string localBackup_;
    std::string scratch_;
    bool restoreStarted_ = false;
};

}  // namespace dbupdate
