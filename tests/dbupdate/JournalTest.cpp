#include "dbupdate/Journal.h"

#include "ScriptPackage.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// The package's journal rows: ordinal, skipped and failed count per row, in
// order ("a.sql 0 1/3/1" for a summary; "a.sql 2" for a statement row).
std::vector<std::string> JournalRows(const Package& package)
{
    std::vector<std::string> rows;
    dbupdate::CGlobDB db("", package.database);
    dbupdate::CDBStatement query(db);
    query.SetSQL("select SCRIPT_NAME, STATEMENT_NO, EXECUTED, SKIPPED, FAILED, "
                 "iif(STATEMENT_NO = 0 and STARTED_AT <= FINISHED_AT, 'T', 'F') as TIMES "
                 "from NVX$UPDATE_JOURNAL where PACKAGE_NO = 122 order by SCRIPT_NAME, STATEMENT_NO");
    for (query.Execute(); !query.Eof(); query.Next()) {
        std::string row = query.FieldAsText("SCRIPT_NAME") + " " + std::to_string(query.FieldAsInteger("STATEMENT_NO"));
        if (query.FieldAsInteger("STATEMENT_NO") == 0)
            row += " " + std::to_string(query.FieldAsInteger("EXECUTED")) + "/" +
                   std::to_string(query.FieldAsInteger("SKIPPED")) + "/" + std::to_string(query.FieldAsInteger("FAILED")) +
                   " " + query.FieldAsText("TIMES");
        rows.push_back(row);
    }
    return rows;
}

// The updater started again on the same database, as after a kill.
void Restart(Package& package)
{
    package.context.reset();
    package.db = std::make_unique<dbupdate::CGlobDB>("", package.database);
    package.context = std::make_unique<dbupdate::UpdateContext>(package.view, *package.db);
    package.context->journal.BeginPackage(122);
}

}  // namespace

// A failing statement, a counter and the script's own COMMIT: a rerun skips
// what the first run committed, retries (and logs again) the failed
// statement, runs a statement whose text changed, and once the version is
// reached the statement rows become one summary per script.
TEST(UpdateJournal, ARerunAppliesEveryStatementOnce)
{
    Package package;
    const std::string first = "insert into T (ID) values (1);\r\nupdate department set mngr_no = mngr_no + 1;\r\n"
                              "COMMIT;\r\ninsert into NOWHERE (ID) values (1);\r\n";
    package.Script("122.001.sql", first + "insert into T (ID) values (2);\r\n");
    package.Run();
    EXPECT_EQ(JournalRows(package),
              (std::vector<std::string> {"122.001.sql 1", "122.001.sql 2", "122.001.sql 3", "122.001.sql 5"}));

    Restart(package);
    package.Script("122.001.sql", first + "insert into T (ID) values (3);\r\n");
    package.Script("122.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (122);\r\n");
    package.Run();
    EXPECT_EQ(package.Count(), 3);
    EXPECT_EQ(package.Count("where ID = 1"), 1);
    EXPECT_EQ(testsupport::QueryInteger(package.database, "select mngr_no from department"), 6);
    const std::string log = package.Log("122.001.sql");
    EXPECT_TRUE(log.starts_with("insert into NOWHERE (ID) values (1)\r\n" + kSeparator)) << log;
    EXPECT_EQ(log.find(kSeparator, log.find(kSeparator) + 1) + kSeparator.size() + 4, log.size()) << "one entry";
    EXPECT_EQ(JournalRows(package), (std::vector<std::string> {"122.001.sql 0 1/3/1 T", "122.099.sql 0 1/0/0 T"}));
}

// A database that refuses the journal table (here a DDL trigger stands for
// missing rights) is updated as without a journal, and its first run log
// says so once.
TEST(UpdateJournal, WithoutItEveryStatementRunsAndTheLogSaysSoOnce)
{
    Package package;
    testsupport::RunStatements(package.database,
                               {"create exception NO_JOURNAL 'no rights for the journal'",
                                "create trigger NO_JOURNAL before create table as begin "
                                "if (rdb$get_context('DDL_TRIGGER', 'OBJECT_NAME') = 'NVX$UPDATE_JOURNAL') then "
                                "exception NO_JOURNAL; end"});
    for (int run = 0; run < 2; ++run) {
        Restart(package);
        package.Script("122.001.sql", "update department set mngr_no = mngr_no + 1;\r\n");
        package.Script("122.002.sql", "update department set mngr_no = mngr_no + 1;\r\n");
        package.Run();
    }
    EXPECT_EQ(testsupport::QueryInteger(package.database, "select mngr_no from department"), 9);
    const std::string log = package.Log("122.001.sql");
    EXPECT_TRUE(log.starts_with(kSeparator + "\r\nThe update journal NVX$UPDATE_JOURNAL cannot be used")) << log;
    EXPECT_NE(log.find("no rights for the journal"), std::string::npos) << log;
    EXPECT_EQ(log.find(kSeparator, log.find(kSeparator) + 1) + kSeparator.size() + 4, log.size()) << "one entry";
    EXPECT_FALSE(fs::exists(package.In("122.002.sql.log")));
    EXPECT_TRUE(package.context->failures.empty());
}
