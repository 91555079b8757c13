#include "package/ProgramFiles.h"

#include "ProgramFilesFixture.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <windows.h>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

// A copy's memo line: "error (code) " and the system's text without its
// closing full stop.
std::string CopyError(int code)
{
    std::string text = testsupport::SystemText(code);
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return "error (" + std::to_string(code) + ") " + text;
}

}  // namespace

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
              (std::vector<std::string> {"nvlib.exe...", CopyError(ERROR_SHARING_VIOLATION), "readonly.exe...",
                                         CopyError(ERROR_ACCESS_DENIED), "tool.exe...[OK]"}));
    EXPECT_EQ(ReadFile(installation.exeDir + "\\readonly.exe"), "old");
    EXPECT_EQ(ReadFile(installation.exeDir + "\\tool.exe"), "tool");
    SetFileAttributesA((installation.exeDir + "\\readonly.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(CopyErrorLine, FramesTheSystemsMessageWithoutItsFullStop)
{
    for (const int code : {ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED, ERROR_DISK_FULL})
        EXPECT_EQ(package::CopyErrorLine(platform::Error(code)), CopyError(code));
    EXPECT_EQ(package::CopyErrorLine(platform::Error(ERROR_SHARING_VIOLATION)).rfind("error (32) ", 0), 0u);
}
