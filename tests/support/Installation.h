#pragma once
// An installed Norvex for the tests of the checks and the update run: a real
// embedded database at a version, the real unpacker (and, on Windows, the
// tests' stand-in client library) beside a packed updater, and a temporary
// directory of its own; the two packages the tests apply; the updater run
// unattended as a process of its own.

#include "TestSupport.h"

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A script that creates and runs a procedure under SET TERM.
extern const std::string kProcedureScript;

// Package 121: the procedure script, then the version; nvlib.exe and a.fr3.
std::string Package121();
// Package 122: a failing statement and an UPDATE, then the version; a blob
// file with CR LF and NUL bytes; nvlib.exe and b.fr3.
std::string Package122();

// Package 122 that changes all an update can change: a new table with a
// row, a failing statement, an UPDATE of row 200 and the version; a blob
// file and one that fails; nvlib.exe, a.fr3 ("report a 122") and a new
// new.fr3.
std::string Package122WithNewObjects();

// Points the user's temporary directory (TMPDIR; TMP and TEMP on Windows) of
// this process and the programs it starts at path.
void SetTempDirectory(const std::string& path);

struct Installation {
    TempDir dir;
    std::string exeDir = dir / "Norvex";
    std::string updater;
    std::string database;
    std::string temp = dir / "tmp";
    std::string workDir;
    std::string connection;

    // Sets the process's temporary directory to the installation's own.
    Installation(int version, const std::vector<std::pair<std::string, std::string>>& packages, bool withRar = true);
    // A path below the installation directory ("Reports/a.fr3").
    std::string InExeDir(const std::string& relative) const;
    // A path below the working directory ("up/122.001.sql.log").
    std::string InWorkDir(const std::string& relative) const;
    // The memo lines of the backup made before a run from version, each
    // followed by "\n".
    std::string BackupLines(int version) const;

    // Makes the installation a networked one: cnfg.ini names the server (the
    // server part of a connection string) the updater connects through; the
    // test's own queries go to the server the tests run. With sharedDatabase,
    // the installation is another workstation of the office whose database
    // that is.
    void UseServer(const std::string& updaterServer, const std::string& testServer,
                   const std::string& sharedDatabase = {});
    long long Query(const std::string& sql) const { return QueryInteger(connection, sql); }
    long long Version() const { return Query("select max(data) from versions"); }
};

// The outcome of `updater --unattended` run as a process of its own.
struct UnattendedResult {
    int code = -1;  // exit code, -1 when it did not exit by itself
    std::string out;
    std::string err;  // line breaks as "\n" on every system
};

// Runs a program (arguments[0], a path) in directory, its standard output
// and error to files there, and waits for it.
UnattendedResult RunProcess(const std::vector<std::string>& arguments, const std::string& directory);

// Runs the installation's packed updater with options (--unattended), its
// standard output and error to files, and waits for it.
UnattendedResult RunUnattended(const Installation& installation,
                               const std::vector<std::string>& options = {"--unattended"});

// The database's schema and data as a text to compare, read apart from the
// updater: isql-fb's metadata extract and its output of every table's rows on
// Linux; the system tables' description of every table, column and procedure
// and the rows on Windows (where the tests cannot start isql-fb).
std::string DumpDatabase(const std::string& connectionString);

}  // namespace testsupport
