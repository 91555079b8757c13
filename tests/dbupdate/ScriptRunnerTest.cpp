#include "dbupdate/ScriptRunner.h"

#include "dbupdate/DatabaseUpdate.h"

#include "ScriptPackage.h"

#include <clocale>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(FormatRemaining, EstimatesFromTheBarsShare)
{
    const double second = 1.0 / 86400;
    EXPECT_EQ(dbupdate::FormatRemaining(10 * second, 100, 50, ':'), "00:00:10");
    EXPECT_EQ(dbupdate::FormatRemaining(10 * second, 100, 100, ':'), "00:00:00");
    EXPECT_EQ(dbupdate::FormatRemaining(3600 * second, 4, 1, '.'), "03.00.00");
    EXPECT_EQ(dbupdate::FormatRemaining(0, 0, 0, ':'), "00:00:00");
}

TEST(UpdateDatabase, RunsTheWorkedExamples)
{
    Package package;
    package.Script("122.001.sql",
                   "SET TERM ^ ;\r\nCREATE PROCEDURE P1 AS\r\nBEGIN\r\n    EXIT;\r\nEND^\r\nSET TERM ; ^\r\n"
                   "insert into T (ID) values (1);\r\n");
    package.Script("122.099.sql", "delete from T;\r\n\r\nINSERT INTO VERSIONS (DATA) VALUES (122);\r\n");
    package.Run();
    EXPECT_EQ(testsupport::QueryInteger(package.database, "select max(data) from versions"), 122);
    EXPECT_EQ(package.Count(), 0);
    EXPECT_EQ(testsupport::QueryInteger(package.database,
                                        "select count(*) from rdb$procedures where rdb$procedure_name = 'P1'"),
              1);
    EXPECT_EQ(package.view.memo, (std::vector<std::string> {"122.001.sql", "122.099.sql"}));
    EXPECT_EQ(package.view.file.caption, "122.099.sql (2/2)");
    EXPECT_TRUE(fs::exists(package.In("122.001.~sql")));
    EXPECT_TRUE(fs::exists(package.In("122.099.~sql")));
    EXPECT_FALSE(fs::exists(package.In("122.001.sql")));
    EXPECT_FALSE(fs::exists(package.In("122.001.sql.log")));
    EXPECT_EQ(package.context->runLogPath, package.In("122.099.sql.log"));
    // 7 + 3 lines, and one more for each script: the bar ends at its maximum.
    EXPECT_EQ(package.view.bar.maximum, 10);
    EXPECT_EQ(package.view.bar.position, 10);
    EXPECT_EQ(package.view.updateTime.caption, "00:00:00");
    EXPECT_FALSE(package.view.updateTime.visible);
    EXPECT_FALSE(package.db->InTransaction());
}

TEST(UpdateDatabase, LogsAFailingStatementAndGoesOn)
{
    Package package;
    package.Script("122.001.sql", "insert into T (ID) values (1);\r\ninsert into NOWHERE (ID)\r\n  values (2);\r\n"
                                  "insert into T (ID) values (3);\r\n");
    WriteFile(package.In("122.001.sql.log"), "an old log");
    package.Run();
    EXPECT_EQ(package.Count(), 2);
    // The engine's own message for that statement, as the connection forms it.
    std::string message;
    try {
        dbupdate::CGlobDB db("", package.database);
        dbupdate::CDBStatement statement(db);
        statement.SetSQL("insert into NOWHERE (ID)\nvalues (2)");
        statement.Execute();
    } catch (const dbupdate::DatabaseError& error) {
        message = error.what();
    }
    ASSERT_NE(message.find("Table unknown\r\nNOWHERE"), std::string::npos) << message;
    const std::string log = package.Log("122.001.sql");
    EXPECT_EQ(log, "insert into NOWHERE (ID)\r\nvalues (2)\r\n" + Framed(message));
    EXPECT_EQ(log.find("an old log"), std::string::npos);
}

TEST(UpdateDatabase, HandlesTheSplittersEdgeCases)
{
    Package package;
    package.Script("a.sql",
                   // a terminator line runs what was collected, unchanged
                   "insert into T (ID) values (1)\r\n   ;   \r\n"
                   // a second one runs an empty statement: "Empty query"
                   ";\r\n"
                   // lower-case set term, and directives dropped inside a statement
                   "set term ^ ;\r\ninsert into T (ID, S)\r\nSET SQL DIALECT 3;\r\nSET NAMES WIN1251;\r\nvalues (2, 'x')^\r\n"
                   "set term ; ^\r\n"
                   // a generator assignment is a statement
                   "SET GENERATOR G1 TO 10;\r\n"
                   // a literal spanning lines loses its indentation
                   "insert into T (ID, S) values (3, 'first\r\n     second');\r\n"
                   // the UPDATE layout with its SET line on its own
                   "UPDATE department\r\nSET mngr_no = NULL\r\nWHERE dept_no = 1;\r\n"
                   // two statements on one line: sent as one, logged
                   "insert into T (ID) values (90); insert into T (ID) values (91);\r\n");
    package.Script("b.sql", "SET TERM !! ;\r\ninsert into T (ID) values (4)!!\r\n");
    package.Script("c.sql", "insert into T (ID) values (5);\r\nSET TERM ^ ;\r\n");
    package.Script("d.sql", "insert into T (ID) values (6);");  // no final line break
    package.Script("e.sql", "insert into T (ID) values (7);\r\ninsert into T (ID) values (8)\r\n");
    package.Run();

    EXPECT_EQ(package.Count("where ID in (1, 2, 3, 5, 6, 7)"), 6);
    EXPECT_EQ(testsupport::QueryInteger(package.database, "select gen_id(G1, 0) from rdb$database"), 10);
    // The statement's lines reach the engine joined with CR LF, the literal too.
    EXPECT_EQ(testsupport::QueryInteger(package.database, "select count(*) from T where S = 'first' || "
                                                          "ascii_char(13) || ascii_char(10) || 'second'"),
              1);
    EXPECT_EQ(testsupport::QueryInteger(package.database, "select mngr_no from department"), -1) << "NULL expected";
    EXPECT_EQ(package.Count("where ID in (4, 8, 90, 91)"), 0);

    const std::string aLog = package.Log("a.sql");
    EXPECT_EQ(aLog.substr(0, kSeparator.size() + 2 + 11 + 2 + kSeparator.size() + 4), Framed("Empty query"));
    EXPECT_NE(aLog.find("insert into T (ID) values (90); insert into T (ID) values (91)\r\n" + kSeparator),
              std::string::npos);
    // "!!" is not a terminator: "!" is, and the statement keeps one "!".
    EXPECT_EQ(package.Log("b.sql").rfind("insert into T (ID) values (4)!\r\n" + kSeparator, 0), 0u);
    // c.sql ended with "^": d.sql starts with ";" again.
    EXPECT_FALSE(fs::exists(package.In("d.sql.log")));
    EXPECT_EQ(package.Log("e.sql"),
              "insert into T (ID) values (8)\r\n" + Framed("Expected end of statement, encountered EOF"));
}

