// The record of a run: files kept once, files added, an unfinished run
// continued, and pruning to the newest two.
#include "package/PutBack.h"
#include "package/RunRecord.h"

#include "dbupdate/BackupNames.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include "RecordingView.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using package::RunRecord;
using testsupport::ReadFile;
using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace {

struct InstallationDir {
    testsupport::TempDir dir;
    std::string In(const std::string& relative) const { return (fs::path(dir.Path()) / relative).string(); }
};

}  // namespace

TEST(RunRecord, KeepsEachReplacedFileOnceAndRecordsTheAddedOnes)
{
    InstallationDir installation;
    fs::create_directories(installation.In("Reports"));
    WriteFile(installation.In("nvlib.exe"), "program 121");
    const std::string report = (fs::path("Reports") / "a.fr3").string();
    {
        RunRecord record = RunRecord::Begin(installation.dir.Path(), 121, "", "/db/norvexlib.fdb");
        record.SetBackup("/db/norvexlib.121.fbk", 4096, std::string(64, 'a'));
        EXPECT_NO_THROW(record.BeforeReplace("nvlib.exe"));
        WriteFile(installation.In("nvlib.exe"), "program 122");  // a later package replaces it again
        EXPECT_NO_THROW(record.BeforeReplace("nvlib.exe"));
        EXPECT_NO_THROW(record.BeforeReplace(report));
        WriteFile(installation.In(report), "report 122");
        EXPECT_NO_THROW(record.BeforeReplace(report));
    }
    EXPECT_EQ(ReadFile(installation.In("121.bak/nvlib.exe")), "program 121");
    EXPECT_FALSE(fs::exists(installation.In("121.bak/Reports/a.fr3")));

    // The run did not complete: a second run from 121 continues its record.
    const auto unfinished = package::UnfinishedRun(installation.dir.Path(), 121, "", "/db/norvexlib.fdb");
    ASSERT_TRUE(unfinished);
    EXPECT_EQ(unfinished->backup, "/db/norvexlib.121.fbk");
    EXPECT_EQ(unfinished->backupBytes, 4096u);
    EXPECT_EQ(unfinished->backupSha256, std::string(64, 'a'));
    EXPECT_EQ(unfinished->kept, std::vector<std::string> {"nvlib.exe"});
    EXPECT_EQ(unfinished->added, std::vector<std::string> {report});
    EXPECT_FALSE(package::UnfinishedRun(installation.dir.Path(), 121, "", "/other.fdb"));
    EXPECT_FALSE(package::UnfinishedRun(installation.dir.Path(), 121, "10.0.0.7/3050", "/db/norvexlib.fdb"));
    // Nor does a run of the other kind continue it: a catch-up of program
    // files takes no database run's record, and no backup.
    EXPECT_FALSE(package::UnfinishedRun(installation.dir.Path(), 121, "", "/db/norvexlib.fdb", true));
    RunRecord again = RunRecord::Begin(installation.dir.Path(), 121, "", "/db/norvexlib.fdb");
    EXPECT_NO_THROW(again.BeforeReplace("nvlib.exe"));
    EXPECT_EQ(ReadFile(installation.In("121.bak/nvlib.exe")), "program 121");

    // A completed run's record is not continued: the next run from 121
    // starts anew.
    again.SetComplete();
    EXPECT_FALSE(package::UnfinishedRun(installation.dir.Path(), 121, "", "/db/norvexlib.fdb"));
    RunRecord fresh = RunRecord::Begin(installation.dir.Path(), 121, "", "/db/norvexlib.fdb");
    EXPECT_TRUE(fresh.Data().kept.empty());
    EXPECT_TRUE(fresh.Data().backup.empty());
    EXPECT_FALSE(fs::exists(installation.In("121.bak/nvlib.exe")));

    // A files-only run says so in its record.
    const RunRecord filesOnly = RunRecord::Begin(installation.dir.Path(), 121, "", "/db/norvexlib.fdb", true);
    EXPECT_TRUE(package::ParseRunRecord(ReadFile(installation.In("121.bak/updater-run.txt"))).filesOnly);
    EXPECT_TRUE(package::UnfinishedRun(installation.dir.Path(), 121, "", "/db/norvexlib.fdb", true));
    EXPECT_FALSE(package::UnfinishedRun(installation.dir.Path(), 121, "", "/db/norvexlib.fdb"));
}

