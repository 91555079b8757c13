// updater-pack check: each finding on a small script or package, and the
// packages the tests apply give none.
#include "PackTool.h"
#include "PackageCheck.h"

#include "Installation.h"
#include "RarWriter.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace packtool;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Whether the findings are, in order, "LINE: error|warning: " followed by
// the expected beginnings of their messages.
bool Match(const std::vector<Finding>& findings, const std::vector<std::string>& expected)
{
    if (findings.size() != expected.size())
        return false;
    for (std::size_t i = 0; i < findings.size(); ++i) {
        const Finding& finding = findings[i];
        const std::string text =
            std::to_string(finding.line) + (finding.error ? ": error: " : ": warning: ") + finding.message;
        if (!text.starts_with(expected[i]))
            return false;
    }
    return true;
}

std::string Texts(const std::vector<Finding>& findings)
{
    std::string texts;
    for (const Finding& finding : findings)
        texts += FindingText(finding) + "\n";
    return texts;
}

}  // namespace

TEST(PackCheck, EachScriptFindingOnASmallScript)
{
    struct Case {
        const char* script;
        std::size_t statements;
        std::vector<std::string> findings;
    } cases[] = {
        {"CREATE TABLE T (ID INTEGER);\nINSERT INTO T VALUES (1);\n", 2, {}},
        {"SET TERM ^ ;\nCREATE PROCEDURE P AS\nBEGIN\n  EXIT;\nEND^\nSET TERM ; ^\n", 1, {}},
        {"SET TERM ^;\nEXECUTE BLOCK AS BEGIN END^\nSET TERM ;^\n", 1, {}},
        // The last statement never ends.
        {"INSERT INTO T VALUES (1);\nINSERT INTO T\nVALUES (2)\n", 1,
         {"2: error: a statement without its termi"}},
        // A comment ending in ";" cuts the statement being collected.
        {"INSERT INTO T\n-- the values;\nVALUES (1);\n", 2, {"2: error: a comment line ending in the terminator ';' ends"}},
        {"-- the table;\nCREATE TABLE T (ID INTEGER);\n", 2, {"1: error: a comment line ending in the terminator ';' is sent"}},
        // A comment after the terminator keeps the statement open.
        {"INSERT INTO T VALUES (1); -- one\nINSERT INTO T VALUES (2);\n", 1,
         {"1: error: the terminator ';' is followed b"}},
        {"INSERT INTO T VALUES ('--;');\n", 1, {}},
        {"SET TERM !! ;\nEXECUTE BLOCK AS BEGIN END!!\nSET TERM ; !\n", 1,
         {"1: error: a terminator of 2 characters ("}},
        // Without the old terminator the updater takes the blank before "^".
        {"SET TERM ^\nEXECUTE BLOCK AS BEGIN END^\n", 0,
         {"1: error: a malformed SET TERM", "2: error: a statement without its terminator ' '",
          "1: warning: the script ends with the terminator still ' '"}},
        {"SET TERM ^ ;\nEXECUTE BLOCK AS BEGIN END^\n", 1, {"1: warning: the script ends with the ter"}},
        {"INSERT INTO T VALUES (1);\n;\n", 2, {"2: error: an empty statement: nothing bu"}},
    };
    for (const Case& c : cases) {
        const ScriptCheck check = CheckScript("s.sql", Lines(c.script));
        EXPECT_EQ(check.statements.size(), c.statements) << c.script;
        EXPECT_TRUE(Match(check.findings, c.findings)) << c.script << "---\n" << Texts(check.findings);
    }
}

