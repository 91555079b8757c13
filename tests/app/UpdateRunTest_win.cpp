// The packed updater.exe on Windows, unattended, from 120 to 122: the
// database, the blob bytes, the program files and the run log, through
// rar.exe and the client library beside it.
#include "app/Unattended.h"

#include "Installation.h"

#include <gtest/gtest.h>

using testsupport::Installation;
using testsupport::ReadFile;

TEST(UnattendedOnWindows, UpdatesAnInstallationFrom120To122)
{
    Installation installation(120, {{"121_RAR", testsupport::Package121()}, {"122_RAR", testsupport::Package122()}});
    const testsupport::UnattendedResult result = testsupport::RunUnattended(installation);
    EXPECT_EQ(result.code, app::kExitFailures) << result.err;
    EXPECT_EQ(installation.Version(), 122);
    EXPECT_EQ(installation.Query("select count(*) from INFO_DOC where ID = 300 and KIND = 2"), 1);
    EXPECT_EQ(*testsupport::QueryBlob(installation.database, "select NOTE_U from INFO_DOC where ID = 200"),
              std::string("blob\0bytes\r\n\x1A end", 17))
        << "CR LF, NUL and Ctrl-Z reach the column unchanged";
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 122");
    EXPECT_EQ(ReadFile(installation.InExeDir("Reports/a.fr3")), "report a 121");
    EXPECT_EQ(ReadFile(installation.InExeDir("Reports/b.fr3")), "report b 122");
    const std::string log = ReadFile(installation.InWorkDir("up/122.001.sql.log"));
    EXPECT_EQ(log.rfind("insert into NOWHERE values (1)\r\n------------------------- error ---", 0), 0u) << log;
    EXPECT_EQ(log.find("\r\r\n"), std::string::npos) << "lines end in CR LF, once";
    EXPECT_NE(result.out.find("Встановлення оновлення\n121.001.sql\n121.099.sql\nnvlib.exe...[OK]\na.fr3...[OK]\n"),
              std::string::npos)
        << result.out;
}
