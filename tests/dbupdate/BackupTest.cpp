// Backups and restores through the embedded engine's service manager, on
// real databases, and the names of their files.
#include "dbupdate/Backup.h"
#include "dbupdate/BackupNames.h"
#include "dbupdate/DatabaseFile.h"
#include "dbupdate/ServiceReport.h"

#include "dbupdate/DatabaseError.h"
#include "dbupdate/ScratchCopy.h"
#include "dbupdate/Uglobdb.h"
#include "platform/FileSystem.h"

#include "Engines.h"
#include "TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace dbupdate;

TEST(Backup, FileNames)
{
    struct Case {
        const char* database;
        const char* backup;
    } cases[] = {
        {"/srv/norvex/norvexlib.fdb", "/srv/norvex/norvexlib.121.fbk"},
        {"C:\\Norvex\\norvexlib.FDB", "C:\\Norvex\\norvexlib.121.fbk"},
        {"/srv/no.dot/norvexlib", "/srv/no.dot/norvexlib.121.fbk"},
        {"D:norvex.v2.fdb", "D:norvex.v2.121.fbk"},
        {"norvex", "norvex.121.fbk"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BackupPathFor(c.database, 121), c.backup) << c.database;
    EXPECT_EQ(CheckDatabasePathFor("/srv/norvexlib.121.fbk"), "/srv/norvexlib.121.check.fdb");
    EXPECT_EQ(TableOfProgressLine("gbak:    writing data for table SMETA_ROWS\n"), "SMETA_ROWS");
    EXPECT_EQ(TableOfProgressLine("gbak:restoring data for table T "), "T");
    EXPECT_EQ(TableOfProgressLine("gbak:    writing table T"), "");

    // The leftover copies of a rehearsal are known by the name it gives them.
    const std::string database = "/srv/norvex/norvexlib.fdb";
    EXPECT_EQ(ScratchPathFor(database, "0badc0de"), "/srv/norvex/norvexlib.rehearsal.0badc0de.fdb");
    const struct {
        const char* name;
        bool scratch;
    } names[] = {
        {"norvexlib.rehearsal.0badc0de.fdb", true},  {"NORVEXLIB.rehearsal.0badc0de.fdb", true},
        {"norvexlib.rehearsal.0BADC0DE.fdb", false}, {"norvexlib.rehearsal.0badc0d.fdb", false},
        {"norvexlib.rehearsal.0badc0de0.fdb", false}, {"norvexlib.rehearsal.0badc0dg.fdb", false},
        {"norvexlib.rehearsal.0badc0de.fdb.x", false}, {"other.rehearsal.0badc0de.fdb", false},
        {"norvexlib.rehearsal.0badc0de.fbk", false},  {"norvexlib.fdb", false},
    };
    for (const auto& n : names)
        EXPECT_EQ(IsScratchName(n.name, database), n.scratch) << n.name;
}

namespace {

long long Rows(const std::string& path) { return testsupport::QueryInteger(path, "SELECT COUNT(*) FROM T"); }

}  // namespace

class BackupOnEachEngine : public testsupport::OnEachEngine {};
RUN_ON_EACH_ENGINE(BackupOnEachEngine);

TEST(Backup, RestoresInPlaceAndReportsTablesAsItGoes)
{
    testsupport::DatabaseFile db;
    testsupport::CreateDatabase(db.path);
    testsupport::RunStatements(db.path, {"CREATE TABLE T (ID INTEGER, S VARCHAR(40))", "CREATE VIEW V AS SELECT ID FROM T",
                                         "INSERT INTO T VALUES (1, 'one')", "INSERT INTO T VALUES (2, 'two')"});
    {
        CGlobDB connection("", db.path);
        EXPECT_EQ(CountDataTables(connection), 1);
    }
    const std::string backup = BackupPathFor(db.path, 121);
    std::vector<std::string> tables;
    const std::uint64_t bytes = BackupDatabase("", db.path, backup, [&](const std::string& line) {
        if (const std::string table = TableOfProgressLine(line); !table.empty())
            tables.push_back(table);
    });
    EXPECT_EQ(tables, std::vector<std::string> {"T"});
    EXPECT_EQ(bytes, std::filesystem::file_size(backup));
    testsupport::RunStatements(db.path, {"INSERT INTO T VALUES (3, 'three')"});
    ASSERT_EQ(Rows(db.path), 3);

    RestoreDatabase("", backup, db.path, nullptr);
    EXPECT_EQ(Rows(db.path), 2);

    // A scratch restore proves a backup, and the engine drops it again.
    const std::string scratch = CheckDatabasePathFor(backup);
    RestoreDatabase("", backup, scratch, nullptr);
    EXPECT_EQ(Rows(scratch), 2);
    DropDatabase("", scratch);
    EXPECT_FALSE(platform::FileExists(scratch));

    // The shutdown before the restored database takes the place of this one
    // is refused while a client is attached, and nobody attaches after it.
    {
        CGlobDB other("", db.path);
        EXPECT_THROW(ShutDownDatabase("", db.path), DatabaseError);
    }
    ShutDownDatabase("", db.path);
    try {
        CGlobDB refused("", db.path);
        ADD_FAILURE() << "attached to a database that is shut down";
    } catch (const DatabaseError& error) {
        EXPECT_TRUE(IsUnusableDatabaseError(error)) << error.what();
    }
    BringDatabaseOnline("", db.path);
    EXPECT_EQ(Rows(db.path), 2);
}

TEST(Backup, FailuresCarryTheEnginesMessage)
{
    testsupport::DatabaseFile db;
    testsupport::CreateDatabase(db.path);
    testsupport::RunStatements(db.path, {"CREATE TABLE T (ID INTEGER)", "INSERT INTO T VALUES (1)"});

    // A directory where the backup file should go cannot be written.
    const std::string blocked = db.dir / "blocked.fbk";
    ASSERT_FALSE(platform::CreateDirectory(blocked));
    try {
        BackupDatabase("", db.path, blocked, nullptr);
        FAIL() << "the backup succeeded";
    } catch (const DatabaseError& error) {
        EXPECT_NE(std::string(error.what()).find("blocked.fbk"), std::string::npos) << error.what();
    }

    // A backup that is not there leaves the database as it was.
    EXPECT_THROW(RestoreDatabase("", db.dir / "missing.fbk", db.path, nullptr), DatabaseError);
    EXPECT_EQ(Rows(db.path), 1);
}

// The rehearsal's copy: the backup travels to this machine and back, so no
// file is left where the engine runs; embedded and through the server.
TEST_P(BackupOnEachEngine, CopiesThroughThisMachineAndRefusesAnEarlyEnd)
{
    const std::string server = Server();
    testsupport::DatabaseFile db;
    testsupport::CreateDatabase(db.path);
    testsupport::RunStatements(db.path, {"CREATE TABLE T (ID INTEGER, S VARCHAR(200))"});
    // The server keeps the files it opens: the test reads through it too.
    const auto at = [&](const std::string& path) { return BuildConnectionString(server, path); };
    // Enough rows for many answers of the engine.
    testsupport::RunStatements(db.path, {"EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 20000) DO "
                                         "BEGIN INSERT INTO T VALUES (:I, LPAD('', 150, 'x')); I = I + 1; END END"});
    const std::string local = db.dir / "copy.fbk";
    std::vector<std::uint64_t> seen;
    const std::uint64_t bytes = BackupToLocalFile(server, db.path, local, [&](std::uint64_t n) { seen.push_back(n); });
    EXPECT_EQ(bytes, std::filesystem::file_size(local));
    EXPECT_GT(seen.size(), 2u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

    const std::string scratch = db.dir / "scratch.fdb";
    RestoreFromLocalFile(server, local, scratch, nullptr);
    EXPECT_EQ(Rows(at(scratch)), 20000);
    // A database already there is never replaced.
    EXPECT_THROW(RestoreFromLocalFile(server, local, scratch, nullptr), DatabaseError);
    EXPECT_EQ(Rows(at(scratch)), 20000);
    DropDatabase(server, scratch);

    std::filesystem::resize_file(local, bytes / 2);
    EXPECT_THROW(RestoreFromLocalFile(server, local, scratch, nullptr), DatabaseError);
    // The part restored before the early end is the caller's to drop.
    if (platform::FileExists(scratch))
        DropDatabase(server, scratch);
}

// The progress of a scratch copy counts the bytes that pass through this
// process. The embedded engine writes the backup itself (streaming it is
// several times slower), so only the restore's bytes pass; through a server
// the backup streams here first, and the count climbs twice.
TEST_P(BackupOnEachEngine, OnlyAServersBackupStreamsToThisMachine)
{
    const std::string server = Server();
    testsupport::DatabaseFile db;
    testsupport::CreateDatabase(db.path);
    testsupport::RunStatements(db.path, {"CREATE TABLE T (ID INTEGER)", "INSERT INTO T VALUES (1)"});
    ScratchCopy copy(server, db.path, db.dir / "copy.fbk");
    std::vector<std::uint64_t> seen;
    copy.Make([&](std::uint64_t bytes) { seen.push_back(bytes); });
    std::size_t climbs = 0;
    for (std::size_t i = 0; i < seen.size(); ++i)
        if (seen[i] > 0 && (i == 0 || seen[i - 1] == 0 || seen[i] < seen[i - 1]))
            ++climbs;
    EXPECT_EQ(climbs, server.empty() ? 1u : 2u);
    EXPECT_EQ(Rows(BuildConnectionString(server, copy.Path())), 1);
    EXPECT_EQ(copy.Remove(), "");
}