TEST(PackCheck, NamesNumbersAndVersions)
{
    EXPECT_TRUE(InsertsVersion("INSERT INTO VERSIONS (DATA) VALUES (122)", 122));
    EXPECT_TRUE(InsertsVersion("insert into versions\nvalues ( 122 , current_timestamp)", 122));
    EXPECT_FALSE(InsertsVersion("INSERT INTO VERSIONS (DATA) VALUES (121)", 122));
    EXPECT_FALSE(InsertsVersion("INSERT INTO VERSIONSREGION VALUES (122)", 122));
    // The DATA column is found in the column list, wherever it stands.
    EXPECT_TRUE(InsertsVersion("INSERT INTO VERSIONS (CREATE_DATE, DATA) VALUES ('NOW', 122)", 122));
    EXPECT_TRUE(InsertsVersion("insert into \"VERSIONS\" (create_date, \"DATA\") values (cast('NOW' as date), 122)", 122));
    EXPECT_FALSE(InsertsVersion("INSERT INTO VERSIONS (DATA, CREATE_DATE) VALUES (121, 122)", 122));
    EXPECT_FALSE(InsertsVersion("INSERT INTO VERSIONS (CREATE_DATE) VALUES (122)", 122));
    EXPECT_FALSE(InsertsVersion("INSERT INTO VERSIONS (DATA) VALUES (122 + 1)", 122));
    EXPECT_FALSE(InsertsVersion("-- INSERT INTO VERSIONS (DATA) VALUES (122)\nSELECT 1 FROM RDB$DATABASE", 122));
    EXPECT_TRUE(InsertsVersion("EXECUTE BLOCK AS BEGIN INSERT INTO T VALUES (1); /* v */ "
                               "INSERT INTO VERSIONS VALUES (122, 'NOW'); END",
                               122));
    // Long statements of any shape are read in one pass, without recursion
    // (a regular expression overflowed the stack on the first and took
    // seconds on the second).
    EXPECT_FALSE(InsertsVersion("INSERT INTO VERSIONS (" + std::string(1 << 20, 'A') + ");", 122));
    std::string repeated;
    while (repeated.size() < (1u << 20))
        repeated += "INSERT INTO VERSIONS (";
    EXPECT_FALSE(InsertsVersion(repeated, 122));
    EXPECT_TRUE(InsertsVersion(repeated + "DATA) VALUES (122)", 122));

    EXPECT_EQ(BlobNameProblem("INFO_DOC.NOTE_U.ID 200.blo"), "");
    EXPECT_EQ(BlobNameProblem("DOCS.BODY.CODE 'A1'.KIND 1.BLO"), "");
    EXPECT_NE(BlobNameProblem("NOTE.blo"), "");
    EXPECT_NE(BlobNameProblem("INFO_DOC.NOTE-U.ID 200.blo"), "");
    EXPECT_NE(BlobNameProblem("INFO_DOC.NOTE_U.blo"), "");
    EXPECT_NE(BlobNameProblem("INFO_DOC.NOTE_U.ID200.blo"), "");

    EXPECT_TRUE(NumericallyBefore("122.9.sql", "122.10.sql"));
    EXPECT_FALSE(NumericallyBefore("122.010.sql", "122.9.sql"));
    EXPECT_TRUE(NumericallyBefore("122.001.sql", "122.099.sql"));

    std::vector<std::string> brief;
    for (const Finding& finding : CheckNumbers("u", {"122_RAR", "125_RAR", "122_new_RAR", "x_RAR"}))
        brief.push_back(finding.message.substr(0, 24));
    EXPECT_EQ(brief, (std::vector<std::string> {"the package name x_RAR d", "package 122 is given 2 t",
                                                "no package 123 to 124 be"}));
}

TEST(PackCheck, PackageFindingsAndTheRefusalToPack)
{
    testsupport::TempDir dir;
    const std::string archive = dir / "122.rar";
    testsupport::WriteFile(archive, rarformat::WriteRar4({{"up", "", true},
                                                          {"up/122.9.sql", "INSERT INTO T VALUES (1);\r\n"},
                                                          {"up/122.10.sql", "INSERT INTO T VALUES (2);\r\n"},
                                                          {"up/T.NOTE.ID.blo", "x"},
                                                          {"readme.txt", "notes"}}));
    std::ostringstream out;
    std::vector<package::PackageSource> packages {{"122_RAR", archive}};
    EXPECT_FALSE(CheckPackages(packages, out));
    const std::string report = out.str();
    for (const std::string& line :
         {"122_RAR (" + archive + ")\n  122.10.sql: 1 statement\n  122.9.sql: 1 statement\n",
          archive + "/up/122.10.sql: error: runs before 122.9.sql",
          archive + ": error: no script inserts 122 into VERSIONS",
          archive + "/up/T.NOTE.ID.blo: error: the blob file name has the key condition \"ID\", which is not KEY VALUE",
          archive + "/readme.txt: warning: the updater neither runs",
          std::string("updater-pack: 3 errors, 1 warning\n")})
        EXPECT_NE(report.find(line), std::string::npos) << line << "\n---\n" << report;

    // add refuses such packages unless forced.
    const std::string updater = testsupport::BuiltProgram("src/app", "updater");
    std::ostringstream addOut, err;
    EXPECT_EQ(packtool::Run({"add", updater, dir / "out", archive}, addOut, err), kFailed);
    EXPECT_NE(err.str().find("nothing written"), std::string::npos) << err.str();
    EXPECT_FALSE(std::filesystem::exists(dir / "out"));
    EXPECT_EQ(packtool::Run({"add", "--force", updater, dir / "out", archive}, addOut, err), kOk) << err.str();

    // The packages an updater carries are checked the same way.
    std::ostringstream carried;
    EXPECT_FALSE(CheckUpdater(dir / "out", carried));
    EXPECT_NE(carried.str().find(dir / "out/122_RAR: error: no script inserts 122"), std::string::npos)
        << carried.str();
}

