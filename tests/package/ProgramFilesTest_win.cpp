#include "package/ProgramFiles.h"

#include "ProgramFilesFixture.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <windows.h>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

// A program that runs cannot be replaced: its line carries the system's code
// and text, and the next file is installed all the same.
TEST(InstallProgramFiles, ARunningOrReadOnlyTargetGivesTheSystemsError)
{
    Installation installation;
    const testsupport::RunningProgram running(installation.exeDir, "nvlib.exe");
    WriteFile(installation.work + "\\nvlib.exe", "new program");
    WriteFile(installation.work + "\\readonly.exe", "new");
    WriteFile(installation.exeDir + "\\readonly.exe", "old");
    SetFileAttributesA((installation.exeDir + "\\readonly.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFile(installation.work + "\\tool.exe", "tool");
    installation.Install();
    EXPECT_EQ(installation.view.memo,
              (std::vector<std::string> {"nvlib.exe...", package::CopyErrorLine(ERROR_SHARING_VIOLATION), "readonly.exe...",
                                         package::CopyErrorLine(ERROR_ACCESS_DENIED), "tool.exe...[OK]"}));
    EXPECT_EQ(ReadFile(installation.exeDir + "\\readonly.exe"), "old");
    EXPECT_EQ(ReadFile(installation.exeDir + "\\tool.exe"), "tool");
    SetFileAttributesA((installation.exeDir + "\\readonly.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(CopyErrorLine, FramesTheSystemsMessageWithoutItsFullStop)
{
    const std::string line = package::CopyErrorLine(32);
    EXPECT_EQ(line.rfind("error (32) ", 0), 0u) << line;
    EXPECT_NE(line.back(), '.');
    EXPECT_NE(line.back(), '\n');
}
