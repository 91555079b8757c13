// `updater --rehearse` on real databases, embedded and through the server:
// the update runs on a copy, the report names what it did, and the database,
// the installation and the update's working directory stay as they are.
#include "app/Rehearsal.h"
#include "app/Unattended.h"

#include "dbupdate/UpdateLock.h"
#include "dbupdate/Uglobdb.h"
#include "package/WorkDir.h"
#include "platform/Paths.h"

#include "Engines.h"
#include "Installation.h"
#include "RarWriter.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

using testsupport::Installation;
using testsupport::ReadFile;
namespace fs = std::filesystem;

namespace {

// The files a rehearsal could leave beside the database.
std::vector<std::string> ScratchFiles(const Installation& installation)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(installation.exeDir)) {
        if (entry.path().filename().string().find(".rehearsal.") != std::string::npos)
            found.push_back(entry.path().string());
    }
    return found;
}

// The rehearsals' working directories in a temporary directory.
std::vector<std::string> RehearsalDirs(const std::string& temp)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(temp))
        if (entry.path().filename().string().rfind(package::kRehearsalWorkDirPrefix, 0) == 0)
            found.push_back(entry.path().string());
    return found;
}

void Rehearse(Installation& installation)
{
    testsupport::WriteFile(installation.InExeDir("Reports/a.fr3"), "report a 122");
    const std::string before = testsupport::DumpDatabase(installation.connection);

    const auto run = testsupport::RunUnattended(installation, {"--unattended", "--rehearse"});
    EXPECT_EQ(run.code, app::kExitFailures) << run.out << run.err;
    // Its run logs received failures: the working directory stays for them.
    const auto dirs = RehearsalDirs(installation.temp);
    ASSERT_EQ(dirs.size(), 1u);
    const std::string& rehearsalDir = dirs[0];
    const std::string log = platform::JoinPath(platform::JoinPath(rehearsalDir, "up"), "122.001.sql.log");
    // The blob file's failure goes to the last script's run log, as in the update.
    const std::string blobLog = platform::JoinPath(platform::JoinPath(rehearsalDir, "up"), "122.099.sql.log");
    for (const std::string& line : std::vector<std::string> {
             "Копія бази даних для репетиції...[OK]\n", "Rehearsal on a copy of " + installation.database + "\n",
          "122.001.sql: 3 statements executed, 1 failed, see " + log + "\n",
          "122.099.sql: 1 statement executed\n", "Blob files: 1 loaded, 1 failed\n",
          "NOWHERE.NOTE.ID 1.blo: failed, see " + blobLog + "\n",
          "nvlib.exe: would be replaced\n", "Reports/a.fr3: unchanged\n", "Reports/new.fr3: would be added\n",
          "Version reached on the copy: 122 (the highest package is 122)\n",
          "The copy of the database was dropped and its backup deleted\n"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n---\n" << run.out;
    EXPECT_EQ(run.err, log + ": 1 failed statement, 0 failed blob files\n" + blobLog +
                           ": 0 failed statements, 1 failed blob file\n");
    EXPECT_NE(ReadFile(log).find("insert into NOWHERE"), std::string::npos);
    EXPECT_NE(ReadFile(blobLog).find("update NOWHERE set NOTE"), std::string::npos);

    EXPECT_EQ(testsupport::DumpDatabase(installation.connection), before);
    EXPECT_EQ(installation.Version(), 121);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
    EXPECT_FALSE(fs::exists(installation.InExeDir("Reports/new.fr3")));
    EXPECT_FALSE(fs::exists(installation.InExeDir("121.bak")));
    EXPECT_FALSE(fs::exists(installation.workDir));
    EXPECT_EQ(ScratchFiles(installation), std::vector<std::string> {});
    EXPECT_FALSE(fs::exists(platform::JoinPath(rehearsalDir, "copy.fbk")));
}

}  // namespace

class RehearsalOnEachEngine : public testsupport::OnEachEngine {};
RUN_ON_EACH_ENGINE(RehearsalOnEachEngine);

TEST_P(RehearsalOnEachEngine, RunsTheUpdateOnACopyAndReportsIt)
{
    Installation installation(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
    UseEngine(installation);
    Rehearse(installation);
}

// Two rehearsals at once on one machine (two installations, one temporary
// directory): each has a working directory of its own, and each report is
// its own. The clean one's directory goes; the other's stays for its logs.
TEST(Rehearsal, TwoAtOnceKeepApart)
{
    Installation failing(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
    Installation clean(120, {{"121_RAR", testsupport::Package121()}});
    testsupport::SetTempDirectory(failing.temp);
    testsupport::UnattendedResult first, second;
    std::thread other([&] { second = testsupport::RunUnattended(clean, {"--unattended", "--rehearse"}); });
    first = testsupport::RunUnattended(failing, {"--unattended", "--rehearse"});
    other.join();
    EXPECT_EQ(first.code, app::kExitFailures) << first.out << first.err;
    EXPECT_EQ(second.code, app::kExitApplied) << second.out << second.err;
    EXPECT_NE(second.out.find("Version reached on the copy: 121 (the highest package is 121)\n"), std::string::npos)
        << second.out;
    // The memo names each one's working directory after its heading.
    const auto workDir = [](const std::string& out) {
        const std::string heading = "Створення тимчасового каталога\n";
        const auto at = out.find(heading);
        if (at == std::string::npos)
            return std::string();
        const auto start = at + heading.size();
        return out.substr(start, out.find('\n', start) - start);
    };
    EXPECT_NE(workDir(first.out), workDir(second.out));
    const auto dirs = RehearsalDirs(failing.temp);
    ASSERT_EQ(dirs, std::vector<std::string> {workDir(first.out)}) << first.out << second.out;
    const std::string log = platform::JoinPath(platform::JoinPath(dirs[0], "up"), "122.001.sql.log");
    EXPECT_NE(first.out.find("122.001.sql: 3 statements executed, 1 failed, see " + log + "\n"), std::string::npos)
        << first.out;
    EXPECT_NE(ReadFile(log).find("insert into NOWHERE"), std::string::npos);
}

// The rehearsal exits as the update would in each outcome of the checks (0
// for a database already current, 1 for a refusal), except that the main
// application does not refuse it, and as the update would when the packages
// do not reach the highest version.
TEST(Rehearsal, ExitsAsTheUpdateWouldInEveryCheckOutcome)
{
    struct Case {
        const char* name;
        int version;
        std::vector<std::pair<std::string, std::string>> packages;
        bool rar;
        bool running;
        bool lockHeld;
        int update;
        int rehearsal;
    };
    const auto p121 = testsupport::Package121();
    const auto p122 = testsupport::Package122();
    const std::vector<Case> cases {
        {"current", 122, {{"122_RAR", p122}}, true, false, false, app::kExitApplied, app::kExitApplied},
        {"too old", 119, {{"121_RAR", p121}}, true, false, false, app::kExitRefused, app::kExitRefused},
        {"no unpacker", 121, {{"122_RAR", p122}}, false, false, false, app::kExitRefused, app::kExitRefused},
        {"another updater holds the lock", 121, {{"122_RAR", p122}}, true, false, true, app::kExitRefused,
         app::kExitRefused},
        {"the main application runs", 121, {{"122_RAR", p122}}, true, true, false, app::kExitRefused,
         app::kExitFailures},
        {"short of the highest package", 121,
         {{"122_RAR", rarformat::WriteRar4({{"up", "", true}, {"up/122.001.sql", "UPDATE INFO_DOC SET KIND = 5;\r\n"}})}},
         true, false, false, app::kExitRefused, app::kExitRefused},
    };
    const std::string server = testsupport::TestServer();
    for (const Case& c : cases) {
        if (c.lockHeld && server.empty())
            continue;  // only a server lets two processes at the database
        for (const bool rehearse : {false, true}) {
            Installation installation(c.version, c.packages, c.rar);
            std::optional<dbupdate::CGlobDB> holder;
            std::optional<dbupdate::UpdateLock> lock;
            if (c.lockHeld) {
                installation.UseServer(server, server);
                holder.emplace("", installation.connection);
                lock.emplace(*holder);
                ASSERT_EQ(lock->Acquire(), dbupdate::UpdateLock::Outcome::Held);
            }
            std::optional<testsupport::RunningProgram> running;
            if (c.running)
                running.emplace(installation.dir.Path(), "nvlib.exe");
            const auto run = testsupport::RunUnattended(
                installation, rehearse ? std::vector<std::string> {"--unattended", "--rehearse"}
                                       : std::vector<std::string> {"--unattended"});
            EXPECT_EQ(run.code, rehearse ? c.rehearsal : c.update)
                << c.name << (rehearse ? " (rehearsal)" : "") << "\n" << run.out << run.err;
            EXPECT_EQ(installation.Version(), c.version) << c.name;
        }
    }
}

// Each package's part of the report counts its own blob files and names its
// own failed ones.
TEST(Rehearsal, EachPackageCountsItsOwnBlobFiles)
{
    const auto package = [](int number, const std::string& failing) {
        const std::string n = std::to_string(number);
        return rarformat::WriteRar4({{"up", "", true},
                                     {"up/" + n + ".099.sql", "INSERT INTO VERSIONS (DATA) VALUES (" + n + ");\r\n"},
                                     {"up/INFO_DOC.NOTE_U.ID 200.blo", "note " + n},
                                     {"up/" + failing, "lost"}});
    };
    Installation installation(121, {{"122_RAR", package(122, "NOWHERE.NOTE.ID 1.blo")},
                                    {"123_RAR", package(123, "NOWHERE.NOTE.ID 2.blo")}});
    const auto run = testsupport::RunUnattended(installation, {"--unattended", "--rehearse"});
    EXPECT_EQ(run.code, app::kExitFailures) << run.out << run.err;
    for (const char* part : {"  122.099.sql: 1 statement executed\n  Blob files: 1 loaded, 1 failed\n"
                             "  NOWHERE.NOTE.ID 1.blo: failed, see ",
                             "  123.099.sql: 1 statement executed\n  Blob files: 1 loaded, 1 failed\n"
                             "  NOWHERE.NOTE.ID 2.blo: failed, see "})
        EXPECT_NE(run.out.find(part), std::string::npos) << part << "\n---\n" << run.out;
    EXPECT_EQ(run.out.find("NOWHERE.NOTE.ID 1.blo"), run.out.rfind("NOWHERE.NOTE.ID 1.blo")) << run.out;
}
