#include "dbupdate/Uglobdb.h"

#include "TestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <filesystem>

using dbupdate::CDBStatement;
using dbupdate::CGlobDB;
using dbupdate::DatabaseError;
using testsupport::ErrorOf;
using testsupport::TempDir;

namespace {


struct Database {
    TempDir dir;
    std::string path = dir / "norvexlib.fdb";
};

}  // namespace

TEST(FormEngineMessage, JoinsStatusLinesAndDropsOneFinalFullStop)
{
    EXPECT_EQ(dbupdate::FormEngineMessage({"a", "b."}), "a\r\nb");
    EXPECT_EQ(dbupdate::FormEngineMessage({"a\n", "b.."}), "a\nb.");
    EXPECT_EQ(dbupdate::FormEngineMessage({"only"}), "only");
    EXPECT_EQ(dbupdate::FormEngineMessage({}), "");
}

TEST(ScanParams, ReplacesPlaceholdersOutsideLiteralsAndComments)
{
    const auto parsed = dbupdate::ScanParams(
        "update T set A = :A, B = ':no', C = \"q\"\"x\" /* :no */ where D = :\"My D\" and E = ?e$1");
    EXPECT_EQ(parsed.text, "update T set A = ?, B = ':no', C = \"q\"\"x\" /* :no */ where D = ? and E = ?");
    EXPECT_EQ(parsed.names, (std::vector<std::string> {"A", "My D", "e$1"}));
}

TEST(ScanParams, ReportsTheThreeParseErrors)
{
    const std::string prefix = "SQL Parse Error:\r\n\r\n";
    EXPECT_EQ(ErrorOf([] { dbupdate::ScanParams("select 1 /* open"); }), prefix + "EOF in comment detected");
    EXPECT_EQ(ErrorOf([] { dbupdate::ScanParams("select 'open"); }), prefix + "EOF in string detected");
    EXPECT_EQ(ErrorOf([] { dbupdate::ScanParams("select : from x"); }), prefix + "Parameter name expected");
}

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
    const std::string message = ErrorOf([&] { connection.GetVersion(); });
    EXPECT_EQ(message.rfind("Dynamic SQL Error\r\n", 0), 0u) << message;
    EXPECT_NE(message.find("VERSIONS"), std::string::npos);
    EXPECT_EQ(message.find("SQLCODE"), std::string::npos);
    EXPECT_NE(message.back(), '.');

    testsupport::RunStatements(db.path, {"create table versions (version integer, create_date timestamp)",
                                         "insert into versions values (121, '2020-01-01')"});
    CGlobDB second("", db.path);
    EXPECT_EQ(ErrorOf([&] { second.GetVersion(); }), "Field \"data\" not found");
}

TEST(CDBStatement, GivesItsTextBackWithCrLf)
{
    Database db;
    testsupport::CreateDatabase(db.path);
    CGlobDB connection("", db.path);
    CDBStatement statement(connection);
    statement.SetSQL("a\nb\r\nc\rd");
    EXPECT_EQ(statement.SQL(), "a\r\nb\r\nc\r\nd\r\n");
    statement.SetSQL("");
    EXPECT_EQ(statement.SQL(), "");
}

TEST(CDBStatement, ExecutesProceduresAndKeepsColonsWithRecognitionOff)
{
    Database db;
    testsupport::CreateDatabase(db.path);
    CGlobDB connection("", db.path);
    CDBStatement statement(connection);
    statement.SetParamCheck(false);
    statement.SetSQL("create procedure P1 (A integer) returns (B integer) as\nbegin\n  B = :A * 2;\nend");
    statement.Execute();
    connection.Commit();
    connection.StartTransaction();
    statement.SetSQL("execute procedure P1 21");
    statement.Execute();
    EXPECT_FALSE(statement.Eof());
    EXPECT_EQ(statement.FieldAsInteger(" b "), 42);
    EXPECT_EQ(ErrorOf([&] { statement.FieldAsInteger("C"); }), "Field \"C\" not found");
}

