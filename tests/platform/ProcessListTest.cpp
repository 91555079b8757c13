#include "platform/ProcessList.h"

#include "TestSupport.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::string_literals;

TEST(ProcessMatches, ComparesCommAndTheFirstArgumentIgnoringAsciiCase)
{
    struct Case {
        std::string comm;
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
        EXPECT_EQ(platform::ProcessMatches(c.comm, c.commandLine, "nvlib.exe"), c.expected) << c.comm;
}

// Starts a copy of sleep under the given name and looks for the main
// application while it runs.
static bool SeenRunningAs(const std::string& name)
{
    testsupport::TempDir dir;
    const std::string program = dir / name;
    std::filesystem::copy_file("/bin/sleep", program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(program.c_str(), name.c_str(), "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Wait until the child has become the program.
    for (int i = 0; i < 200; ++i) {
        if (std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe").filename() == name)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const bool seen = platform::IsProcessRunning("nvlib.exe");
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return seen;
}

TEST(IsProcessRunning, FindsTheMainApplicationByItsName)
{
    ASSERT_FALSE(platform::IsProcessRunning("nvlib.exe"));
    EXPECT_TRUE(SeenRunningAs("nvlib.exe"));
    EXPECT_TRUE(SeenRunningAs("NVLIB.EXE"));
    EXPECT_FALSE(SeenRunningAs("nvlib.exe.bak"));
    EXPECT_FALSE(SeenRunningAs("nvlib2.exe"));
}