TEST(RunRecord, ParsesWhatItWroteAndSkipsLinesItDoesNotKnow)
{
    const std::string report = std::string("Reports") + platform::kPathSeparator + "new.fr3";
    const std::string text = "version 121\nserver 10.0.0.7/3050\ndatabase C:\\Db\\n v.fdb\n"
                             "backup C:\\Db\\n v.121.fbk\nbackup-bytes 77\nkept nvlib.exe\n"
                             "added " + report + "\nchecked-by 9.9\ncomplete\n";
    // A record saved again by an editor of Windows ends its lines in CR LF.
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& record : {text, crlf}) {
        const auto data = package::ParseRunRecord(record);
        EXPECT_EQ(data.version, 121);
        EXPECT_EQ(data.server, "10.0.0.7/3050");
        EXPECT_EQ(data.database, "C:\\Db\\n v.fdb");
        EXPECT_EQ(data.backup, "C:\\Db\\n v.121.fbk");
        EXPECT_EQ(data.backupBytes, 77u);
        EXPECT_EQ(data.kept, std::vector<std::string> {"nvlib.exe"});
        EXPECT_EQ(data.added, std::vector<std::string> {report});
        EXPECT_TRUE(data.complete);
        EXPECT_EQ(data.problem, "");
    }
}

TEST(RunRecord, PruningKeepsTheNewestTwoAndNothingElseGoes)
{
    InstallationDir installation;
    WriteFile(installation.In("nvlib.exe"), "program");
    const std::string database = installation.In("norvexlib.fdb");
    for (int version : {118, 121, 123, 125}) {
        const std::string backup = dbupdate::BackupPathFor(database, version);
        WriteFile(backup, "backup");
        // The oldest run's database was on a server of another machine.
        RunRecord record =
            RunRecord::Begin(installation.dir.Path(), version, version == 118 ? "10.0.0.7" : "", database);
        record.SetBackup(backup, 6, {});
        EXPECT_NO_THROW(record.BeforeReplace("nvlib.exe"));
        record.SetComplete();
    }
    WriteFile(installation.In("121.bak/notes.txt"), "the administrator's");
    WriteFile(installation.In("norvexlib.120.fbk"), "not a run's");

    const auto left = package::PruneRuns(installation.dir.Path(), 2, dbupdate::BackupPathFor);
    EXPECT_EQ(left, std::vector<std::string> {installation.In("norvexlib.118.fbk")});
    std::vector<int> versions;
    for (const auto& record : package::ListRunRecords(installation.dir.Path()))
        versions.push_back(record.version);
    EXPECT_EQ(versions, (std::vector<int> {123, 125}));
    EXPECT_TRUE(fs::exists(installation.In("norvexlib.118.fbk")));
    EXPECT_FALSE(fs::exists(installation.In("norvexlib.121.fbk")));
    EXPECT_FALSE(fs::exists(installation.In("118.bak")));
    EXPECT_FALSE(fs::exists(installation.In("121.bak/nvlib.exe")));
    EXPECT_TRUE(fs::exists(installation.In("121.bak/notes.txt")));
    EXPECT_TRUE(fs::exists(installation.In("norvexlib.120.fbk")));
    EXPECT_TRUE(fs::exists(installation.In("123.bak/nvlib.exe")));
    EXPECT_TRUE(fs::exists(installation.In("norvexlib.125.fbk")));
}

