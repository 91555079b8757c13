#include "platform/File.h"
#include "platform/FileSystem.h"

#include "TestSupport.h"
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
    platform::ListFiles(list, up, "*.sql");
    EXPECT_EQ(list, (std::vector<std::string> {JoinPath(up, ".hidden.sql"), JoinPath(up, "122.001.SQL"), JoinPath(up, "122.002.sql"),
                                               JoinPath(up, "122.010.sql"), JoinPath(up, "sub.sql"), dir / "zz"}));
    std::vector<std::string> all;
    platform::ListFiles(all, up, "*");
    EXPECT_EQ(all.size(), 8u) << "\".\" and \"..\" are entries too";
    EXPECT_NE(std::find(all.begin(), all.end(), JoinPath(up, ".")), all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), JoinPath(up, "..")), all.end());

    std::vector<std::string> none = {"x"};
    platform::ListFiles(none, dir / "missing", "*");
    EXPECT_EQ(none, (std::vector<std::string> {"x"}));
}

TEST(ReadTextLines, SplitsAtCrLfLoneCrAndLoneLf)
{
    TempDir dir;
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\nc\r\n\r\nd", {"a", "b", "c", "", "d"}},
        {"\n\n", {"", ""}},
        {"a\n\r", {"a", ""}},
        {"a\x1A" "b\r\nc", {"a\x1A" "b", "c"}},  // Ctrl-Z ends nothing
    };
    for (const auto& c : cases) {
        WriteFile(dir / "s.sql", c.bytes);
        EXPECT_EQ(platform::ReadTextLines(dir / "s.sql"), c.lines);
    }
}

// Files are opened in binary mode everywhere: CR LF stays two bytes and a
// Ctrl-Z ends nothing, in either direction.
TEST(File, ReadsAndWritesEveryByteUnchanged)
{
    TempDir dir;
    std::string bytes = "line\r\nnext\nlone\r\x1A" "after Ctrl-Z";
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    {
        platform::File out = platform::CreateRegularFile(dir / "blob.blo");
        ASSERT_EQ(out.Write(bytes.data(), bytes.size()).Code(), 0);
    }
    EXPECT_EQ(ReadFile(dir / "blob.blo"), bytes);

    platform::File in = platform::File::OpenRead(dir / "blob.blo");
    ASSERT_TRUE(in.IsOpen());
    std::string back(bytes.size() + 10, '\0');
    std::size_t got = 0;
    ASSERT_EQ(in.Read(back.data(), back.size(), got).Code(), 0);
    EXPECT_EQ(back.substr(0, got), bytes);
    ASSERT_EQ(in.ReadAt(4, back.data(), 4, got).Code(), 0);
    EXPECT_EQ(back.substr(0, got), "\r\nne");

    {
        platform::File log = platform::File::OpenAppend(dir / "blob.blo");
        ASSERT_TRUE(log.IsOpen());
        ASSERT_EQ(log.Write("\r\n", 2).Code(), 0);
    }
    EXPECT_EQ(ReadFile(dir / "blob.blo"), bytes + "\r\n");
    EXPECT_NE(platform::File::OpenRead(dir / "missing").OpenError().Code(), 0);
}

TEST(ReplacingFile, ReplacesTheTargetOnlyWhenCommitted)
{
    TempDir dir;
    WriteFile(dir / "out", "old");
    {
        platform::ReplacingFile file(dir / "out", dir / "out");
        ASSERT_EQ(file.Output().Write("abandoned", 9).Code(), 0);
    }
    EXPECT_EQ(ReadFile(dir / "out"), "old");
    EXPECT_EQ(platform::FindEntries(dir.Path(), "*").size(), 3u) << "only ., .. and out";
    {
        platform::ReplacingFile file(dir / "out", dir / "out");
        ASSERT_EQ(file.Output().Write("new bytes", 9).Code(), 0);
        ASSERT_EQ(file.Output().WriteAt(0, "N", 1).Code(), 0);
        file.Commit();
    }
    EXPECT_EQ(ReadFile(dir / "out"), "New bytes");
}
