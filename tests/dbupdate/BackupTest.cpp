// Backups and restores through the embedded engine's service manager, on
// real databases, and the names of their files.
#include "dbupdate/Backup.h"

#include "dbupdate/DatabaseError.h"
#include "dbupdate/Uglobdb.h"
#include "platform/FileSystem.h"

#include "TestSupport.h"

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
}

namespace {

long long Rows(const std::string& path) { return testsupport::QueryInteger(path, "SELECT COUNT(*) FROM T"); }

}  // namespace

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
