#include "platform/Paths.h"

#include <gtest/gtest.h>

using platform::JoinPath;

TEST(ExeDir, OfTheRunningProgramIsItsDirectory)
{
    const std::string exe = platform::ExecutablePath();
    EXPECT_EQ(JoinPath(platform::ExeDirOf(exe), platform::FileNameOf(exe)), exe);
}

TEST(ApplicationTitle, IsTheNameUpToTheFirstDotWithLowerCaseTail)
{
    EXPECT_EQ(platform::ApplicationTitle(JoinPath("x", "UPDATER.EXE")), "Updater");
    EXPECT_EQ(platform::ApplicationTitle(JoinPath("x", "updater")), "updater");
    EXPECT_EQ(platform::ApplicationTitle(JoinPath("x", "NorVex.Update.exe")), "Norvex");
}
