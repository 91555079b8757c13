#include "platform/File.h"
#include "platform/FileSystem.h"

#include "ChildRun_posix.h"
#include "TestSupport.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(ReadTextLines, NamesTheFileWhenItCannotBeRead)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "x.sql");
    try {
        platform::ReadTextLines(dir / "x.sql");
        FAIL() << "a directory was read";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file \"" + (dir / "x.sql") + "\". Is a directory");
    }
    EXPECT_THROW(platform::ReadTextLines(dir / "missing.sql"), std::runtime_error);
}

TEST(CopyFileReplacing, ReplacesTheTargetAndKeepsItsMode)
{
    TempDir dir;
    WriteFile(dir / "new", "new bytes");
    ::chmod((dir / "new").c_str(), 0755);
    WriteFile(dir / "old", "old");
    ::chmod((dir / "old").c_str(), 0750);
    ASSERT_EQ(platform::CopyFileReplacing(dir / "new", dir / "old").Code(), 0);
    EXPECT_EQ(ReadFile(dir / "old"), "new bytes");
    struct stat info {};
    ::stat((dir / "old").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0750u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

TEST(CopyFileReplacing, ReportsTheErrnoOfTheFailure)
{
    TempDir dir;
    WriteFile(dir / "src", "x");
    std::filesystem::create_directory(dir / "adir.exe");
    EXPECT_EQ(platform::CopyFileReplacing(dir / "adir.exe", dir / "t").Code(), EISDIR);
    EXPECT_EQ(platform::CopyFileReplacing(dir / "src", dir / "missing/t").Code(), ENOENT);
    std::filesystem::create_directories(dir / "target/inside");
    EXPECT_NE(platform::CopyFileReplacing(dir / "src", dir / "target").Code(), 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "target/inside"));
}

TEST(CopyFileReplacing, CopiesRegularFilesOnlyAndKeepsProtection)
{
    TempDir dir;
    WriteFile(dir / "new.exe", "new");
    ::chmod((dir / "new.exe").c_str(), 0755);
    std::filesystem::create_symlink(dir / "new.exe", dir / "link.exe");
    ASSERT_EQ(::mkfifo((dir / "fifo.exe").c_str(), 0644), 0);
    EXPECT_EQ(platform::CopyFileReplacing(dir / "link.exe", dir / "t1").Code(), ELOOP);
    EXPECT_EQ(platform::CopyFileReplacing(dir / "fifo.exe", dir / "t2").Code(), EINVAL);

    WriteFile(dir / "readonly.exe", "old");
    ::chmod((dir / "readonly.exe").c_str(), 0444);
    EXPECT_EQ(platform::CopyFileReplacing(dir / "new.exe", dir / "readonly.exe").Code(), EACCES) << "for root too";
    EXPECT_EQ(ReadFile(dir / "readonly.exe"), "old");

    auto mode = [&](const std::string& name) {
        struct stat info {};
        ::stat((dir / name).c_str(), &info);
        return info.st_mode & 07777;
    };
    WriteFile(dir / "kept.exe", "old");
    ::chmod((dir / "kept.exe").c_str(), 0640);
    ASSERT_EQ(platform::CopyFileReplacing(dir / "new.exe", dir / "kept.exe").Code(), 0);
    EXPECT_EQ(mode("kept.exe"), 0640u) << "an existing target keeps its permissions";
    ASSERT_EQ(platform::CopyFileReplacing(dir / "new.exe", dir / "fresh.exe").Code(), 0);
    EXPECT_EQ(mode("fresh.exe"), 0755u) << "a new target gets the source's";

    // An interrupted copy's temporary file for the same target goes; other
    // names stay.
    WriteFile(dir / ".fresh.exe.update-AbC123", "left over");
    WriteFile(dir / ".fresh.exe.update-keep", "not ours");
    WriteFile(dir / ".other.exe.update-AbC123", "another target's");
    ASSERT_EQ(platform::CopyFileReplacing(dir / "new.exe", dir / "fresh.exe").Code(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / ".fresh.exe.update-AbC123"));
    EXPECT_TRUE(std::filesystem::exists(dir / ".fresh.exe.update-keep"));
    EXPECT_TRUE(std::filesystem::exists(dir / ".other.exe.update-AbC123"));
}

TEST(CreateRegularFile, RefusesLinksAndSpecialFiles)
{
    TempDir dir;
    WriteFile(dir / "target", "precious");
    std::filesystem::create_symlink(dir / "target", dir / "link");
    EXPECT_THROW(platform::CreateRegularFile(dir / "link"), std::runtime_error);
    // Appending (a run log, the run record) refuses a link too.
    EXPECT_EQ(platform::File::OpenAppend(dir / "link").OpenError(), platform::SymbolicLinkError());
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    EXPECT_THROW(platform::CreateRegularFile(dir / "fifo"), std::runtime_error) << "and does not block on it";
    EXPECT_EQ(ReadFile(dir / "target"), "precious");
    WriteFile(dir / "old", "longer old contents");
    platform::File file = platform::CreateRegularFile(dir / "old");
    EXPECT_EQ(ReadFile(dir / "old"), "") << "emptied";
}

TEST(CopyFileReplacing, AnInterruptedCopyLeavesTheOldFileWhole)
{
    TempDir dir;
    WriteFile(dir / "new.exe", std::string(1 << 20, 'N'));
    WriteFile(dir / "old.exe", "the previous version");
    // The child may write no more than 64 KB: the copy fails half-way.
    EXPECT_EQ(testsupport::RunWithFileSizeLimit(
                  65536, [&] { return platform::CopyFileReplacing(dir / "new.exe", dir / "old.exe").Code(); }),
              EFBIG);
    EXPECT_EQ(ReadFile(dir / "old.exe"), "the previous version");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2) << "temporary file left";
}

TEST(EnsurePrivateDirectory, CreatesAMode0700Directory)
{
    TempDir dir;
    const std::string work = dir / "norvex22.nvx";
    EXPECT_FALSE(platform::EnsurePrivateDirectory(work));
    struct stat info {};
    ::stat(work.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(platform::EnsurePrivateDirectory(work));
    // Creation failing is left to whatever needs the directory later.
    EXPECT_FALSE(platform::EnsurePrivateDirectory(dir / "missing/norvex22.nvx"));
}

TEST(EnsurePrivateDirectory, RefusesWhatOthersCouldControl)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "target");
    std::filesystem::create_directory_symlink(dir / "target", dir / "link");
    WriteFile(dir / "file", "x");
    std::filesystem::create_directory(dir / "open");
    ::chmod((dir / "open").c_str(), 0777);
    std::filesystem::create_directory(dir / "group");
    ::chmod((dir / "group").c_str(), 0770);
    for (const char* name : {"link", "file", "open", "group"})
        EXPECT_THROW(platform::EnsurePrivateDirectory(dir / name), std::runtime_error) << name;
    if (::geteuid() == 0) {
        std::filesystem::create_directory(dir / "foreign");
        ::chmod((dir / "foreign").c_str(), 0700);
        ASSERT_EQ(::chown((dir / "foreign").c_str(), 65534, 65534), 0);
        EXPECT_THROW(platform::EnsurePrivateDirectory(dir / "foreign"), std::runtime_error);
    }
}
