#include "platform/Paths.h"

#include <gtest/gtest.h>
#include <windows.h>

using platform::JoinPath;

TEST(JoinPath, FollowsTheFourRulesWithBackslashes)
{
    struct Case {
        const char* directory;
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\Temp\\", "x", "C:\\Temp\\x"},
        {"C:\\Temp", "x", "C:\\Temp\\x"},
        {"", "x", "x"},
        {"C:\\Temp", "", "C:\\Temp"},
        {"C:\\Temp", "\\x", "C:\\Temp\\\\x"},  // nothing is normalised
        {"C:\\Temp", "up/x", "C:\\Temp\\up/x"},
        {"C:/Temp/", "x", "C:/Temp/\\x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JoinPath(c.directory, c.name), c.expected) << c.directory << " + " << c.name;
}

TEST(ExeDir, KeepsTheBackslashOfADriveRootOnly)
{
    struct Case {
        const char* executable;
        const char* exeDir;
        const char* iniPath;
    };
    const Case cases[] = {
        {"C:\\updater.exe", "C:\\", "C:\\cnfg.ini"},
        {"C:\\Prog\\updater.exe", "C:\\Prog", "C:\\Prog\\cnfg.ini"},
        {"\\\\server\\share\\Norvex\\updater.exe", "\\\\server\\share\\Norvex", "\\\\server\\share\\Norvex\\cnfg.ini"},
        {"C:updater.exe", "C:", "C:\\cnfg.ini"},
        {"updater.exe", "", "cnfg.ini"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::ExeDirOf(c.executable), c.exeDir) << c.executable;
        EXPECT_EQ(JoinPath(platform::ExeDirOf(c.executable), "cnfg.ini"), c.iniPath) << c.executable;
    }
}

TEST(TempPath, IsTheSystemsTemporaryDirectory)
{
    char expected[MAX_PATH + 1] = {};
    GetTempPathA(sizeof expected, expected);
    EXPECT_EQ(platform::TempPath(), expected);
    EXPECT_EQ(platform::TempPath().back(), '\\');
}

TEST(ProgramFileName, CarriesTheExeSuffix)
{
    EXPECT_EQ(platform::ProgramFileName("rar"), "rar.exe");
}
