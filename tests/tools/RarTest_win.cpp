#include "Extractor.h"
#include "RarWriter.h"

#include "TestSupport.h"
#include "package/WorkDir.h"
#include "platform/ChildProcess.h"
#include "platform/Paths.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace fs = std::filesystem;
using platform::JoinPath;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string RarData(const std::string& name) { return JoinPath(JoinPath(testsupport::TestDataDir(), "rar"), name); }

// rar.exe started as the updater starts it: from an installation directory
// whose path holds a blank, with the working directory as current one.
struct Unpacker {
    TempDir dir;
    std::string install = dir / "Program Files";
    std::string work = dir / "work";

    Unpacker()
    {
        fs::create_directories(install);
        fs::create_directories(work);
        fs::copy_file(testsupport::BuiltProgram("tools/rar", "rar"), JoinPath(install, "rar.exe"));
        // What a command line without quotes would start instead.
        fs::copy_file(testsupport::BuiltProgram("tests/support", "test-helper"), dir / "Program.exe");
    }
    int Run(const std::string& archive)
    {
        auto process = package::UnpackPackage(JoinPath(install, "rar.exe"), archive, work);
        if (!process)
            return -1;
        const platform::ExitStatus status = process->Wait();
        return status.exited ? status.code : -2;
    }
    // The files the run left in the working directory (rar.log aside).
    std::map<std::string, std::string> Files() const
    {
        std::map<std::string, std::string> files;
        for (const auto& item : fs::recursive_directory_iterator(work)) {
            const std::string relative = item.path().lexically_relative(work).generic_string();
            if (relative != package::kRarLogName)
                files[relative] = item.is_directory() ? "dir" : ReadFile(item.path().string());
        }
        return files;
    }
};

}  // namespace

TEST(RarExe, ExtractsStoredEntriesByteForByte)
{
    Unpacker unpacker;
    const std::string program = std::string("MZ\r\n\x1A\0program", 14);
    const std::vector<rarformat::RarEntry> entries = {
        {"up", "", true}, {"up/122.001.sql", "insert into T values (1);\r\n"}, {"nvlib.exe", program},
        {"Reports/a.fr3", "report"}};
    WriteFile(unpacker.work + "\\122.rar", rarformat::WriteRar4(entries));
    EXPECT_EQ(unpacker.Run(unpacker.work + "\\122.rar"), 0) << ReadFile(unpacker.work + "\\rar.log");
    const std::map<std::string, std::string> expected = {
        {"122.rar", rarformat::WriteRar4(entries)}, {"up", "dir"}, {"up/122.001.sql", "insert into T values (1);\r\n"},
        {"nvlib.exe", program}, {"Reports", "dir"}, {"Reports/a.fr3", "report"}};
    EXPECT_EQ(unpacker.Files(), expected);
}

// Exit codes for real archives: stored ones extract (a Unix link is left
// out with a warning); compressed entries and RAR 5 archives need the RAR for
// Windows and leave nothing behind.
TEST(RarExe, ReadsRealArchivesOrRefusesWhatItCannotDecode)
{
    struct Case {
        const char* archive;
        int code;
        const char* present;  // a file that must be there afterwards, or null
    };
    const Case cases[] = {
        {"test_read_format_rar_windows.rar", 0, "testdir/test.txt"},
        {"test_read_format_rar.rar", 1, "testdir/test.txt"},
        {"test_read_format_rar_compress_normal.rar", 3, nullptr},
        {"test_read_format_rar5_stored.rar", 3, nullptr},
        {"encrypted/test_read_format_rar4_encrypted.rar", 2, nullptr},
    };
    for (const auto& c : cases) {
        Unpacker unpacker;
        EXPECT_EQ(unpacker.Run(RarData(c.archive)), c.code) << c.archive;
        const auto files = unpacker.Files();
        if (c.present)
            EXPECT_EQ(files.count(c.present), 1u) << c.archive;
        else
            EXPECT_TRUE(files.empty()) << c.archive;
    }
}

TEST(RarExe, RefusesUnsafeNamesAndDamagedData)
{
    Unpacker unpacker;
    WriteFile(unpacker.work + "\\nvlib.exe", "installed");
    const std::vector<rarformat::RarEntry> hostile = {
        {"../outside.exe", "x"}, {"nvlib.exe:stream", "x"}, {"CON.sql", "x"}, {"trailing.", "x"}, {"ok.exe", "ok"}};
    WriteFile(unpacker.dir / "hostile.rar", rarformat::WriteRar4(hostile));
    EXPECT_EQ(unpacker.Run(unpacker.dir / "hostile.rar"), 1);
    EXPECT_EQ(unpacker.Files(), (std::map<std::string, std::string> {{"nvlib.exe", "installed"}, {"ok.exe", "ok"}}));
    EXPECT_FALSE(fs::exists(unpacker.dir / "outside.exe"));

    std::string damaged = rarformat::WriteRar4({{"a.exe", "first"}, {"b.exe", "second"}});
    damaged[damaged.find("second")] = 'S';
    WriteFile(unpacker.dir / "damaged.rar", damaged);
    EXPECT_EQ(unpacker.Run(unpacker.dir / "damaged.rar"), 3);
    EXPECT_FALSE(fs::exists(unpacker.work + "\\a.exe")) << "nothing is placed unless every entry is intact";
}
