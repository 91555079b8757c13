#pragma once
// An installed Norvex for the update run's tests: a real embedded database at
// a version, the real unpacker, a packed updater, and a temporary directory
// of its own; and the two packages the tests apply.

#include "RarWriter.h"
#include "TestSupport.h"

#include <clocale>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fixture {

namespace fs = std::filesystem;
using rarformat::RarEntry;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

inline const std::string kProcedureScript =
    "SET TERM ^ ;\r\n"
    "CREATE PROCEDURE ADD_NOTE (ID INTEGER) AS\r\n"
    "BEGIN\r\n"
    "  INSERT INTO INFO_DOC (ID) VALUES (:ID);\r\n"
    "END^\r\n"
    "SET TERM ; ^\r\n"
    "EXECUTE PROCEDURE ADD_NOTE 300;\r\n";

inline std::string Package121()
{
    return rarformat::WriteRar4({{"up", "", true},
                                 {"up/121.001.sql", kProcedureScript},
                                 {"up/121.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (121);\r\n"},
                                 {"nvlib.exe", "program 121"},
                                 {"Reports", "", true},
                                 {"Reports/a.fr3", "report a 121"}});
}

inline std::string Package122()
{
    return rarformat::WriteRar4({{"up", "", true},
                                 {"up/122.001.sql", "insert into NOWHERE values (1);\r\nUPDATE INFO_DOC\r\n"
                                                    "SET KIND = 2\r\nWHERE ID = 300;\r\n"},
                                 {"up/122.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (122);\r\n"},
                                 {"up/INFO_DOC.NOTE_U.ID 200.blo", std::string("blob\0bytes\r\n", 12)},
                                 {"nvlib.exe", "program 122"},
                                 {"Reports", "", true},
                                 {"Reports/b.fr3", "report b 122"}});
}

// An installed Norvex at a version, with its own temporary directory.
struct Installation {
    TempDir dir;
    std::string exeDir = dir / "Norvex";
    std::string updater = exeDir + "/updater";
    std::string database = exeDir + "/norvexlib.fdb";
    std::string temp = dir / "tmp";
    std::string workDir = temp + "/norvex22.nvx";

    Installation(int version, const std::vector<std::pair<std::string, std::string>>& packages, bool withRar = true)
    {
        std::setlocale(LC_ALL, "C.UTF-8");
        fs::create_directories(exeDir + "/Reports");
        fs::create_directories(temp);
        ::setenv("TMPDIR", temp.c_str(), 1);
        testsupport::CreateVersionDatabase(database);
        testsupport::AddVersion(database, std::to_string(version), "2020-01-01");
        testsupport::RunStatements(database, {"create table INFO_DOC (ID integer, KIND integer, NOTE_U blob)",
                                              "insert into INFO_DOC (ID) values (200)"});
        WriteFile(exeDir + "/nvlib.exe", "program 120");
        if (withRar)
            fs::copy_file(testsupport::BinaryDir() + "/tools/rar/rar", exeDir + "/rar");
        testsupport::MakePackedUpdater(updater, packages);
    }
    // Makes the installation a networked one: cnfg.ini names the server
    // (the server part of a connection string) the updater connects through;
    // the test's own queries go to the server the tests run.
    void UseServer(const std::string& updaterServer, const std::string& testServer)
    {
        WriteFile(exeDir + "/cnfg.ini", "[Common]\r\nTypeServer=1\r\nNameServer=" + updaterServer +
                                            "\r\nPathBaseIB=" + database + "\r\n");
        connection = testServer + ":" + database;
    }
    long long Query(const std::string& sql) { return testsupport::QueryInteger(connection, sql); }
    long long Version() { return Query("select max(data) from versions"); }

    std::string connection = database;
};

// The outcome of `updater --unattended` run as a process of its own.
struct UnattendedResult {
    int code = -1;    // exit code, -1 when it did not exit by itself
    int signal = 0;   // the signal that ended it otherwise
    std::string out;
    std::string err;
};

// Starts the packed updater with --unattended, standard output and error to
// files in the installation's directory, or standard output to a pipe whose
// reading end is already closed.
inline pid_t StartUnattended(const Installation& installation, bool closedOutput = false)
{
    const std::string outPath = installation.dir / "stdout";
    const std::string errPath = installation.dir / "stderr";
    int pipeEnds[2] = {-1, -1};
    if (closedOutput && ::pipe(pipeEnds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = closedOutput ? pipeEnds[1] : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (closedOutput)
            ::close(pipeEnds[0]);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::unsetenv("DISPLAY");
        ::execl(installation.updater.c_str(), "updater", "--unattended", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (closedOutput) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
    }
    return pid;
}

inline UnattendedResult FinishUnattended(const Installation& installation, pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    UnattendedResult result;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (fs::exists(installation.dir / "stdout"))
        result.out = ReadFile(installation.dir / "stdout");
    result.err = ReadFile(installation.dir / "stderr");
    return result;
}

}  // namespace fixture
