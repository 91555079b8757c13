#include "dbupdate/ScriptRunner.h"

#include "UnpackedPackage.h"

#include <clocale>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using dbupdate::LineClass;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const std::string kSeparator = "------------------------- error ------------------------------";

std::string Framed(const std::string& message) { return kSeparator + "\r\n" + message + "\r\n" + kSeparator + "\r\n\r\n"; }

// A package whose scripts work on a table T, a generator and a department.
struct Package : UnpackedPackage {
    Package()
        : UnpackedPackage({"create table T (ID integer, S varchar(200))", "create generator G1",
                           "create table department (dept_no integer, mngr_no integer)",
                           "insert into department values (1, 5)"}) {}
    void Script(const std::string& name, const std::string& text) { Write(name, text); }
    long long Count(const std::string& where = "") { return testsupport::QueryInteger(database, "select count(*) from T " + where); }
    std::string Log(const std::string& script) { return ReadFile(In(script + ".log")); }
};

}  // namespace

TEST(ClassifyLine, FollowsTheOrderOfTheLineClasses)
{
    struct Case {
        const char* line;
        char terminator;
        bool bufferEmpty;
        LineClass expected;
    };
    const Case cases[] = {
        {"SET TERM ^ ;", ';', true, LineClass::TerminatorDirective},
        {"set term ^ ;", ';', true, LineClass::TerminatorDirective},
        {"SET TERM ; ^", '^', false, LineClass::TerminatorDirective},
        {"SET SQL DIALECT 3;", ';', true, LineClass::SkippedDirective},
        {"SET NAMES WIN1251;", ';', false, LineClass::SkippedDirective},
        {"SET AUTODDL ON;", ';', false, LineClass::SkippedDirective},
        {"SET STATISTICS INDEX IX1;", ';', false, LineClass::SkippedDirective},
        {"SET GENERATOR G1 TO 10;", ';', true, LineClass::StatementLine},
        {"set generator G1 to 10;", ';', true, LineClass::StatementLine},
        {"", ';', false, LineClass::Empty},
        {";", ';', false, LineClass::TerminatorLine},
        {"^", '^', false, LineClass::TerminatorLine},
        {"^", ';', false, LineClass::StatementLine},
        {"END^", '^', false, LineClass::StatementLine},
        // A column assignment inside a statement is part of it...
        {"SET mngr_no = NULL", ';', false, LineClass::StatementLine},
        {"set MNGR_NO=NULL", ';', false, LineClass::StatementLine},
        {"SET \"Manager No\" = 1;", ';', false, LineClass::StatementLine},
        {"SET T.S = 'q'", ';', false, LineClass::StatementLine},
        {"SET \"T\".\"S\" = 1", ';', false, LineClass::StatementLine},
        {"set d . mngr_no=2", ';', false, LineClass::StatementLine},
        {"SET T. = 1", ';', false, LineClass::SkippedDirective},
        // ...but not at the start of a statement, and not for directives.
        {"SET mngr_no = NULL", ';', true, LineClass::SkippedDirective},
        {"SET TERM = ^", ';', false, LineClass::StatementLine},
        {"SETTINGS", ';', true, LineClass::StatementLine},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dbupdate::ClassifyLine(c.line, c.terminator, c.bufferEmpty), c.expected) << c.line;
}

TEST(ExtractTerminator, TakesTheCharacterAfterTerm)
{
    struct Case {
        const char* line;
        char expected;
    };
    const Case cases[] = {
        {"SET TERM ^ ;", '^'}, {"SET TERM ; ^", ';'}, {"set term !! ;", '!'}, {"SET  TERM   # ;", '#'},
        {"SET TERM\t^ ;", '\t'},  // only spaces are passed over
        {"SET TERM ^", ' '},      // no old terminator: the next-to-last character
    };
    for (const auto& c : cases)
        EXPECT_EQ(dbupdate::ExtractTerminator(c.line), c.expected) << c.line;
}

TEST(StatementBuffer, JoinsTrimmedLinesWithLf)
{
    std::string buffer;
    for (const char* line : {"CREATE PROCEDURE P1 AS", "", "BEGIN", "EXIT;"})
        dbupdate::AppendStatementLine(buffer, line);
    EXPECT_EQ(buffer, "CREATE PROCEDURE P1 AS\nBEGIN\nEXIT;");
}

// Whether a single-quoted literal is open at the end of a text, and whether
// a text holds only blanks and comments.
TEST(SqlLexState, KnowsTheEnginesQuotingRules)
{
    struct Case {
        const char* text;
        bool inLiteral;
    };
    const Case cases[] = {
        {"insert into T values ('first", true},
        {"insert into T values ('it''s", true},
        {"insert into T values ('it''s'", false},
        {"-- it's a comment", false},
        {"/* it's\nstill */ values ('x", true},
        {"/*/ it's", false},             // "/*/" opens a comment and leaves it open
        {"\"O'Brien\" = 'a", true},      // an apostrophe in a quoted identifier
        {"x -- '\n'", true},             // the comment ended with its line
        {"'a'/**/'", true},
    };
    for (const auto& c : cases) {
        dbupdate::SqlLexState lex;
        lex.Feed(c.text);
        EXPECT_EQ(lex.InLiteral(), c.inLiteral) << c.text;
    }
    EXPECT_TRUE(dbupdate::IsBlankOrComment(" -- the end\r\n/* nothing\nhere */\t\n"));
    EXPECT_TRUE(dbupdate::IsBlankOrComment("/* never closed"));
    EXPECT_FALSE(dbupdate::IsBlankOrComment("-- a comment\nselect 1"));
    EXPECT_FALSE(dbupdate::IsBlankOrComment("- 1"));
}

TEST(FormatRemaining, EstimatesFromTheBarsShare)
{
    const double second = 1.0 / 86400;
    EXPECT_EQ(dbupdate::FormatRemaining(10 * second, 100, 50, ':'), "00:00:10");
    EXPECT_EQ(dbupdate::FormatRemaining(10 * second, 100, 100, ':'), "00:00:00");
    EXPECT_EQ(dbupdate::FormatRemaining(3600 * second, 4, 1, '.'), "03.00.00");
    EXPECT_EQ(dbupdate::FormatRemaining(0, 0, 0, ':'), "00:00:00");
}

TEST(DoneName, ReplacesTheLastThreeCharacters)
{
    EXPECT_EQ(dbupdate::DoneName("/w/up/122.001.sql", "~sql"), "/w/up/122.001.~sql");
    EXPECT_EQ(dbupdate::DoneName("/w/up/122.001.SQL", "~sql"), "/w/up/122.001.~sql");
    EXPECT_EQ(dbupdate::DoneName("/w/up/INFO_DOC.NOTE_U.ID 200.blo", "~blo"), "/w/up/INFO_DOC.NOTE_U.ID 200.~blo");
}

TEST(WriteRunLog, WritesPlainAndFramedEntriesByteExactly)
{
    TempDir dir;
    dbupdate::WriteRunLog(dir / "x.log", false, "insert\r\n");
    dbupdate::WriteRunLog(dir / "x.log", true, "line 1\r\nline 2");
    EXPECT_EQ(ReadFile(dir / "x.log"), "insert\r\n" + Framed("line 1\r\nline 2"));
    EXPECT_EQ(kSeparator.size(), 62u);
    dbupdate::WriteRunLog("", true, "nowhere");  // no run log yet: nothing, no error
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
TEST(UpdateJournal, WithoutItTheRunGoesOnAsDesigned)
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
