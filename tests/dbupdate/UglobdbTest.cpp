#include "dbupdate/CDBStatement.h"
#include "dbupdate/Uglobdb.h"

#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using dbupdate::CDBStatement;
using dbupdate::CGlobDB;
using dbupdate::DatabaseError;
using testsupport::ErrorOf;
using testsupport::TempDir;

using Database = testsupport::DatabaseFile;

TEST(CGlobDB, ConnectsWithTheDefaultAccountAndStartsTheTransaction)
{
    Database db;
    testsupport::CreateVersionDatabase(db.path);
    CGlobDB connection("", "", db.dir.Path());
    EXPECT_FALSE(connection.Attached());
    connection.Connect("", "", "", "secret");  // blank path: the database beside the updater
    EXPECT_TRUE(connection.Attached());
    EXPECT_TRUE(connection.InTransaction());
    EXPECT_EQ(connection.ConnectionString(), db.path);
    EXPECT_EQ(connection.Params(), (std::vector<std::string> {"user_name=sysdba", "password=pinewharf"}));
    EXPECT_EQ(connection.Dialect(), 3);

    connection.Connect("", db.path, "SYSDBA", "");
    EXPECT_EQ(connection.Params(), (std::vector<std::string> {"user_name=SYSDBA", "password="}));
}

TEST(CGlobDB, AFailedConnectLeavesItNotAttached)
{
    TempDir dir;
    CGlobDB connection("", "");
    const std::string message = ErrorOf([&] { connection.Connect("", dir / "missing.fdb", "", ""); });
    EXPECT_NE(message.find("missing.fdb"), std::string::npos) << message;
    EXPECT_EQ(message.find("SQLCODE"), std::string::npos);
    EXPECT_FALSE(connection.Attached());
    EXPECT_FALSE(connection.InTransaction());
}

TEST(CGlobDB, UsesTheDialectOfAnOlderDatabase)
{
    Database db;
    testsupport::CreateDatabase(db.path, 1);
    CGlobDB connection("", db.path);
    EXPECT_EQ(connection.Dialect(), 1);
}

TEST(CGlobDB, TransactionCycleErrors)
{
    Database db;
    testsupport::CreateVersionDatabase(db.path);
    CGlobDB idle("", "");
    EXPECT_EQ(ErrorOf([&] { idle.StartTransaction(); }), "Cannot perform operation -- DB is not open");
    EXPECT_EQ(ErrorOf([&] { idle.Commit(); }), "Transaction is not active");
    EXPECT_EQ(ErrorOf([&] { idle.Rollback(); }), "Transaction is not active");

    CGlobDB connection("", db.path);
    EXPECT_EQ(ErrorOf([&] { connection.StartTransaction(); }), "Transaction is active");
    connection.Commit();
    EXPECT_FALSE(connection.InTransaction());
    EXPECT_EQ(ErrorOf([&] { connection.Commit(); }), "Transaction is not active");
    CDBStatement statement(connection);
    statement.SetSQL("insert into versions (data) values (1)");
    EXPECT_EQ(ErrorOf([&] { statement.Execute(); }), "Transaction is not active");
    connection.StartTransaction();
    statement.SetSQL("  \r\n ");
    EXPECT_EQ(ErrorOf([&] { statement.Execute(); }), "Empty query");
    connection.Rollback();
    EXPECT_FALSE(connection.InTransaction());
}

TEST(CGlobDB, GetVersionReadsTheNewestRow)
{
    struct Case {
        const char* type;
        std::vector<std::pair<const char*, const char*>> rows;  // data literal, create_date
        const char* expected;  // a number, or the error message
    };
    const std::vector<Case> cases = {
        {"INTEGER", {}, "0"},
        {"INTEGER", {{"121", "2020-01-01"}, {"122", "2021-01-01"}}, "122"},
        {"INTEGER", {{"121", "2020-01-01"}, {"NULL", "2021-01-01"}}, "0"},
        {"VARCHAR(10)", {{"'15'", "2020-01-01"}}, "15"},
        {"VARCHAR(10)", {{"'15a'", "2020-01-01"}}, "Invalid data conversion"},
        {"CHAR(6)", {{"'-15'", "2020-01-01"}}, "-15"},
        {"NUMERIC(9,2)", {{"12.34", "2020-01-01"}}, "12"},
        {"NUMERIC(18,3)", {{"-12.999", "2020-01-01"}}, "-12"},
        {"SMALLINT", {{"7", "2020-01-01"}}, "7"},
        {"DOUBLE PRECISION", {{"7.9", "2020-01-01"}}, "7"},
        {"BOOLEAN", {{"TRUE", "2020-01-01"}}, "1"},
        {"DATE", {{"'2020-01-01'", "2020-01-01"}}, "Invalid data conversion"},
    };
    for (const auto& c : cases) {
        Database db;
        testsupport::CreateVersionDatabase(db.path, c.type);
        for (const auto& [data, date] : c.rows)
            testsupport::AddVersion(db.path, data, date);
        CGlobDB connection("", db.path);
        std::string result;
        try {
            result = std::to_string(connection.GetVersion());
        } catch (const DatabaseError& error) {
            result = error.what();
        }
        EXPECT_EQ(result, c.expected) << c.type;
        EXPECT_TRUE(connection.InTransaction()) << "GetVersion must not end the transaction";
    }
}

TEST(CGlobDB, GetVersionFailsWithoutTheTableOrTheColumn)
{
    Database db;
    testsupport::CreateDatabase(db.path);
    CGlobDB connection("", db.path);
    std::string message;
    try {
        connection.GetVersion();
    } catch (const DatabaseError& error) {
        message = error.what();
        // The failed client call is named beside the engine's text, not in it.
        EXPECT_EQ(error.Operation(), "CDBStatement::Prepare");
        EXPECT_EQ(error.SqlCode(), -204);
    }
    EXPECT_EQ(message.rfind("Dynamic SQL Error\r\n", 0), 0u) << message;
    EXPECT_NE(message.find("VERSIONS"), std::string::npos);
    EXPECT_EQ(message.find("SQLCODE"), std::string::npos);
    EXPECT_NE(message.back(), '.');

    testsupport::RunStatements(db.path, {"create table versions (version integer, create_date timestamp)",
                                         "insert into versions values (121, '2020-01-01')"});
    CGlobDB second("", db.path);
    EXPECT_EQ(ErrorOf([&] { second.GetVersion(); }), "Field \"data\" not found");
}

// Connects through a Firebird server as server + ":" + path with the default
// account; scripts/test starts a server of its own and names it in
// UPDATER_FIREBIRD_SERVER.
TEST(CGlobDB, ConnectsThroughTheServer)
{
    const std::string server = testsupport::TestServer();
    if (server.empty())
        GTEST_SKIP() << "no Firebird server (UPDATER_FIREBIRD_SERVER=host/port names one)";
    Database db;
    testsupport::CreateVersionDatabase(db.path);
    testsupport::AddVersion(db.path, "121", "2020-01-01");
    std::filesystem::permissions(db.path, std::filesystem::perms::all);
    CGlobDB connection("", "");
    connection.Connect(" " + server + " ", db.path, "", "");
    EXPECT_EQ(connection.ConnectionString(), server + ":" + db.path);
    EXPECT_EQ(connection.GetVersion(), 121);
}
