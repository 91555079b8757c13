// The updater's command line.
#include "app/CommandLine.h"
#include "app/Unattended.h"

#include "Installation.h"

#include <gtest/gtest.h>
#include <vector>

using app::CommandLine;
using Mode = app::CommandLine::Mode;

namespace {

CommandLine Parse(std::vector<std::string> options)
{
    std::vector<char*> argv {const_cast<char*>("updater")};
    for (auto& option : options)
        argv.push_back(option.data());
    return app::ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

TEST(CommandLine, OptionsAndTheirMistakes)
{
    struct Case {
        std::vector<std::string> options;
        Mode mode;
        bool noBackup;
        std::optional<std::int32_t> version;
        const char* error;
    } cases[] = {
        {{}, Mode::Window, false, {}, ""},
        {{"--unattended"}, Mode::Unattended, false, {}, ""},
        {{"--no-backup", "--unattended"}, Mode::Unattended, true, {}, ""},
        {{"--restore"}, Mode::Restore, false, {}, ""},
        {{"--unattended", "--restore", "121"}, Mode::Restore, false, 121, ""},
        {{"--help", "--unattended"}, Mode::Help, false, {}, ""},
        {{"--unatended"}, Mode::Invalid, false, {}, "unknown option --unatended"},
        {{"/unattended"}, Mode::Invalid, false, {}, "unknown option /unattended"},
        {{"--restore", "12x"}, Mode::Invalid, false, {}, "not a version: 12x"},
        {{"--no-backup"}, Mode::Invalid, true, {}, "--no-backup needs --unattended: the window always makes a backup"},
        {{"--restore", "--no-backup"}, Mode::Invalid, true, {}, "--no-backup is an option of the update, not of --restore"},
        {{"--unattended", "--rehearse"}, Mode::Rehearse, false, {}, ""},
        {{"--rehearse"}, Mode::Rehearse, false, {}, ""},
        {{"--rehearse", "--restore"}, Mode::Invalid, false, {}, "--rehearse and --restore cannot be given together"},
        {{"--rehearse", "--no-backup"}, Mode::Invalid, true, {}, "--no-backup is an option of the update, not of --rehearse"},
        {{"--no-backup", "--unattended", "--rehearse"}, Mode::Invalid, true, {},
         "--no-backup is an option of the update, not of --rehearse"},
        {{"--restore", "121", "--rehearse"}, Mode::Invalid, false, 121, "--rehearse and --restore cannot be given together"},
        {{"--restore", "121", "--no-backup"}, Mode::Invalid, true, 121, "--no-backup is an option of the update, not of --restore"},
        {{"--rehearse", "--help"}, Mode::Help, false, {}, ""},
        {{"--status"}, Mode::Status, false, {}, ""},
        {{"--unattended", "--status"}, Mode::Status, false, {}, ""},
        {{"--status", "--restore"}, Mode::Invalid, false, {}, "--status is given alone (with or without --unattended)"},
        {{"--no-backup", "--status"}, Mode::Invalid, true, {}, "--status is given alone (with or without --unattended)"},
    };
    for (const auto& c : cases) {
        const CommandLine line = Parse(c.options);
        std::string name;
        for (const std::string& option : c.options)
            name += option + " ";
        EXPECT_EQ(line.mode, c.mode) << name;
        EXPECT_EQ(line.noBackup, c.noBackup) << name;
        EXPECT_EQ(line.restoreVersion, c.version) << name;
        EXPECT_EQ(line.error, c.error) << name;
    }
    EXPECT_NE(app::UsageText(true).find("Exit codes"), std::string::npos);
    EXPECT_EQ(app::UsageText(false).find("Exit codes"), std::string::npos);
}

// Every combination the updater does not take ends it with the usage on
// standard error and exit code 2, before anything else is done.
TEST(CommandLine, AnInvalidCombinationExitsWithTheUsage)
{
    const std::string updater = testsupport::BuiltProgram("src/app", "updater");
    testsupport::TempDir dir;
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>> {
             {"--rehearse", "--no-backup"}, {"--unattended", "--rehearse", "--no-backup"}, {"--restore", "--rehearse"},
             {"--restore", "--no-backup"}, {"--no-backup"}, {"--unattended", "--restore", "x"}}) {
        std::vector<std::string> arguments {updater};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const testsupport::UnattendedResult result = testsupport::RunProcess(arguments, dir.Path());
        EXPECT_EQ(result.code, app::kExitError) << options.back();
        EXPECT_EQ(result.err.rfind("updater: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find("\n\nUsage: updater "), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "") << options.back();
    }
}
