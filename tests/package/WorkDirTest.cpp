#include "package/WorkDir.h"

#include "TestSupport.h"
#include "package/PackageStore.h"
#include "platform/Paths.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using platform::JoinPath;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(SavePackage, WritesThePackageOutWholeOverAnOlderFile)
{
    TempDir dir;
    const std::string bytes = std::string("Rar!\x1A\x07\x00", 7) + "\r\n\x1A" + std::string(100000, 'p');
    testsupport::MakePackedUpdater(dir / "updater.exe", {{"122_RAR", bytes}});
    const package::PackageStore store(dir / "updater.exe");
    WriteFile(dir / "122.rar", "an older, longer file left from an earlier run" + std::string(200000, 'o'));
    package::SavePackage(store, "122_RAR", dir / "122.rar");
    EXPECT_EQ(ReadFile(dir / "122.rar"), bytes);
    EXPECT_EQ(testsupport::ErrorOf([&] { package::SavePackage(store, "124_RAR", dir / "124.rar"); }),
              "Resource 124_RAR not found");
    EXPECT_FALSE(fs::exists(dir / "124.rar"));
}

TEST(PrepareWorkDir, ClearsTheDirectoryOfAnEarlierRun)
{
    TempDir dir;
    const std::string work = dir / "norvex22.nvx";
    package::PrepareWorkDir(work);
    ASSERT_TRUE(fs::is_directory(work));
    fs::create_directories(JoinPath(work, "up"));
    WriteFile(JoinPath(work, "122.rar"), "x");
    WriteFile(JoinPath(JoinPath(work, "up"), "122.001.~sql"), "x");
    package::PrepareWorkDir(work);
    EXPECT_FALSE(fs::exists(JoinPath(work, "122.rar")));
    EXPECT_FALSE(fs::exists(JoinPath(JoinPath(work, "up"), "122.001.~sql")));
    EXPECT_TRUE(fs::is_directory(JoinPath(work, "up")));
    WriteFile(dir / "file.nvx", "x");
    EXPECT_THROW(package::PrepareWorkDir(dir / "file.nvx"), std::runtime_error);
}
