#pragma once
// Fixtures shared by the tests: temporary directories, real Firebird
// databases created through the embedded engine, small file helpers.

#include "dbupdate/CDBStatement.h"
#include "dbupdate/Uglobdb.h"
#include "platform/ChildProcess.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh directory under the temporary directory, removed with everything
// in it when the object goes.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();
    const std::string& Path() const { return path_; }
    // The path of name inside the directory.
    std::string operator/(const std::string& name) const;

private:
    std::string path_;
};

// A program running under the given file name in a directory (a copy of the
// test helper that sleeps, standing in for the main application), from the
// constructor until the object goes, when it is ended. Throws when it does
// not start.
class RunningProgram {
public:
    RunningProgram(const std::string& directory, const std::string& name);
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    ~RunningProgram();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::unique_ptr<platform::ChildProcess> process_;
};

// Where a test's database lives: norvexlib.fdb in a directory of its own,
// removed with it.
struct DatabaseFile {
    TempDir dir;
    std::string path = dir / "norvexlib.fdb";
};

// Creates a dialect-3 database file at connectionString (a path, or
// host:path) with the default account.
void CreateDatabase(const std::string& connectionString, int dialect = 3);

// Runs statements against a database, each committed on its own.
void RunStatements(const std::string& connectionString, const std::vector<std::string>& statements);

// Creates a database holding the table versions (data, create_date) and, when
// version is given, one row with it.
void CreateVersionDatabase(const std::string& path, const std::string& versionsDataType = "INTEGER");
void AddVersion(const std::string& path, const std::string& dataLiteral, const std::string& createDate);

// Reads one integer (or NULL as -1) from the first row of a query.
long long QueryInteger(const std::string& connectionString, const std::string& sql);
// Reads a blob column of the first row: its bytes, or nothing for NULL.
std::optional<std::string> QueryBlob(const std::string& connectionString, const std::string& sql);

// Writes an updater at path: the built updater executable carrying the given
// packages (name and bytes, in stored order).
void MakePackedUpdater(const std::string& path, const std::vector<std::pair<std::string, std::string>>& packages);

// A fake package: the RAR signature followed by some bytes (enough for the
// checks that only look at names).
std::string FakePackage(const std::string& tag = "");

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// A program of the build: directory below the build directory ("src/app")
// and the program's name without the system's suffix ("updater").
std::string BuiltProgram(const std::string& directory, const std::string& name);

// The system's own text for an error code, asked of the system directly
// (strerror, FormatMessageA without its line break), not through the
// updater's platform layer.
std::string SystemText(int code);

// The system's message for a file that does not exist ("No such file or
// directory", "File not found.").
std::string MissingFileMessage();

// The message of the error (a std::exception) that f raises, or "<no
// error>".
template <typename F>
std::string ErrorOf(F&& f)
{
    try {
        f();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "<no error>";
}

// Where the shared test data and the build's programs are.
std::string TestDataDir();
std::string BinaryDir();

// The Firebird server of the server-mode tests, as the server part of a
// connection string ("127.0.0.1/30517"), from UPDATER_FIREBIRD_SERVER;
// empty when the tests run without a server.
std::string TestServer();

// The host and port of a "host/port" server text.
std::string ServerHost(const std::string& server);
int ServerPort(const std::string& server);

}  // namespace testsupport
