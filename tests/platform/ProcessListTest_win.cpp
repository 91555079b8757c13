#include "platform/ProcessList.h"

#include "TestSupport.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <windows.h>

// Under wine the build machine's processes show through drive Z:; only
// Windows processes count, so a program of the build machine that carries
// the main application's name is not the main application.
TEST(IsProcessRunning, SeesWindowsProcessesOnly)
{
    const char* linuxSleep = "Z:\\bin\\sleep";
    if (!std::filesystem::exists(linuxSleep))
        GTEST_SKIP() << "not running under wine";
    testsupport::TempDir dir;
    const std::string program = dir / "nvlib.exe";
    std::filesystem::copy_file(linuxSleep, program);
    std::string commandLine = "\"" + program + "\" 30";
    STARTUPINFOA startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process {};
    ASSERT_TRUE(CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(platform::IsProcessRunning("nvlib.exe"));
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}
