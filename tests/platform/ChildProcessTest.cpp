#include "platform/ChildProcess.h"

#include "TestSupport.h"
#include "platform/Paths.h"

#include <filesystem>
#include <gtest/gtest.h>

using testsupport::ReadFile;
using testsupport::TempDir;

// Every argument arrives whole, whatever blanks, quotes and backslashes it
// holds, and the program is the one named, also from a path with a blank.
TEST(ChildProcess, PassesArgumentsUnchangedAndGivesTheExitCode)
{
    TempDir dir;
    const std::string bin = dir / "Program Files";
    std::filesystem::create_directories(bin);
    const std::string helper = platform::JoinPath(bin, platform::ProgramFileName("helper"));
    std::filesystem::copy_file(testsupport::BuiltProgram("tests/support", "test-helper"), helper);

    const std::vector<std::string> arguments = {"plain", "two words", "", "say \"hi\"", "ends in\\", "a\\\\b",
                                                "\\\"", "C:\\Program Files\\x.rar"};
    std::vector<std::string> argv = {helper, "args", dir / "args.txt"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto process = platform::ChildProcess::Start(argv, dir.Path());
    ASSERT_TRUE(process.has_value());
    const platform::ExitStatus status = process->Wait();
    EXPECT_TRUE(status.exited);
    EXPECT_EQ(status.code, 0);
    std::string expected;
    for (const auto& argument : arguments)
        expected += argument + "\n";
    EXPECT_EQ(ReadFile(dir / "args.txt"), expected);

    auto failing = platform::ChildProcess::Start({helper, "exit", "3"}, dir.Path());
    ASSERT_TRUE(failing.has_value());
    EXPECT_EQ(failing->Wait().code, 3);
    EXPECT_FALSE(platform::ChildProcess::Start({dir / "missing"}, dir.Path()).has_value());
}
