#include "dbupdate/CDBStatement.h"

#include "dbupdate/Uglobdb.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using dbupdate::CDBStatement;
using dbupdate::CGlobDB;
using testsupport::ErrorOf;

using Database = testsupport::DatabaseFile;

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
    EXPECT_EQ(testsupport::QueryBlob(db.path, "select NOTE_U from INFO_DOC where ID = 1"), bytes);
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
