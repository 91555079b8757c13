#pragma once
// What an update run leaves for its undoing: a folder of the installation
// named for the version the run started from ("121.bak"), holding the
// program files and report templates the run replaced, as they were before
// it ("121.bak/nvlib.exe", "121.bak/Reports/Smeta.fr3"), and a record of the
// run: the database, its backup, the files kept and the files the run added.
//
// The record is a text file appended to as the run goes, one "KEY VALUE"
// line per fact, so that a run that ends at any point leaves a record of
// what it did up to there.
//
// The installation folder is often writable by every user of the PC, and
// the way back is often run by an administrator: a record is read as
// untrusted input. Only complete lines count, a file entry must be a name
// the updater installs, and nothing in the folder or the installation is
// followed through a symbolic link.

#include "platform/Error.h"
#include "view/UpdateView.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace package {

// The run record's file name inside the folder.
inline constexpr const char* kRunRecordName = "updater-run.txt";

// The folder of the run from version: "121.bak".
std::string KeptFolderName(std::int32_t version);

// What a record says.
struct RunRecordData {
    std::int32_t version = 0;    // the database version the run started from
    std::string server;          // the server the database was reached through; empty for the embedded engine
    std::string database;        // the database the run updated, as the engine knows it
    std::string backup;          // the backup made before the run; empty without one
    std::uint64_t backupBytes = 0;  // its size as the engine reported it; 0 when unknown
    std::string backupSha256;    // its SHA-256 when it was made (lower-case hex); empty when unknown
    std::vector<std::string> kept;   // files kept, relative to the installation, in order
    std::vector<std::string> added;  // files the run added, relative to the installation
    bool complete = false;       // the run reached the highest package
    // The run installed only program files (a workstation catching up with
    // its database): there is no backup, and its undoing leaves the
    // database alone.
    bool filesOnly = false;
    // Why the record cannot be acted on ("" when it can): a line it could
    // not have been written with, or a record file or folder that is a
    // symbolic link. A record with a problem is never continued, undone or
    // pruned, and nothing it names is touched.
    std::string problem;
};

// Whether relative is a file name the updater installs and records: a
// program "NAME.exe" in the installation folder or a report template
// "Reports" + separator + "NAME.fr3" (the extensions in any letter case),
// where NAME has no separator, colon or control character and is not "."
// or "..". Nothing else may be kept, added or put back.
bool IsRecordableName(const std::string& relative);

// Reads a record's text: "version N", "server HOST", "database PATH",
// "backup PATH", "backup-bytes N", "backup-sha256 HEX", "kept FILE",
// "added FILE", "complete", "files-only",
// each line ending in a line feed. A last line without one (cut by a crash)
// is left out, and so are lines of keys it does not know (of a later
// updater). A kept or added FILE that IsRecordableName refuses, or a number
// that is not one, is the record's problem, with its line number.
RunRecordData ParseRunRecord(const std::string& text);

// The record in exeDir of an earlier run of the same kind (files only, or
// not) from version of the database that did not complete and has no
// problem, which a run from there continues (see RunRecord::Begin).
std::optional<RunRecordData> UnfinishedRun(const std::string& exeDir, std::int32_t version, const std::string& server,
                                           const std::string& database, bool filesOnly = false);

// The record of a run in an installation, appended to as the run goes.
// An installed file that cannot be kept for the way back, and must then not
// be replaced: the program file's memo line, and the system's error.
class KeepFailed : public std::runtime_error {
public:
    KeepFailed(platform::Error error, std::int32_t version);
    platform::Error Error() const noexcept { return error_; }

private:
    platform::Error error_;
};

class RunRecord {
public:
    // Begins the record of the run from version of database in exeDir. The
    // record of an earlier run from the same version of the same database
    // that did not complete is continued: its backup holds the database as it
    // was before that run, and its kept files are the ones installed then.
    // Any other record there is replaced (the files a record with a problem
    // names are left alone). Throws std::runtime_error ("Cannot create file
    // "PATH". message") when the folder or the record cannot be written, or
    // the folder is a symbolic link.
    static RunRecord Begin(const std::string& exeDir, std::int32_t version, const std::string& server,
                           const std::string& database, bool filesOnly = false);

    const RunRecordData& Data() const noexcept { return data_; }
    const std::string& Folder() const noexcept { return folder_; }

    // Records the backup made before the run, with its SHA-256 when this
    // machine could read it (else empty). Throws as Begin.
    void SetBackup(const std::string& path, std::uint64_t bytes, const std::string& sha256);
    // Records that the run reached the highest package. Throws as Begin.
    void SetComplete();

    // Called before the installation's file relative (a path below exeDir,
    // without a leading separator) is replaced: the first time in the run,
    // the installed file is copied into the folder, or, when there is none,
    // the file is recorded as added. Throws KeepFailed with the error of a
    // failed copy, of a name IsRecordableName refuses (EINVAL,
    // ERROR_INVALID_NAME) or of a symbolic link on the way
    // (SymbolicLinkError); the file must then not be replaced, or the run
    // could not be undone.
    void BeforeReplace(const std::string& relative);

private:
    RunRecord(std::string exeDir, std::string folder, RunRecordData data);
    platform::Error TryAppend(const std::string& key, const std::string& value);
    platform::Error TryKeep(const std::string& relative);
    void Append(const std::string& key, const std::string& value);

    std::string exeDir_;
    std::string folder_;
    RunRecordData data_;
};

// The first symbolic link on the way to a file a record names, below exeDir:
// to its kept copy in the run's folder (kept) or to the installed file;
// empty when there is none.
std::string LinkOnTheWay(const std::string& exeDir, std::int32_t version, const std::string& relative, bool kept);

// The records of the runs in exeDir, lowest version first, those with a
// problem among them.
std::vector<RunRecordData> ListRunRecords(const std::string& exeDir);

// Whether the files of a database reached through server are this
// machine's: the embedded engine ("") or a server on this machine.
bool IsLocalServer(const std::string& server);

}  // namespace package
