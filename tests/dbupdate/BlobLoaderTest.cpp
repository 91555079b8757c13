#include "dbupdate/BlobLoader.h"

#include "UnpackedPackage.h"

#include <clocale>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(ParseBlobName, BuildsTheUpdateStatement)
{
    struct Case {
        const char* name;
        const char* statement;
    };
    const Case cases[] = {
        {"INFO_DOC.NOTE_U.ID 200.blo", "update INFO_DOC set NOTE_U = :NOTE_U where (ID=200)"},
        {"INFO_DOC.NOTE_U.ID 73.blo", "update INFO_DOC set NOTE_U = :NOTE_U where (ID=73)"},
        {"INFO_DOC.NOTE_U.ID 200.KIND 1.blo", "update INFO_DOC set NOTE_U = :NOTE_U where (ID=200)and(KIND=1)"},
        {"DOCS.BODY.CODE 'A1'.blo", "update DOCS set BODY = :BODY where (CODE='A1')"},
        {"DOCS.BODY.NAME 'A B'.blo", "update DOCS set BODY = :BODY where (NAME='A=B')"},
        // The extension counts only at the end, in any letter case.
        {"T.F.ID 1.BLO", "update T set F = :F where (ID=1)"},
        {"T.blob_data.ID 1.blo", "update T set blob_data = :blob_data where (ID=1)"},
        {"T.F.blocked 1.Blo", "update T set F = :F where (blocked=1)"},
        {"nodots.blo", "update  set  = : where (nodots)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dbupdate::ParseBlobName(c.name).statement, c.statement) << c.name;
}

namespace {

// A package whose blob files go to INFO_DOC and DOCS.
struct BlobPackage : UnpackedPackage {
    BlobPackage()
        : UnpackedPackage({"create table INFO_DOC (ID integer, KIND integer, NOTE_U blob)",
                           "create table DOCS (CODE varchar(10), BODY blob)",
                           "insert into INFO_DOC (ID, KIND) values (200, 1)", "insert into INFO_DOC (ID, KIND) values (73, 1)",
                           "insert into INFO_DOC (ID, KIND) values (5, 1)", "insert into DOCS (CODE) values ('A1')"}) {}
    std::optional<std::string> Blob(const std::string& sql) { return testsupport::QueryBlob(database, sql); }
};

}  // namespace

TEST(LoadBlobFiles, StoresTheFilesBytesInTheirRows)
{
    BlobPackage package;
    std::string bytes;
    for (int i = 0; i < 70000; ++i)
        bytes += static_cast<char>(i % 251);
    WriteFile(package.In("INFO_DOC.NOTE_U.ID 73.blo"), bytes);
    WriteFile(package.In("INFO_DOC.NOTE_U.ID 5.blo"), "");
    WriteFile(package.In("INFO_DOC.NOTE_U.ID 999.blo"), "no such row");
    WriteFile(package.In("DOCS.BODY.CODE 'A1'.blo"), "text key");
    // Two files for one row: applied in sorted order, the later one stays.
    WriteFile(package.In("INFO_DOC.NOTE_U.ID 200.blo"), "first");
    WriteFile(package.In("INFO_DOC.NOTE_U.ID 200.KIND 1.blo"), "second");
    package.Run();

    const auto big = package.Blob("select NOTE_U from INFO_DOC where ID = 73");
    ASSERT_TRUE(big);
    EXPECT_TRUE(*big == bytes) << "the blob differs from the file's bytes";
    EXPECT_EQ(package.Blob("select NOTE_U from INFO_DOC where ID = 200"), std::string("second"));
    const auto empty = package.Blob("select NOTE_U from INFO_DOC where ID = 5");
    ASSERT_TRUE(empty) << "an empty file is an empty blob, not NULL";
    EXPECT_EQ(*empty, "");
    EXPECT_EQ(package.Blob("select BODY from DOCS where CODE = 'A1'"), std::string("text key"));
    for (const char* done : {"INFO_DOC.NOTE_U.ID 200.~blo", "INFO_DOC.NOTE_U.ID 200.KIND 1.~blo",
                             "INFO_DOC.NOTE_U.ID 73.~blo", "INFO_DOC.NOTE_U.ID 999.~blo",
                             "DOCS.BODY.CODE 'A1'.~blo"})
        EXPECT_TRUE(fs::exists(package.In(done))) << done;
    EXPECT_FALSE(fs::exists(package.In("INFO_DOC.NOTE_U.ID 999.blo.log"))) << "no row is no error";
    EXPECT_EQ(package.view.file.caption, "INFO_DOC.NOTE_U.ID 999.blo (6/6)");
    // Without scripts the bar's maximum is 0, so it cannot advance.
    EXPECT_EQ(package.view.bar.position, 0);
    EXPECT_TRUE(package.view.memo.empty());
}

TEST(LoadBlobFiles, AFailureGoesToTheBlobsOwnLogBeforeAnyScriptRan)
{
    BlobPackage package;
    WriteFile(package.In("INFO_DOC.MISSING.ID 200.blo"), "x");
    package.Run();
    const std::string log = ReadFile(package.In("INFO_DOC.MISSING.ID 200.blo.log"));
    const std::string head = "update INFO_DOC set MISSING = :MISSING where (ID=200)\r\n\n"
                             "------------------------- error ------------------------------\r\n";
    EXPECT_EQ(log.substr(0, head.size()), head);
    EXPECT_NE(log.find("MISSING"), std::string::npos);
    EXPECT_TRUE(fs::exists(package.In("INFO_DOC.MISSING.ID 200.~blo")));
    EXPECT_FALSE(package.db->InTransaction());
}

TEST(LoadBlobFiles, AFailureGoesToTheLastScriptsLogWhenThereIsOne)
{
    BlobPackage package;
    WriteFile(package.In("122.001.sql"), "insert into DOCS (CODE) values ('B2');\r\n");
    WriteFile(package.In("T.F.ID 1.BLO"), "no table T");
    WriteFile(package.In("DOCS.BODY.CODE 'B2'.blo"), "after the failure");
    package.Run();
    const std::string log = ReadFile(package.In("122.001.sql.log"));
    EXPECT_EQ(log.rfind("update T set F = :F where (ID=1)\r\n\n", 0), 0u) << log;
    EXPECT_FALSE(fs::exists(package.In("T.F.ID 1.BLO.log")));
    EXPECT_TRUE(fs::exists(package.In("T.F.ID 1.~blo")));
    EXPECT_EQ(package.Blob("select BODY from DOCS where CODE = 'B2'"), std::string("after the failure"));
}