// Records planted or edited in a folder every user may write: nothing they
// name outside the installation is read, replaced or deleted, by the next
// run's beginning, by pruning or by putting files back, and a line cut by a
// crash is not taken.
TEST(RunRecord, APlantedRecordReachesNothingOutsideTheInstallation)
{
    testsupport::TempDir root;
    const fs::path top(root.Path());
    fs::create_directories(top / "installation" / "Reports");
    fs::create_directories(top / "installation" / "121.bak");
    const std::string exeDir = (top / "installation").string();
    const auto in = [&](const std::string& relative) { return (top / "installation" / relative).string(); };
    const std::string outside = (top / "outside.exe").string();
    WriteFile(outside, "not the installation's");
    WriteFile(in("nvlib.exe"), "program 122");
    WriteFile(in("outside.exe"), "planted copy");  // what "kept ../outside.exe" would copy out
    const std::string sep(1, platform::kPathSeparator);
    const std::string database = in("norvexlib.fdb");

    struct Case {
        std::string line;
        bool refused;
    };
    const std::vector<Case> cases {
        {"kept .." + sep + "outside.exe", true},
        {"added .." + sep + "outside.exe", true},
        {"kept " + outside, true},
        {"added Reports" + sep + ".." + sep + ".." + sep + "outside.exe", true},
        {"kept Reports" + sep + "a.fr3" + sep + "..", true},
        {"added nvlib.exe\nkept .." + sep + "outside.exe", true},
        {"added nvlib.exe", false},  // cut: no line feed
    };
    for (const Case& c : cases) {
        const std::string record = "version 121\nserver \ndatabase " + database + "\ncomplete\n" + c.line +
                                   (c.line == "added nvlib.exe" ? "" : "\n");
        WriteFile(in("121.bak/updater-run.txt"), record);
        const auto runs = package::ListRunRecords(exeDir);
        ASSERT_EQ(runs.size(), 1u) << c.line;
        const std::string problem = package::PutBackProblem(exeDir, runs[0]);
        if (c.refused) {
            EXPECT_NE(problem.find(in("121.bak") + sep + "updater-run.txt cannot be trusted: line "), std::string::npos)
                << c.line << ": " << problem;
        } else {
            EXPECT_EQ(problem, "") << c.line;
            EXPECT_TRUE(runs[0].added.empty()) << c.line;
        }
        testsupport::RecordingView view;
        EXPECT_EQ(package::PutBackProgramFiles(view, exeDir, runs[0]), c.refused ? 1 : 0) << c.line;
        // The next run from 121 begins anew, and pruning comes after two
        // newer runs.
        RunRecord::Begin(exeDir, 121, "", database).SetComplete();
        for (int version : {122, 123})
            RunRecord::Begin(exeDir, version, "", database).SetComplete();
        WriteFile(in("121.bak/updater-run.txt"), record + (c.refused ? "" : "\n") + "backup " + outside + "\n");
        static_cast<void>(package::PruneRuns(exeDir, 2, dbupdate::BackupPathFor));
        EXPECT_EQ(ReadFile(outside), "not the installation's") << c.line;
        EXPECT_EQ(ReadFile(in("nvlib.exe")), "program 122") << c.line;
        fs::remove_all(in("122.bak"));
        fs::remove_all(in("123.bak"));
    }
}

// The next run's beginning leaves the files of a record with a problem
// where they are, also those its good lines name.
TEST(RunRecord, TheFilesOfARecordWithAProblemAreLeftAlone)
{
    InstallationDir installation;
    const std::string sep(1, platform::kPathSeparator);
    fs::create_directories(installation.In("121.bak/Reports"));
    WriteFile(installation.In("121.bak/Reports/x.fr3"), "kept by an earlier run");
    WriteFile(installation.In("121.bak/updater-run.txt"),
              "version 121\nserver \ndatabase /db.fdb\nkept Reports" + sep + "x.fr3\nkept .." + sep + "x.exe\n");
    RunRecord::Begin(installation.dir.Path(), 121, "", "/db.fdb");
    EXPECT_EQ(ReadFile(installation.In("121.bak/Reports/x.fr3")), "kept by an earlier run");
}

TEST(RunRecord, TakesOnlyTheNamesTheUpdaterInstalls)
{
    const std::string sep(1, platform::kPathSeparator);
    for (const std::string& name : std::vector<std::string> {"nvlib.exe", "NVLIB.EXE", "my prog.Exe", "Reports" + sep + "Smeta.fr3",
                                    "Reports" + sep + "a b.FR3"})
        EXPECT_TRUE(package::IsRecordableName(name)) << name;
    for (const std::string& name :
         std::vector<std::string> {"", ".exe", "nvlib", "nvlib.exe.txt", "Smeta.fr3", "Reports" + sep + "nvlib.exe", "Reports" + sep + ".fr3",
          "reports" + sep + "a.fr3", "Reports" + sep + "x" + sep + "a.fr3", ".." + sep + "a.exe", "C:a.exe",
          "a/b.exe", "a\\b.exe", "sep" + sep, "a\nb.exe", "/abs.exe", "Reports" + sep + ".." + sep + "a.fr3"})
        EXPECT_FALSE(package::IsRecordableName(name)) << name;
}
