#include "package/ProgramFiles.h"

#include "TestSupport.h"
#include "app/HeadlessView.h"

#include <clocale>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

struct Installation {
    TempDir dir;
    std::string exeDir = dir / "Norvex";
    std::string work = dir / "norvex22.nvx";
    app::HeadlessView view;

    Installation()
    {
        std::setlocale(LC_ALL, "C.UTF-8");
        fs::create_directories(exeDir + "/Reports");
        fs::create_directories(work + "/Reports");
    }
    void Install() { package::InstallProgramFiles(view, exeDir, work, &view.bar, &view.file, &view.updateTime); }
};

}  // namespace

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

TEST(InstallProgramFiles, ReportsEachFailedCopyAndGoesOn)
{
    Installation installation;
    fs::remove(installation.exeDir + "/Reports");  // an installation without Reports
    WriteFile(installation.work + "/Reports/a.fr3", "report");
    fs::create_directory(installation.work + "/x.exe");  // a directory named like a program
    WriteFile(installation.work + "/nvlib.exe", "new");
    WriteFile(installation.work + "/locked.exe", "new");
    fs::create_directories(installation.exeDir + "/locked.exe/inside");  // a target that cannot be replaced
    installation.Install();

    EXPECT_EQ(installation.view.memo, (std::vector<std::string> {
                                          "locked.exe...",
                                          "error (21) Is a directory",
                                          "nvlib.exe...[OK]",
                                          "a.fr3...",
                                          "error (2) No such file or directory",
                                          "x.exe...",
                                          "error (21) Is a directory",
                                      }));
    EXPECT_EQ(ReadFile(installation.exeDir + "/nvlib.exe"), "new");
    EXPECT_EQ(installation.view.bar.position, 4) << "failed copies advance the bar too";
}

// Only regular files are installed: a link in the working directory (to a
// file anywhere on the machine) gets an error line instead.
TEST(InstallProgramFiles, InstallsRegularFilesOnly)
{
    Installation installation;
    WriteFile(installation.dir / "secret", "not for the installation");
    fs::create_symlink(installation.dir / "secret", installation.work + "/nvlib.exe");
    WriteFile(installation.work + "/tool.exe", "tool");
    ::chmod((installation.work + "/tool.exe").c_str(), 0755);
    installation.Install();
    EXPECT_EQ(installation.view.memo, (std::vector<std::string> {"nvlib.exe...",
                                                                 "error (40) Too many levels of symbolic links",
                                                                 "tool.exe...[OK]"}));
    EXPECT_FALSE(fs::exists(installation.exeDir + "/nvlib.exe"));
    EXPECT_EQ(fs::status(installation.exeDir + "/tool.exe").permissions() & fs::perms::owner_exec,
              fs::perms::owner_exec) << "a new program file keeps the unpacked file's execute bit";
}

TEST(InstallProgramFiles, NothingToInstallWritesNoLine)
{
    Installation installation;
    installation.Install();
    EXPECT_TRUE(installation.view.memo.empty());
    EXPECT_EQ(installation.view.bar.maximum, 0);
}

TEST(CopyErrorLine, FramesTheSystemsMessage)
{
    EXPECT_EQ(package::CopyErrorLine(2), "error (2) No such file or directory");
    EXPECT_EQ(package::CopyErrorLine(13), "error (13) Permission denied");
}
