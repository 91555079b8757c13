#include "package/WorkDir.h"

#include "TestSupport.h"
#include "package/PackageStore.h"
#include "platform/Paths.h"

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using platform::JoinPath;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(ListFiles, AppendsMatchingEntriesAndSortsTheWholeList)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    TempDir dir;
    const std::string up = dir / "up";
    fs::create_directory(up);
    fs::create_directory(JoinPath(up, "sub.sql"));
    for (const char* name : {"122.002.sql", "122.001.SQL", ".hidden.sql", "b.blo", "122.010.sql"})
        WriteFile(JoinPath(up, name), "");
    std::vector<std::string> list = {dir / "zz"};
    package::ListFiles(list, up, "*.sql");
    EXPECT_EQ(list, (std::vector<std::string> {JoinPath(up, ".hidden.sql"), JoinPath(up, "122.001.SQL"), JoinPath(up, "122.002.sql"),
                                               JoinPath(up, "122.010.sql"), JoinPath(up, "sub.sql"), dir / "zz"}));
    std::vector<std::string> all;
    package::ListFiles(all, up, "*");
    EXPECT_EQ(all.size(), 8u) << "\".\" and \"..\" are entries too";
    EXPECT_NE(std::find(all.begin(), all.end(), JoinPath(up, ".")), all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), JoinPath(up, "..")), all.end());

    std::vector<std::string> none = {"x"};
    package::ListFiles(none, dir / "missing", "*");
    EXPECT_EQ(none, (std::vector<std::string> {"x"}));
}

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
