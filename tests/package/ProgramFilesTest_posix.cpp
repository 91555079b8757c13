#include "package/ProgramFiles.h"

#include "ProgramFilesFixture.h"
#include "TestSupport.h"

#include <clocale>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

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

TEST(CopyErrorLine, FramesTheSystemsMessage)
{
    EXPECT_EQ(package::CopyErrorLine(platform::Error(2)), "error (2) No such file or directory");
    EXPECT_EQ(package::CopyErrorLine(platform::Error(13)), "error (13) Permission denied");
}