TEST(PackCheck, ThePackagesTheTestsApplyGiveNoFinding)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "121.rar", testsupport::Package121());
    testsupport::WriteFile(dir / "122.rar", testsupport::Package122());
    std::ostringstream out;
    std::vector<package::PackageSource> packages {{"121_RAR", dir / "121.rar"}, {"122_RAR", dir / "122.rar"}};
    EXPECT_TRUE(CheckPackages(packages, out)) << out.str();
    EXPECT_TRUE(out.str().ends_with("updater-pack: 0 errors, 0 warnings\n")) << out.str();

    // The same packages named NAME=FILE, through the tool's command line: a
    // file name that says nothing of the package is checked and packed
    // under the name given.
    std::filesystem::rename(dir / "122.rar", dir / "second package.bin");
    const std::vector<std::string> named {"121_RAR=" + dir / "121.rar", "122_RAR=" + dir / "second package.bin"};
    std::ostringstream checkOut, packOut, listOut, err;
    EXPECT_EQ(packtool::Run({"check", named[1]}, checkOut, err), kOk) << err.str() << checkOut.str();
    EXPECT_EQ(packtool::Run({"add", testsupport::BuiltProgram("src/app", "updater"), dir / "out", named[0], named[1]},
                            packOut, err),
              kOk)
        << err.str() << packOut.str();
    ASSERT_EQ(packtool::Run({"list", dir / "out"}, listOut, err), kOk) << err.str();
    EXPECT_EQ(listOut.str().substr(0, 8), "121_RAR\t");
    EXPECT_NE(listOut.str().find("\n122_RAR\t"), std::string::npos) << listOut.str();
    // Each package's installable files are recorded with their sizes and
    // SHA-256, in the order they are installed.
    EXPECT_NE(listOut.str().find("\n  nvlib.exe\t11\t" + platform::Sha256Hex("program 122") + "\n  Reports/b.fr3\t12\t" +
                                 platform::Sha256Hex("report b 122") + "\n"),
              std::string::npos)
        << listOut.str();
}

// updater-pack check run as a program: exit code 1 for an error (a gap of a
// single package number is one), 0 for clean packages.
TEST(PackCheck, TheToolExitsWithOneOnAnErrorAndZeroOnCleanPackages)
{
    testsupport::TempDir dir;
    for (int n : {122, 123, 124})
        testsupport::WriteFile(dir / (std::to_string(n) + ".rar"),
                               rarformat::WriteRar4({{"up", "", true},
                                                     {"up/" + std::to_string(n) + ".099.sql",
                                                      "INSERT INTO VERSIONS (DATA) VALUES (" + std::to_string(n) +
                                                          ");\r\n"}}));
    const auto named = [&](int n, int file) {
        return std::to_string(n) + "_RAR=" + dir / (std::to_string(file) + ".rar");
    };
    struct Case {
        std::vector<std::string> packages;
        int code;
        std::string finding;
    };
    const std::vector<Case> cases {
        {{named(122, 122), named(123, 123), named(124, 124)}, kOk, "updater-pack: 0 errors, 0 warnings\n"},
        {{named(122, 122), named(124, 124)}, kFailed, "error: no package 123 between 122 and 124"},
        {{named(122, 123)}, kFailed, "error: no script inserts 122 into VERSIONS"},
    };
    const std::string tool = testsupport::BuiltProgram("tools/updater-pack", "updater-pack");
    for (const Case& c : cases) {
        std::vector<std::string> arguments {tool, "check"};
        arguments.insert(arguments.end(), c.packages.begin(), c.packages.end());
        const testsupport::UnattendedResult result = testsupport::RunProcess(arguments, dir.Path());
        EXPECT_EQ(result.code, c.code) << c.finding << "\n" << result.out << result.err;
        EXPECT_NE(result.out.find(c.finding), std::string::npos) << result.out;
    }
}
