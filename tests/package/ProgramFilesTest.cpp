#include "package/ProgramFiles.h"

#include "ProgramFilesFixture.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

TEST(InstallProgramFiles, CopiesExecutablesAndReportsInOneSortedList)
{
    Installation installation;
    WriteFile(installation.work + "/nvlib.exe", "new program");
    WriteFile(installation.work + "/Reports/b.fr3", "report b");
    WriteFile(installation.work + "/Reports/a.fr3", "report a");
    WriteFile(installation.work + "/library.dll", "not installed");
    fs::create_directories(installation.work + "/up");
    WriteFile(installation.work + "/up/tool.exe", "not installed either");
    WriteFile(installation.exeDir + "/nvlib.exe", "old program");
    installation.view.updateTime.caption = "00:01:02";
    installation.Install();

    EXPECT_EQ(installation.view.memo,
              (std::vector<std::string> {"nvlib.exe...[OK]", "a.fr3...[OK]", "b.fr3...[OK]"}));
    EXPECT_EQ(ReadFile(installation.exeDir + "/nvlib.exe"), "new program");
    EXPECT_EQ(ReadFile(installation.exeDir + "/Reports/a.fr3"), "report a");
    EXPECT_FALSE(fs::exists(installation.exeDir + "/library.dll"));
    EXPECT_FALSE(fs::exists(installation.exeDir + "/tool.exe"));
    EXPECT_EQ(installation.view.file.caption, "b.fr3 (3/3)");
    EXPECT_EQ(installation.view.bar.maximum, 3);
    EXPECT_EQ(installation.view.bar.position, 3);
    EXPECT_FALSE(installation.view.updateTime.visible);
    EXPECT_EQ(installation.view.updateTime.caption, "00:01:02") << "the time label's text is left alone";
}

// The bar comes full from the database update: the program files start it
// again from 0 and advance it by one per file.
TEST(InstallProgramFiles, StartsTheBarAgainFromAFullOne)
{
    struct RecordingBar : view::BarState {
        std::vector<int> positions;
        void SetPosition(int value) override
        {
            BarState::SetPosition(value);
            positions.push_back(position);
        }
    } bar;
    bar.maximum = 10;
    bar.position = 10;
    Installation installation;
    WriteFile(installation.work + "/a.exe", "a");
    WriteFile(installation.work + "/b.exe", "b");
    package::InstallProgramFiles(installation.view, installation.exeDir, installation.work, &bar,
                                 &installation.view.file, &installation.view.updateTime);
    EXPECT_EQ(bar.positions, (std::vector<int> {0, 1, 2}));
    EXPECT_EQ(bar.maximum, 2);
}

TEST(InstallProgramFiles, NothingToInstallWritesNoLine)
{
    Installation installation;
    installation.Install();
    EXPECT_TRUE(installation.view.memo.empty());
    EXPECT_EQ(installation.view.bar.maximum, 0);
}
