#include "Installation.h"

#include "RarWriter.h"
#include "dbupdate/BackupNames.h"
#include "platform/ChildProcess.h"
#include "platform/Paths.h"

#include <atomic>
#include <clocale>
#include <filesystem>

namespace testsupport {

namespace fs = std::filesystem;
using platform::JoinPath;

const std::string kProcedureScript =
    "SET TERM ^ ;\r\n"
    "CREATE PROCEDURE ADD_NOTE (ID INTEGER) AS\r\n"
    "BEGIN\r\n"
    "  INSERT INTO INFO_DOC (ID) VALUES (:ID);\r\n"
    "END^\r\n"
    "SET TERM ; ^\r\n"
    "EXECUTE PROCEDURE ADD_NOTE 300;\r\n";

std::string Package121()
{
    return rarformat::WriteRar4({{"up", "", true},
                                 {"up/121.001.sql", kProcedureScript},
                                 {"up/121.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (121);\r\n"},
                                 {"nvlib.exe", "program 121"},
                                 {"Reports", "", true},
                                 {"Reports/a.fr3", "report a 121"}});
}

std::string Package122()
{
    return rarformat::WriteRar4({{"up", "", true},
                                 {"up/122.001.sql", "insert into NOWHERE values (1);\r\nUPDATE INFO_DOC\r\n"
                                                    "SET KIND = 2\r\nWHERE ID = 300;\r\n"},
                                 {"up/122.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (122);\r\n"},
                                 {"up/INFO_DOC.NOTE_U.ID 200.blo", std::string("blob\0bytes\r\n\x1A end", 17)},
                                 {"nvlib.exe", "program 122"},
                                 {"Reports", "", true},
                                 {"Reports/b.fr3", "report b 122"}});
}

std::string Package122WithNewObjects()
{
    return rarformat::WriteRar4({{"up", "", true},
                                 {"up/122.001.sql", "CREATE TABLE NEW_TABLE (ID INTEGER);\r\n"
                                                    "INSERT INTO NEW_TABLE VALUES (7);\r\n"
                                                    "insert into NOWHERE values (1);\r\n"
                                                    "UPDATE INFO_DOC SET KIND = 5 WHERE ID = 200;\r\n"},
                                 {"up/122.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (122);\r\n"},
                                 {"up/INFO_DOC.NOTE_U.ID 200.blo", "note 122"},
                                 {"up/NOWHERE.NOTE.ID 1.blo", "lost"},
                                 {"nvlib.exe", "program 122"},
                                 {"Reports", "", true},
                                 {"Reports/a.fr3", "report a 122"},
                                 {"Reports/new.fr3", "new report"}});
}

// A path whose parts are separated by "/" made into one with the system's
// separator.
static std::string Below(const std::string& directory, const std::string& relative)
{
    std::string path = directory;
    std::size_t start = 0;
    for (std::size_t slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1)
        path = JoinPath(path, relative.substr(start, slash - start));
    return JoinPath(path, relative.substr(start));
}

Installation::Installation(int version, const std::vector<std::pair<std::string, std::string>>& packages,
                           bool withRar)
    : updater(JoinPath(exeDir, platform::ProgramFileName("updater"))),
      database(JoinPath(exeDir, "norvexlib.fdb")),
      workDir(JoinPath(temp, "norvex22.nvx")),
      connection(database)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    fs::create_directories(InExeDir("Reports"));
    fs::create_directories(temp);
    SetTempDirectory(temp);
    CreateVersionDatabase(database);
    AddVersion(database, std::to_string(version), "2020-01-01");
    RunStatements(database, {"create table INFO_DOC (ID integer, KIND integer, NOTE_U blob)",
                             "insert into INFO_DOC (ID) values (200)"});
    WriteFile(InExeDir("nvlib.exe"), "program 120");
    if (withRar)
        fs::copy_file(BuiltProgram("tools/rar", "rar"), JoinPath(exeDir, platform::ProgramFileName("rar")));
    // The stand-in client library of the Windows tests lies beside them, as
    // fbclient.dll lies beside the updater in an installation.
    const std::string client = Below(BinaryDir(), "tests/fbclient.dll");
    if (platform::ProgramFileName("x") != "x" && fs::exists(client))
        fs::copy_file(client, InExeDir("fbclient.dll"));
    MakePackedUpdater(updater, packages);
}

std::string Installation::InExeDir(const std::string& relative) const { return Below(exeDir, relative); }

std::string Installation::InWorkDir(const std::string& relative) const { return Below(workDir, relative); }

std::string Installation::BackupLines(int version) const
{
    return "Резервна копія бази даних...[OK]\n" + dbupdate::BackupPathFor(database, version) + "\n";
}

void Installation::UseServer(const std::string& updaterServer, const std::string& testServer,
                             const std::string& sharedDatabase)
{
    if (!sharedDatabase.empty())
        database = sharedDatabase;
    WriteFile(InExeDir("cnfg.ini"), "[Common]\r\nTypeServer=1\r\nNameServer=" + updaterServer +
                                         "\r\nPathBaseIB=" + database + "\r\n");
    connection = testServer + ":" + database;
}

// Line breaks as "\n": standard output is a text stream, with CR LF on Windows.
static std::string Lines(std::string text)
{
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            lines += text[i];
    }
    return lines;
}

UnattendedResult RunProcess(const std::vector<std::string>& arguments, const std::string& directory)
{
    // Files of this run's own: under wine the last program's handles may
    // still hold the previous run's files a moment after it has ended, and
    // its output would be read again.
    static std::atomic<int> runs {0};
    const std::string run = std::to_string(++runs);
    const std::string outPath = JoinPath(directory, "stdout." + run);
    const std::string errPath = JoinPath(directory, "stderr." + run);
    UnattendedResult result;
    auto process = platform::ChildProcess::Start(arguments, directory, errPath, outPath);
    if (!process)
        return result;
    const platform::ExitStatus status = process->Wait();
    result.code = status.exited ? status.code : -1;
    if (fs::exists(outPath))
        result.out = Lines(ReadFile(outPath));
    if (fs::exists(errPath))
        result.err = Lines(ReadFile(errPath));
    return result;
}

UnattendedResult RunUnattended(const Installation& installation, const std::vector<std::string>& options)
{
    std::vector<std::string> arguments {installation.updater};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return RunProcess(arguments, installation.dir.Path());
}

}  // namespace testsupport
