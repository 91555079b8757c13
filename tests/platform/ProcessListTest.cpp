#include "platform/ProcessList.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <utility>

using namespace std::string_literals;

TEST(ProcessMatches, ComparesTheNameAndTheFirstArgumentIgnoringAsciiCase)
{
    struct Case {
        std::string name;
        std::string commandLine;
        bool expected;
    };
    const Case cases[] = {
        {"nvlib.exe", "", true},
        {"NVLIB.EXE", "", true},
        {"nvlib.exe.bak", "nvlib.exe.bak\0"s, false},
        {"nvlib2.exe", "/opt/nvlib2.exe\0"s, false},
        {"wine64-preload", "C:\\Norvex\\NvLib.exe\0-x\0"s, true},
        {"wine64-preload", "/home/u/.wine/nvlib.exe\0"s, true},
        {"bash", "bash\0nvlib.exe\0"s, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::ProcessMatches(c.name, c.commandLine, "nvlib.exe"), c.expected) << c.name;
}

// A database client reports its program's path in its own system's form.
TEST(IsProgramPath, TakesTheNameAfterEitherSeparator)
{
    const std::pair<std::string, bool> cases[] = {
        {"C:\\Program Files\\Norvex\\NVLIB.EXE", true},
        {"/opt/norvex/nvlib.exe", true},
        {"nvlib.exe", true},
        {"C:\\nvlib.exe\\isql.exe", false},
        {"/opt/nvlib.exe.bak", false},
        {"", false},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(platform::IsProgramPath(path, "nvlib.exe"), expected) << path;
}

// Starts a program under the given name and looks for the main application
// while it runs.
static bool SeenRunningAs(const std::string& name)
{
    testsupport::TempDir dir;
    const testsupport::RunningProgram program(dir.Path(), name);
    return platform::IsProcessRunning("nvlib.exe");
}

TEST(IsProcessRunning, FindsTheMainApplicationByItsName)
{
    ASSERT_FALSE(platform::IsProcessRunning("nvlib.exe"));
    EXPECT_TRUE(SeenRunningAs("nvlib.exe"));
    EXPECT_TRUE(SeenRunningAs("NVLIB.EXE"));
    EXPECT_FALSE(SeenRunningAs("nvlib.exe.bak"));
    EXPECT_FALSE(SeenRunningAs("nvlib2.exe"));
}
