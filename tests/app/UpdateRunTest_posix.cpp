// The update run on POSIX systems: what the unpacker inherits, a working
// directory replaced by a symbolic link.
#include "app/HeadlessView.h"
#include "app/Shell.h"

#include "Installation.h"
#include "ShellRun.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::Installation;
using testsupport::Package122;
using testsupport::ReadFile;
using testsupport::WriteFile;

// The unpacker sees only its standard descriptors: none of the database
// engine's files (the database is attached while it runs), none of the
// updater's. The stand-in lists what its shell holds (the script itself is
// the shell's own) and goes on with the real unpacker.
TEST(UpdateRun, TheUnpackerInheritsNoDescriptors)
{
    Installation installation(121, {{"122_RAR", Package122()}});
    const std::string script = installation.InExeDir("rar");
    fs::rename(script, installation.InExeDir("rar.real"));
    WriteFile(script, "#!/bin/sh\nls -l /proc/$$/fd >&2\nexec \"$0.real\" \"$@\"\n");
    fs::permissions(script, fs::perms::owner_all);
    const int inheritable = ::open(installation.database.c_str(), O_RDONLY);  // no close-on-exec
    RunRecord run;
    RunUpdate(installation, run);
    ASSERT_EQ(run.result, app::RunResult::Completed) << run.error;
    EXPECT_EQ(installation.Version(), 122);
    std::istringstream listing(ReadFile(installation.InWorkDir("rar.log")));
    std::set<std::string> targets;
    for (std::string line; std::getline(listing, line);) {
        if (const auto arrow = line.find(" -> "); arrow != std::string::npos)
            targets.insert(line.substr(arrow + 4));
    }
    EXPECT_EQ(targets, (std::set<std::string> {"/dev/null", installation.InWorkDir("rar.log"), script}));
    ::close(inheritable);
}

TEST(UpdateRun, RefusesAWorkingDirectoryThatIsALink)
{
    Installation installation(121, {{"122_RAR", Package122()}});
    fs::create_directory(installation.dir / "elsewhere");
    fs::create_directory_symlink(installation.dir / "elsewhere", installation.workDir);
    RunRecord run;
    RunUpdate(installation, run);
    EXPECT_NE(run.error.find("symbolic link"), std::string::npos) << run.error;
    EXPECT_EQ(run.view.memo.back(), "Створення тимчасового каталога");
    EXPECT_TRUE(fs::is_empty(installation.dir / "elsewhere"));
}
