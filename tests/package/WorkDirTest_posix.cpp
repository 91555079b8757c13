#include "package/WorkDir.h"

#include "RarWriter.h"
#include "ChildRun_posix.h"
#include "TestSupport.h"
#include "package/PackageStore.h"

#include <clocale>
#include <filesystem>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;


TEST(ClearWorkDir, DeletesTheFilesOfAnEarlierRunAndKeepsDirectories)
{
    TempDir dir;
    const std::string work = dir / "norvex22.nvx";
    for (const char* sub : {"", "/up", "/up/nested", "/Reports", "/other"})
        fs::create_directories(work + sub);
    for (const char* file : {"/122.rar", "/nvlib.exe", "/up/122.001.~sql", "/up/122.002.sql", "/up/122.001.sql.log",
                             "/up/nested/keep.sql", "/Reports/old.fr3", "/other/keep.txt", "/up/readonly.sql"})
        WriteFile(work + file, "x");
    ::chmod((work + "/up/readonly.sql").c_str(), 0444);
    package::ClearWorkDir(work);
    std::vector<std::string> left;
    for (const auto& item : fs::recursive_directory_iterator(work))
        left.push_back(item.path().lexically_relative(work).generic_string());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = {"Reports", "other", "other/keep.txt", "up", "up/nested", "up/nested/keep.sql"};
    if (::geteuid() != 0)
        expected.push_back("up/readonly.sql");  // a read-only file stays where the user cannot delete it
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
    package::ClearWorkDir(dir / "missing");  // never fails
}

TEST(ClearWorkDir, DoesNotClearThroughALink)
{
    TempDir dir;
    const std::string work = dir / "norvex22.nvx";
    fs::create_directories(work);
    fs::create_directories(dir / "elsewhere");
    WriteFile(dir / "elsewhere/precious.sql", "x");
    fs::create_directory_symlink(dir / "elsewhere", work + "/up");
    package::ClearWorkDir(work);
    EXPECT_TRUE(fs::exists(dir / "elsewhere/precious.sql"));
}

TEST(PrepareWorkDir, CreatesAPrivateDirectoryOrRefusesAnUnsafeOne)
{
    TempDir dir;
    package::PrepareWorkDir(dir / "norvex22.nvx");
    struct stat info {};
    ::stat((dir / "norvex22.nvx").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    WriteFile(dir / "norvex22.nvx/122.rar", "x");
    package::PrepareWorkDir(dir / "norvex22.nvx");
    EXPECT_FALSE(fs::exists(dir / "norvex22.nvx/122.rar"));

    fs::create_directory(dir / "elsewhere");
    WriteFile(dir / "elsewhere/precious", "x");
    fs::create_directory_symlink(dir / "elsewhere", dir / "linked.nvx");
    EXPECT_THROW(package::PrepareWorkDir(dir / "linked.nvx"), std::runtime_error);
    EXPECT_TRUE(fs::exists(dir / "elsewhere/precious"));
}

TEST(SavePackage, ReportsFailures)
{
    TempDir dir;
    const std::string bytes = std::string("Rar!\x1A\x07\x00", 7) + std::string(100000, 'p');
    testsupport::MakePackedUpdater(dir / "updater", {{"122_RAR", bytes}, {"123_RAR", "Rar!\x1A\x07\x00 second"}});
    const package::PackageStore store(dir / "updater");

    auto messageOf = [&](const std::string& name, const std::string& file) {
        return testsupport::ErrorOf([&] { package::SavePackage(store, name, file); });
    };
    EXPECT_EQ(messageOf("122_RAR", dir / "missing/122.rar"),
              "Cannot create file \"" + (dir / "missing/122.rar") + "\". No such file or directory");
    EXPECT_EQ(messageOf("122_RAR", "/dev/full"), "Cannot create file \"/dev/full\". It is not a regular file");

    // A link left in the working directory is refused, not written through.
    WriteFile(dir / "precious", "precious");
    fs::create_symlink(dir / "precious", dir / "link.rar");
    EXPECT_EQ(messageOf("122_RAR", dir / "link.rar"),
              "Cannot create file \"" + (dir / "link.rar") + "\". It is a symbolic link");
    EXPECT_EQ(ReadFile(dir / "precious"), "precious");

    // A write that stops short (a file size limit in a child process).
    EXPECT_EQ(testsupport::RunWithFileSizeLimit(4096, [&] {
                  return messageOf("122_RAR", dir / "short.rar") == "Stream write error" ? 0 : 1;
              }),
              0);
}

TEST(UnpackPackage, StartsTheRealUnpackerInTheWorkingDirectory)
{
    TempDir dir;
    const std::string work = dir / "work dir with spaces";
    const std::string install = dir / "Program Files";
    fs::create_directories(work);
    fs::create_directories(install);
    fs::copy_file(testsupport::BinaryDir() + "/tools/rar/rar", install + "/rar");
    const std::vector<rarformat::RarEntry> entries = {
        {"up", "", true}, {"up/122.001.sql", "select 1 from rdb$database;"}, {"nvlib.exe", "program"},
        {"Reports/a.fr3", "report"}};
    WriteFile(work + "/122.rar", rarformat::WriteRar4(entries));

    auto unpacker = package::UnpackPackage(install + "/rar", work + "/122.rar", work);
    ASSERT_TRUE(unpacker.has_value());
    const platform::ExitStatus status = unpacker->Wait();
    EXPECT_TRUE(status.exited);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(ReadFile(work + "/up/122.001.sql"), "select 1 from rdb$database;");
    EXPECT_EQ(ReadFile(work + "/nvlib.exe"), "program");
    EXPECT_EQ(ReadFile(work + "/Reports/a.fr3"), "report");

    EXPECT_FALSE(package::UnpackPackage(install + "/no-such-rar", work + "/122.rar", work).has_value());
    WriteFile(install + "/not-executable", "#!/bin/sh\n");
    EXPECT_FALSE(package::UnpackPackage(install + "/not-executable", work + "/122.rar", work).has_value());
}
