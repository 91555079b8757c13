// The record of a run: files kept once, files added, an unfinished run
// continued, and pruning to the newest two.
#include "package/RunRecord.h"

#include "platform/FileSystem.h"

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
        record.SetBackup("/db/norvexlib.121.fbk", 4096);
        EXPECT_FALSE(record.BeforeReplace("nvlib.exe"));
        WriteFile(installation.In("nvlib.exe"), "program 122");  // a later package replaces it again
        EXPECT_FALSE(record.BeforeReplace("nvlib.exe"));
        EXPECT_FALSE(record.BeforeReplace(report));
        WriteFile(installation.In(report), "report 122");
        EXPECT_FALSE(record.BeforeReplace(report));
    }
    EXPECT_EQ(ReadFile(installation.In("121.bak/nvlib.exe")), "program 121");
    EXPECT_FALSE(fs::exists(installation.In("121.bak/Reports/a.fr3")));

    // The run did not complete: a second run from 121 continues its record.
    const auto unfinished = package::UnfinishedRun(installation.dir.Path(), 121, "", "/db/norvexlib.fdb");
    ASSERT_TRUE(unfinished);
    EXPECT_EQ(unfinished->backup, "/db/norvexlib.121.fbk");
    EXPECT_EQ(unfinished->backupBytes, 4096u);
    EXPECT_EQ(unfinished->kept, std::vector<std::string> {"nvlib.exe"});
    EXPECT_EQ(unfinished->added, std::vector<std::string> {report});
    EXPECT_FALSE(package::UnfinishedRun(installation.dir.Path(), 121, "", "/other.fdb"));
    RunRecord again = RunRecord::Begin(installation.dir.Path(), 121, "", "/db/norvexlib.fdb");
    EXPECT_FALSE(again.BeforeReplace("nvlib.exe"));
    EXPECT_EQ(ReadFile(installation.In("121.bak/nvlib.exe")), "program 121");

    // A completed run's record is not continued: the next run from 121
    // starts anew.
    again.SetComplete();
    EXPECT_FALSE(package::UnfinishedRun(installation.dir.Path(), 121, "", "/db/norvexlib.fdb"));
    RunRecord fresh = RunRecord::Begin(installation.dir.Path(), 121, "", "/db/norvexlib.fdb");
    EXPECT_TRUE(fresh.Data().kept.empty());
    EXPECT_TRUE(fresh.Data().backup.empty());
    EXPECT_FALSE(fs::exists(installation.In("121.bak/nvlib.exe")));
}

TEST(RunRecord, ParsesWhatItWroteAndSkipsLinesItDoesNotKnow)
{
    const auto data = package::ParseRunRecord({"version 121", "server 10.0.0.7/3050", "database C:\\Db\\n v.fdb",
                                               "backup C:\\Db\\n v.121.fbk", "backup-bytes 77", "kept nvlib.exe",
                                               "added Reports\\new.fr3", "checked-by 9.9", "complete"});
    EXPECT_EQ(data.version, 121);
    EXPECT_EQ(data.server, "10.0.0.7/3050");
    EXPECT_EQ(data.database, "C:\\Db\\n v.fdb");
    EXPECT_EQ(data.backup, "C:\\Db\\n v.121.fbk");
    EXPECT_EQ(data.backupBytes, 77u);
    EXPECT_EQ(data.kept, std::vector<std::string> {"nvlib.exe"});
    EXPECT_EQ(data.added, std::vector<std::string> {"Reports\\new.fr3"});
    EXPECT_TRUE(data.complete);
}

TEST(RunRecord, PruningKeepsTheNewestTwoAndNothingElseGoes)
{
    InstallationDir installation;
    WriteFile(installation.In("nvlib.exe"), "program");
    for (int version : {118, 121, 123, 125}) {
        const std::string backup = installation.In("norvexlib." + std::to_string(version) + ".fbk");
        WriteFile(backup, "backup");
        // The oldest run's database was on a server of another machine.
        RunRecord record =
            RunRecord::Begin(installation.dir.Path(), version, version == 118 ? "10.0.0.7" : "", "/db.fdb");
        record.SetBackup(backup, 6);
        EXPECT_FALSE(record.BeforeReplace("nvlib.exe"));
        record.SetComplete();
    }
    WriteFile(installation.In("121.bak/notes.txt"), "the administrator's");
    WriteFile(installation.In("norvexlib.120.fbk"), "not a run's");

    const auto left = package::PruneRuns(installation.dir.Path(), 2);
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