// Lines inside a multi-line literal stay in it, even when they begin with
// SET; qualified column assignments stay in their UPDATE; comments after the
// last statement are not reported as an unterminated statement.
TEST(UpdateDatabase, KeepsLiteralLinesAndQualifiedAssignments)
{
    Package package;
    package.Script("a.sql",
                   "insert into T (ID, S) values (1, 'Office\r\nSet up a field office\r\n"
                   "SET TERM ^ it''s\r\nSET NAMES');\r\n"
                   "-- it's a comment: the next SET is a directive\r\n"
                   "SET NAMES WIN1251;\r\n"
                   "insert into T (ID, S) values (2, 'x');\r\n"
                   "UPDATE T\r\nSET T.S = 'q'\r\nWHERE ID = 2;\r\n"
                   "UPDATE T\r\nSET \"T\".\"ID\" = 3\r\nWHERE ID = 2;\r\n"
                   "-- the end\r\n/* no more\r\nstatements */\r\n");
    package.Run();
    EXPECT_EQ(testsupport::QueryInteger(package.database,
                                        "select count(*) from T where ID = 1 and S = 'Office' || ascii_char(13) || "
                                        "ascii_char(10) || 'Set up a field office' || ascii_char(13) || "
                                        "ascii_char(10) || 'SET TERM ^ it''s' || ascii_char(13) || ascii_char(10) || "
                                        "'SET NAMES'"),
              1);
    EXPECT_EQ(package.Count("where ID = 3 and S = 'q'"), 1);
    EXPECT_FALSE(fs::exists(package.In("a.sql.log"))) << package.Log("a.sql");
}

TEST(UpdateDatabase, EmptyScriptsAndOldDoneFiles)
{
    Package package;
    package.Script("122.001.sql", "insert into T (ID) values (1);\r\n");
    package.Script("122.002.sql", "");
    WriteFile(package.In("122.002.sql.log"), "kept: the empty script touches no log");
    WriteFile(package.In("122.001.~sql"), "an old done script");
    package.Run();
    EXPECT_EQ(ReadFile(package.In("122.001.~sql")), "insert into T (ID) values (1);\r\n");
    EXPECT_TRUE(fs::exists(package.In("122.002.~sql")));
    EXPECT_TRUE(fs::exists(package.In("122.002.sql.log")));
    EXPECT_EQ(package.context->runLogPath, package.In("122.001.sql.log"));
    EXPECT_EQ(package.view.memo, (std::vector<std::string> {"122.001.sql", "122.002.sql"}));
}

TEST(UpdateDatabase, WithoutADatabaseEveryStatementIsLogged)
{
    Package package;
    dbupdate::CGlobDB detached("", "");
    dbupdate::UpdateContext context {package.view, detached, {}};
    package.Script("122.001.sql", "insert into T (ID) values (1);\r\ninsert into T (ID) values (2);\r\n");
    dbupdate::UpdateDatabase(context, package.dir / "work", nullptr, nullptr, nullptr);
    const std::string failure = Framed("Cannot perform operation -- DB is not open");
    EXPECT_EQ(package.Log("122.001.sql"), "insert into T (ID) values (1)\r\n" + failure +
                                              "insert into T (ID) values (2)\r\n" + failure);
    EXPECT_TRUE(fs::exists(package.In("122.001.~sql")));
    EXPECT_EQ(package.Count(), 0);
}

TEST(UpdateDatabase, AScriptThatCannotBeReadStopsThePackage)
{
    Package package;
    package.Script("122.001.sql", "insert into T (ID) values (1);\r\n");
    fs::create_directory(package.In("122.002.sql"));
    package.Script("122.003.sql", "insert into T (ID) values (3);\r\n");
    WriteFile(package.In("T.S.ID 1.blo"), "x");
    try {
        package.Run();
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        const std::string expected = "Cannot open file \"" + package.In("122.002.sql") + "\". ";
        EXPECT_EQ(std::string(error.what()).substr(0, expected.size()), expected);
    }
    EXPECT_EQ(package.Count(), 0) << "the line count reads every script before any runs";
    EXPECT_TRUE(fs::exists(package.In("122.001.sql")));
    EXPECT_TRUE(fs::exists(package.In("T.S.ID 1.blo")));
}
