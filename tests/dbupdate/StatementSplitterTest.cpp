#include "dbupdate/StatementSplitter.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using dbupdate::LineClass;

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

// A "--" comment ends with its line inside a statement of several lines: the
// literal the next line opens keeps a "SET" line in the statement, which the
// splitter drops outside literals; and a "--" inside a literal starts no
// comment.
TEST(StatementSplitter, ALineCommentEndsWithItsLine)
{
    struct Case {
        std::vector<std::string> lines;
        std::vector<std::string> statements;
    };
    const Case cases[] = {
        {{"INSERT INTO T (A) VALUES ( -- the note", "'first", "SET NAMES WIN1251", "last');"},
         {"INSERT INTO T (A) VALUES ( -- the note\n'first\nSET NAMES WIN1251\nlast')"}},
        {{"INSERT INTO T (A) VALUES ('-- no comment", "SET NAMES WIN1251", "');", "SELECT 1 FROM RDB$DATABASE;"},
         {"INSERT INTO T (A) VALUES ('-- no comment\nSET NAMES WIN1251\n')", "SELECT 1 FROM RDB$DATABASE"}},
        {{"UPDATE T SET A = 1 -- it's done", "SET NAMES WIN1251", "WHERE ID = 2;"},
         {"UPDATE T SET A = 1 -- it's done\nWHERE ID = 2"}},
    };
    for (const Case& c : cases) {
        dbupdate::StatementSplitter splitter;
        std::vector<std::string> statements;
        for (const std::string& line : c.lines) {
            std::string statement;
            if (splitter.Feed(line, statement) == dbupdate::StatementSplitter::Step::Statement)
                statements.push_back(statement);
        }
        EXPECT_EQ(statements, c.statements) << c.lines.front();
    }
}