TEST(CDBStatement, LoadParamFromFileStoresTheBytesAndAnEmptyFileAsAnEmptyBlob)
{
    Database db;
    testsupport::CreateDatabase(db.path);
    testsupport::RunStatements(db.path, {"create table INFO_DOC (ID integer, NOTE_U blob)",
                                         "insert into INFO_DOC (ID) values (1)", "insert into INFO_DOC (ID) values (2)"});
    std::string bytes;
    for (int i = 0; i < 200000; ++i)
        bytes += static_cast<char>(i * 7);
    testsupport::WriteFile(db.dir / "big.blo", bytes);
    testsupport::WriteFile(db.dir / "empty.blo", "");
    {
        CGlobDB connection("", db.path);
        for (const auto& [id, file] : {std::pair {1, "big.blo"}, std::pair {2, "empty.blo"}}) {
            CDBStatement statement(connection);
            statement.SetSQL("update INFO_DOC set NOTE_U = :NOTE_U where (ID=" + std::to_string(id) + ")");
            if (!connection.InTransaction())
                connection.StartTransaction();
            statement.LoadParamFromFile("note_u", db.dir / file);
            statement.Execute();
            connection.Commit();
        }
        CDBStatement statement(connection);
        statement.SetSQL("update INFO_DOC set NOTE_U = :NOTE_U");
        connection.StartTransaction();
        EXPECT_EQ(ErrorOf([&] { statement.LoadParamFromFile("OTHER", db.dir / "big.blo"); }),
                  "Field \"OTHER\" not found");
        EXPECT_EQ(ErrorOf([&] { statement.LoadParamFromFile("NOTE_U", db.dir / "none.blo"); }),
                  "Cannot open file \"" + (db.dir / "none.blo") + "\". " + testsupport::MissingFileMessage());
        connection.Rollback();
    }
    EXPECT_EQ(*testsupport::QueryBlob(db.path, "select NOTE_U from INFO_DOC where ID = 1"), bytes);
    const auto empty = testsupport::QueryBlob(db.path, "select NOTE_U from INFO_DOC where ID = 2");
    ASSERT_TRUE(empty) << "an empty file must not be stored as NULL";
    EXPECT_EQ(*empty, "");
    EXPECT_EQ(testsupport::QueryInteger(db.path, "select octet_length(NOTE_U) from INFO_DOC where ID = 2"), 0);
}

// Values bound by name reach the engine byte for byte (code page 1251 text,
// quotes, a name used twice), and every row of a result can be read.
TEST(CDBStatement, BindsValuesByNameAndReadsEveryRow)
{
    Database db;
    testsupport::CreateDatabase(db.path);
    testsupport::RunStatements(db.path, {"create table J (N integer, S varchar(40) character set none, C char(4))"});
    CGlobDB connection("", db.path);
    CDBStatement insert(connection);
    insert.SetSQL("insert into J (N, S, C) values (:N, :S, :S)");
    const std::string texts[] = {"\xCF\xF0\xE8\xE2\xB3\xF2 'q'", "ab"};
    for (int n = 0; n < 2; ++n) {
        insert.SetParamInteger("n", n + 1);
        insert.SetParamText("S", texts[n].substr(0, n == 0 ? 4 : 2));
        EXPECT_EQ(ErrorOf([&] { insert.SetParamText("none", ""); }), "Field \"none\" not found");
        insert.Execute();
    }
    insert.SetSQL("update J set S = :S where N = 1");
    insert.SetParamText("S", texts[0]);
    insert.Execute();
    CDBStatement query(connection);
    query.SetSQL("select N, S, C from J order by N");
    std::vector<std::string> rows;
    for (query.Execute(); !query.Eof(); query.Next())
        rows.push_back(std::to_string(query.FieldAsInteger("N")) + "|" + query.FieldAsText("S") + "|" +
                       query.FieldAsText("c"));
    EXPECT_EQ(rows, (std::vector<std::string> {"1|" + texts[0] + "|\xCF\xF0\xE8\xE2", "2|ab|ab"}));
    EXPECT_EQ(ErrorOf([&] { query.FieldAsText("N"); }), "Invalid data conversion");
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
