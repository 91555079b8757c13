#include "platform/File.h"
#include "platform/FileSystem.h"

#include "TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <windows.h>

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

// The system's search matches short (8.3) names too, and installations'
// packages rely on the system's own matching: "*.sql" finds "z.sqlx", whose
// short name ends in ".SQL" (on volumes that have short names, wine's among
// them).
TEST(FindEntries, MatchesAsTheSystemDoes)
{
    TempDir dir;
    for (const char* name : {"122.001.sql", "Z.SQLX", "b.blo", "n.sq"})
        WriteFile(dir / name, "");
    std::vector<std::string> found = platform::FindEntries(dir.Path(), "*.sql");
    std::sort(found.begin(), found.end());
    char shortName[MAX_PATH] = {};
    const bool hasShortNames =
        GetShortPathNameA((dir / "Z.SQLX").c_str(), shortName, sizeof shortName) > 0 &&
        std::string(shortName).find('~') != std::string::npos;
    if (hasShortNames)
        EXPECT_EQ(found, (std::vector<std::string> {"122.001.sql", "Z.SQLX"}));
    else
        EXPECT_EQ(found, (std::vector<std::string> {"122.001.sql"}));
    EXPECT_TRUE(platform::FindEntries(dir / "missing", "*").empty());
}

TEST(CopyFileReplacing, GivesTheSystemsErrorCodes)
{
    TempDir dir;
    WriteFile(dir / "new.exe", "new");
    std::filesystem::create_directory(dir / "adir.exe");
    EXPECT_EQ(platform::CopyFileReplacing(dir / "adir.exe", dir / "t").Code(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(platform::CopyFileReplacing(dir / "missing.exe", dir / "t").Code(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(platform::CopyFileReplacing(dir / "new.exe", dir / "missing\\t").Code(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(platform::CopyFileReplacing(dir / "new.exe", dir / "adir.exe").Code(), ERROR_ACCESS_DENIED);

    WriteFile(dir / "old.exe", "old");
    WriteFile(dir / ".old.exe.update-AbC123", "left over");
    ASSERT_EQ(platform::CopyFileReplacing(dir / "new.exe", dir / "old.exe").Code(), 0);
    EXPECT_EQ(ReadFile(dir / "old.exe"), "new");
    EXPECT_FALSE(std::filesystem::exists(dir / ".old.exe.update-AbC123"));
}

TEST(CreateRegularFile, RefusesDirectoriesAndDevices)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "adir");
    EXPECT_THROW(platform::CreateRegularFile(dir / "adir"), std::runtime_error);
    EXPECT_THROW(platform::CreateRegularFile("NUL"), std::runtime_error);
    WriteFile(dir / "old", "longer old contents");
    platform::File file = platform::CreateRegularFile(dir / "old");
    EXPECT_EQ(ReadFile(dir / "old"), "") << "emptied";
}

TEST(EnsurePrivateDirectory, CreatesItOrRefusesWhatIsNoDirectory)
{
    TempDir dir;
    const std::string work = dir / "norvex22.nvx";
    EXPECT_FALSE(platform::EnsurePrivateDirectory(work));
    EXPECT_TRUE(std::filesystem::is_directory(work));
    EXPECT_TRUE(platform::EnsurePrivateDirectory(work));
    WriteFile(dir / "file", "x");
    EXPECT_THROW(platform::EnsurePrivateDirectory(dir / "file"), std::runtime_error);
    // A reparse point (a directory link) is refused, where the system lets
    // the test make one.
    std::filesystem::create_directory(dir / "elsewhere");
    if (CreateSymbolicLinkA((dir / "linked").c_str(), (dir / "elsewhere").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
        platform::IsSymbolicLink(dir / "linked")) {
        EXPECT_THROW(platform::EnsurePrivateDirectory(dir / "linked"), std::runtime_error);
    }
}
