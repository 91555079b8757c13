#include "platform/Paths.h"

#include <cstdlib>
#include <gtest/gtest.h>

using platform::JoinPath;

TEST(JoinPath, FollowsTheFourRules)
{
    struct Case {
        const char* directory;
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"/tmp/", "x", "/tmp/x"},
        {"/tmp", "x", "/tmp/x"},
        {"", "x", "x"},
        {"/tmp", "", "/tmp"},
        {"", "", ""},
        {"/tmp", "/x", "/tmp//x"},  // nothing is normalised
        {"/", "cnfg.ini", "/cnfg.ini"},
        {"/tmp/", "up\\x", "/tmp/up\\x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JoinPath(c.directory, c.name), c.expected) << c.directory << " + " << c.name;
}

TEST(ExeDir, DropsTheSeparatorExceptAtTheRoot)
{
    EXPECT_EQ(platform::ExeDirOf("/updater"), "/");
    EXPECT_EQ(JoinPath(platform::ExeDirOf("/updater"), "cnfg.ini"), "/cnfg.ini");
    EXPECT_EQ(platform::ExeDirOf("/opt/Prog/updater"), "/opt/Prog");
    EXPECT_EQ(JoinPath(platform::ExeDirOf("/opt/Prog/updater"), "cnfg.ini"), "/opt/Prog/cnfg.ini");
}

TEST(TempPath, EndsInTheSeparatorAndFollowsTmpdir)
{
    ::setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(platform::TempPath(), "/var/tmp/");
    EXPECT_EQ(JoinPath(platform::TempPath(), "norvex22.nvx"), "/var/tmp/norvex22.nvx");
    ::unsetenv("TMPDIR");
    EXPECT_EQ(platform::TempPath(), "/tmp/");
}
