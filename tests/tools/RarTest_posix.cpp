// The unpacker `rar` run as the updater runs it, on real archives.
#include "Extractor.h"
#include "Rar4Headers.h"
#include "RarWriter.h"
#include "Crc32.h"
#include "UniqueFd.h"

#include "TestSupport.h"
#include "platform/Sha256.h"
#include "platform/ChildProcess.h"
#include "platform/FileSystem.h"

#include <archive.h>
#include <archive_entry.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <map>
#include <set>
#include <sstream>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using rarformat::RarEntry;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string RarPath() { return testsupport::BinaryDir() + "/tools/rar/rar"; }
std::string RarData() { return testsupport::TestDataDir() + "/rar"; }

struct RunResult {
    int code = -1;
    long maxResidentKb = 0;
};

// Runs rar x -o+ archive in directory, as the updater does.
RunResult RunRar(const std::string& archive, const std::string& directory, const std::string& overwrite = "-o+")
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(directory.c_str()) != 0)
            ::_exit(126);
        ::umask(022);
        ::alarm(60);  // a hanging unpacker fails the test instead of stopping the suite
        ::freopen("/dev/null", "w", stdout);
        ::execl(RarPath().c_str(), "rar", "x", overwrite.c_str(), archive.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), usage.ru_maxrss};
}

std::string Sha256Of(const std::string& path)
{
    platform::Sha256 hash;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
        hash.Update(buffer.data(), static_cast<std::size_t>(in.gcount()));
    return platform::ToHex(hash.Final());
}

// What a directory holds: path -> "file <sha256>", "dir" or "symlink <target>".
std::map<std::string, std::string> Contents(const std::string& root)
{
    std::map<std::string, std::string> contents;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        const std::string relative = item.path().lexically_relative(root).generic_string();
        if (item.is_symlink())
            contents[relative] = "symlink " + fs::read_symlink(item.path()).string();
        else if (item.is_directory())
            contents[relative] = "dir";
        else
            contents[relative] = "file " + Sha256Of(item.path().string());
    }
    return contents;
}

std::vector<std::vector<std::string>> ReadTsv(const std::string& path)
{
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream stream(line);
        std::string field;
        while (std::getline(stream, field, '\t'))
            fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

void WriteArchive(const std::string& path, const std::vector<RarEntry>& entries)
{
    WriteFile(path, rarformat::WriteRar4(entries));
}

}  // namespace

// Every archive that the test data marks as extracting cleanly gives exactly
// its listed files, directories and checksums; links are made when their
// target stays inside, and refused otherwise.
TEST(Rar, ExtractsTheSampleArchivesExactly)
{
    std::map<std::string, std::map<std::string, std::string>> expected;
    for (const auto& row : ReadTsv(RarData() + "/MANIFEST.tsv")) {
        if (row.at(3) != "yes")
            continue;
        const std::string& type = row.at(5);
        if (type == "file")
            expected[row[0]][row.at(4)] = "file " + row.at(7);
        else if (type == "dir")
            expected[row[0]][row.at(4)] = "dir";
        else
            expected[row[0]];  // links: below
    }
    for (const auto& row : ReadTsv(RarData() + "/LINKS.tsv")) {
        if (row.at(2) != "symlink" || !expected.count(row[0]))
            continue;
        if (rarformat::SymlinkStaysInside(row.at(1), row.at(3)))
            expected[row[0]][row[1]] = "symlink " + row.at(3);
    }
    ASSERT_GE(expected.size(), 27u);
    for (const auto& [archive, contents] : expected) {
        TempDir dir;
        const RunResult result = RunRar(RarData() + "/" + archive, dir.Path());
        const bool refusesALink = archive.rfind("hostile/", 0) == 0;
        EXPECT_EQ(result.code, refusesALink ? 1 : 0) << archive;
        EXPECT_EQ(Contents(dir.Path()), contents) << archive;
        if (archive == "test_read_format_rar_ppmd_lzss_conversion.rar") {
            EXPECT_LT(result.maxResidentKb, 160 * 1024) << "the 241 MB file must stream";
        }
    }
}

TEST(Rar, DamagedEncryptedAndHostileArchivesWriteNothingOutside)
{
    struct Case {
        const char* archive;
        int code;
    };
    const Case cases[] = {
        {"edge/test_read_format_rar3_lowdist_reset.rar", 3},
        {"encrypted/test_read_format_rar4_encrypted.rar", 2},
        {"encrypted/test_read_format_rar_encryption_data.rar", 2},
        {"encrypted/test_read_format_rar_encryption_header.rar", 2},
        {"hostile/rar5-evil-symlink-traversal.rar", 1},
        {"../../fuzz/seeds/rar/rar5-data-ends-early.rar", 2},  // found by fuzz_extract
    };
    for (const auto& c : cases) {
        TempDir outer;
        fs::create_directory(outer / "work");
        const RunResult result = RunRar(RarData() + "/" + c.archive, outer / "work");
        EXPECT_EQ(result.code, c.code) << c.archive;
        EXPECT_EQ(Contents(outer.Path()).count("pwned.txt"), 0u) << c.archive;
        for (const auto& [path, what] : Contents(outer.Path()))
            EXPECT_EQ(path.rfind("work", 0), 0u) << c.archive << " wrote " << path;
        if (c.code >= 2) {
            EXPECT_EQ(Contents(outer / "work").size(), 0u) << c.archive << " left files behind";
        }
    }
}

TEST(Rar, RefusesEntriesThatWouldLeaveTheDirectory)
{
    TempDir outer;
    fs::create_directory(outer / "work");
    RarEntry absolute {"/tmp/evil-absolute.txt", "x"};
    RarEntry climbing {"up/../../evil.txt", "x"};
    RarEntry drive {"C:\\evil.txt", "x"};
    RarEntry good {"up/good.sql", "select 1 from rdb$database;"};
    WriteArchive(outer / "hostile.rar", {absolute, climbing, drive, good});
    EXPECT_EQ(RunRar(outer / "hostile.rar", outer / "work").code, 1);
    EXPECT_FALSE(fs::exists("/tmp/evil-absolute.txt"));
    EXPECT_FALSE(fs::exists(outer / "evil.txt"));
    EXPECT_EQ(ReadFile(outer / "work/up/good.sql"), "select 1 from rdb$database;");
    EXPECT_EQ(Contents(outer / "work").size(), 2u);
}

TEST(Rar, ADamagedArchiveLeavesNoHalfWrittenFiles)
{
    TempDir dir;
    std::string bytes = rarformat::WriteRar4({{"first.exe", std::string(1000, 'a')}, {"second.exe", "bbbb"}});
    bytes[bytes.find("bbbb")] = 'X';  // the second file's CRC no longer matches
    WriteFile(dir / "damaged.rar", bytes);
    fs::create_directory(dir / "work");
    EXPECT_EQ(RunRar(dir / "damaged.rar", dir / "work").code, 3);
    EXPECT_TRUE(Contents(dir / "work").empty());

    WriteFile(dir / "cut.rar", bytes.substr(0, 60));
    EXPECT_NE(RunRar(dir / "cut.rar", dir / "work").code, 0);
    EXPECT_EQ(RunRar(dir / "missing.rar", dir / "work").code, 6);
    WriteFile(dir / "plain.rar", "not an archive at all");
    EXPECT_EQ(RunRar(dir / "plain.rar", dir / "work").code, 2);
    EXPECT_TRUE(Contents(dir / "work").empty());
}

TEST(Rar, OverwritesExistingFilesWithoutAsking)
{
    TempDir dir;
    WriteArchive(dir / "p.rar", {{"nvlib.exe", "new"}, {"Reports", "", true}, {"Reports/a.fr3", "report"}});
    fs::create_directories(dir / "work/Reports");
    WriteFile(dir / "work/nvlib.exe", "old version");
    EXPECT_EQ(RunRar(dir / "p.rar", dir / "work").code, 0);
    EXPECT_EQ(ReadFile(dir / "work/nvlib.exe"), "new");
    EXPECT_EQ(ReadFile(dir / "work/Reports/a.fr3"), "report");

    WriteFile(dir / "work/nvlib.exe", "kept");
    EXPECT_EQ(RunRar(dir / "p.rar", dir / "work", "-o-").code, 0);
    EXPECT_EQ(ReadFile(dir / "work/nvlib.exe"), "kept");
}

TEST(Rar, DecodesNamesByTheirFlagsAndHost)
{
    TempDir dir;
    RarEntry oem {"Акт Ї.fr3", "cp866", false, rarformat::HostOs::Windows};
    oem.legacyName = "\x80\xAA\xE2 \xF4.fr3";  // "Акт Ї" in CP866
    RarEntry unicode {"Reports/Акт 𝐀.fr3", "unicode"};
    RarEntry unix {"unix_name", "raw", false, rarformat::HostOs::Unix};
    WriteArchive(dir / "names.rar", {oem, unicode, unix});
    EXPECT_EQ(RunRar(dir / "names.rar", dir.Path()).code, 0);
    EXPECT_EQ(ReadFile(dir / "Акт Ї.fr3"), "cp866");
    EXPECT_EQ(ReadFile(dir / "Reports/Акт 𝐀.fr3"), "unicode");
    EXPECT_EQ(ReadFile(dir / "unix_name"), "raw");

    EXPECT_EQ(rarformat::DecodeRar4Name("\x80\xAA\xE2", 0, 2, "CP866"), "Акт");
    EXPECT_EQ(rarformat::DecodeRar4Name("\x80\xAA\xE2", 0, 0, "CP1251"), "ЂЄв");
    EXPECT_EQ(rarformat::DecodeRar4Name("a\\b", 0, 3, "CP866"), "a/b");
    EXPECT_EQ(rarformat::DecodeRar4Name("\xD0\x97", 0, 3, "CP866"), "З");  // Unix hosts: raw bytes
}

// The writer's archives read back through libarchive, the reference reader.
TEST(RarWriter, ArchivesReadBackThroughLibArchive)
{
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::string big(300000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 31 + 7);
    const std::vector<RarEntry> entries = {
        {"up", "", true},
        {"up/122.001.sql", "insert into versions (data) values (122);\r\n"},
        {"up/INFO_DOC.NOTE_U.ID 200.blo", big},
        {"nvlib.exe", ""},
        {"Reports/Звіт.fr3", "<report/>"},
    };
    const std::string bytes = rarformat::WriteRar4(entries);
    archive* reader = archive_read_new();
    archive_read_support_format_rar(reader);
    ASSERT_EQ(archive_read_open_memory(reader, bytes.data(), bytes.size()), ARCHIVE_OK);
    archive_entry* entry = nullptr;
    std::size_t index = 0;
    while (archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
        ASSERT_LT(index, entries.size());
        EXPECT_EQ(std::string(archive_entry_pathname_utf8(entry)), entries[index].name);
        EXPECT_EQ(archive_entry_filetype(entry) == AE_IFDIR, entries[index].directory);
        std::string data;
        const void* block;
        std::size_t size;
        la_int64_t offset;
        int status;
        while ((status = archive_read_data_block(reader, &block, &size, &offset)) == ARCHIVE_OK)
            data.append(static_cast<const char*>(block), size);
        EXPECT_EQ(status, ARCHIVE_EOF) << archive_error_string(reader);
        EXPECT_EQ(data, entries[index].data) << entries[index].name;
        ++index;
    }
    EXPECT_EQ(index, entries.size());
    archive_read_free(reader);
}

TEST(Rar, RefusesUnknownCommands)
{
    std::ostringstream out, err;
    EXPECT_EQ(rarformat::RunRar({"a", "x.rar"}, out, err), 7);
    EXPECT_EQ(rarformat::RunRar({"x", "-zz", "x.rar"}, out, err), 7);
    EXPECT_EQ(rarformat::RunRar({"x"}, out, err), 7);
}

TEST(SafeComponents, AcceptsOnlyPathsInside)
{
    std::string why;
    EXPECT_EQ(rarformat::SafeComponents("a/./b//c", why), (std::vector<std::string> {"a", "b", "c"}));
    EXPECT_EQ(rarformat::SafeComponents("a\\b", why), (std::vector<std::string> {"a", "b"}));
    for (const char* bad : {"/etc/passwd", "\\x", "C:x", "c:/x", "a/../../b", "..", "a/..", "", "./."})
        EXPECT_TRUE(rarformat::SafeComponents(bad, why).empty()) << bad;
    EXPECT_TRUE(rarformat::SymlinkStaysInside("a/link", "../b"));
    EXPECT_TRUE(rarformat::SymlinkStaysInside("link", "dir/file"));
    EXPECT_FALSE(rarformat::SymlinkStaysInside("link", "../b"));
    EXPECT_FALSE(rarformat::SymlinkStaysInside("a/link", "../../b"));
    EXPECT_FALSE(rarformat::SymlinkStaysInside("link", "/etc/passwd"));
    EXPECT_FALSE(rarformat::SymlinkStaysInside("up", ".."));
}

namespace {

void Put(std::string& out, unsigned long long value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A one-file archive whose file header carries the given 64-bit data size
// (the large-file flag) and header size.
std::string ArchiveWithDataSize(unsigned long long dataSize, unsigned headSize = 41)
{
    std::string header;
    header += '\x74';
    Put(header, 0x8000 | 0x100, 2);
    Put(header, headSize, 2);
    Put(header, dataSize & 0xFFFFFFFF, 4);
    Put(header, 0, 4);
    header += '\x03';
    Put(header, 0, 8);
    header += "\x14\x30";
    Put(header, 1, 2);
    Put(header, 0100644, 4);
    Put(header, dataSize >> 32, 4);
    Put(header, 0, 4);
    header += 'a';
    std::string archive("Rar!\x1A\x07\x00", 7);
    Put(archive, rarformat::Crc32(0, header.data(), header.size()) & 0xFFFF, 2);
    return archive + header;
}

RarEntry UnixEntry(const std::string& name, const std::string& data, unsigned mode)
{
    RarEntry entry {name, data, false, rarformat::HostOs::Unix};
    entry.unixMode = mode;
    return entry;
}

RarEntry Link(const std::string& name, const std::string& target) { return UnixEntry(name, target, 0120777); }

}  // namespace

// Damaged sizes end the header walk with an error at once: the walk only
// ever moves forward and never past the archive's end.
TEST(Rar, DamagedSizesEndTheHeaderWalk)
{
    const std::string wrapping = ArchiveWithDataSize(0ull - 41);  // 48 bytes: wraps back to its own header
    ASSERT_EQ(wrapping.size(), 48u);
    const std::string cases[] = {
        wrapping,
        ArchiveWithDataSize(0ull - 1),
        ArchiveWithDataSize(1ull << 40),
        ArchiveWithDataSize(8),           // one byte more than the archive holds
        ArchiveWithDataSize(0, 400),      // a header longer than the archive
        wrapping.substr(0, 30),
    };
    TempDir dir;
    fs::create_directory(dir / "work");
    for (const auto& bytes : cases) {
        EXPECT_THROW(rarformat::ReadRar4Headers(std::string_view(bytes)), rarformat::ArchiveError);
        WriteFile(dir / "damaged.rar", bytes);
        EXPECT_EQ(RunRar(dir / "damaged.rar", dir / "work").code, 2);
        EXPECT_TRUE(Contents(dir / "work").empty());
    }
    EXPECT_EQ(rarformat::ReadRar4Headers(std::string_view(ArchiveWithDataSize(7) + "1234567")).size(), 1u);
}

// Nothing is written through a symbolic link, whether the archive made it
// or found it there, and no link is made that leads outside once the links
// before it are followed.
TEST(Rar, NoEntryIsWrittenThroughALink)
{
    struct Case {
        const char* what;
        std::vector<RarEntry> entries;
        std::map<std::string, std::string> expected;  // what work holds afterwards
    };
    const Case cases[] = {
        {"a chain of links climbing out",
         {Link("a", "."), Link("escape", "a/a/a/../../../outside"), {"nvlib.exe", "program"}},
         {{"a", "symlink ."}, {"nvlib.exe", "file " + std::string(64, '?')}}},
        {"a later link that would lead an earlier one out",
         {Link("b", "c/c/../.."), Link("c", ".")},
         {{"b", "symlink c/c/../.."}}},
        {"a file behind a link of the archive",
         {Link("up", "real"), {"real", "", true}, {"up/a.sql", "x"}},
         {{"real", "dir"}, {"up", "dir"}, {"up/a.sql", "file " + std::string(64, '?')}}},
        {"a link to an absolute path", {Link("123.rar", "/etc/passwd")}, {}},
    };
    for (const auto& c : cases) {
        TempDir outer;
        WriteFile(outer / "outside", "outside");
        fs::create_directory(outer / "work");
        WriteArchive(outer / "links.rar", c.entries);
        EXPECT_EQ(RunRar(outer / "links.rar", outer / "work").code, 1) << c.what;
        auto contents = Contents(outer / "work");
        for (auto& [path, what] : contents) {
            if (what.rfind("file ", 0) == 0)
                what = "file " + std::string(64, '?');
        }
        EXPECT_EQ(contents, c.expected) << c.what;
        EXPECT_EQ(ReadFile(outer / "outside"), "outside") << c.what;
    }

    // A link already in the destination is not written through either.
    TempDir outer;
    fs::create_directories(outer / "work");
    fs::create_directories(outer / "elsewhere");
    fs::create_directory_symlink(outer / "elsewhere", outer / "work/up");
    WriteArchive(outer / "p.rar", {{"up/a.sql", "x"}, {"nvlib.exe", "program"}});
    EXPECT_EQ(RunRar(outer / "p.rar", outer / "work").code, 1);
    EXPECT_TRUE(fs::is_empty(outer / "elsewhere"));
    EXPECT_EQ(ReadFile(outer / "work/nvlib.exe"), "program");
}

TEST(Rar, AppliesTheUnixPermissionsOfUnixHosts)
{
    TempDir dir;
    RarEntry directory {"bin", "", true, rarformat::HostOs::Unix};
    directory.unixMode = 040500;
    WriteArchive(dir / "modes.rar", {UnixEntry("nvlib.exe", "program", 0100755),
                                     UnixEntry("setuid.exe", "program", 0104755),
                                     UnixEntry("private", "secret", 0100600),
                                     {"windows.exe", "program"},
                                     directory,
                                     UnixEntry("bin/tool", "tool", 0100700)});
    fs::create_directory(dir / "work");
    ASSERT_EQ(RunRar(dir / "modes.rar", dir / "work").code, 0);
    auto mode = [&](const std::string& name) {
        struct stat info {};
        ::lstat((dir / ("work/" + name)).c_str(), &info);
        return info.st_mode & 07777;
    };
    EXPECT_EQ(mode("nvlib.exe"), 0755u);
    EXPECT_EQ(mode("setuid.exe"), 0755u) << "set-id bits are never applied";
    EXPECT_EQ(mode("private"), 0600u);
    EXPECT_EQ(mode("windows.exe"), 0644u);
    EXPECT_EQ(mode("bin"), 0700u) << "the owner keeps full access to directories";
    EXPECT_EQ(mode("bin/tool"), 0700u);
}

// Staging directories of interrupted runs are removed; names of another
// pattern, one that a running extraction holds, and a link (never made by
// rar) stay.
TEST(Rar, RemovesTheStagingDirectoriesOfInterruptedRuns)
{
    TempDir dir;
    const std::string work = dir / "work";
    for (const char* name : {".rar-staging-AbC123", ".rar-staging-Busy99", ".rar-staging-kept", "staging-XyZ789"}) {
        fs::create_directories(work + "/" + name + "/up");
        WriteFile(work + "/" + name + "/up/left.sql", "x");
    }
    fs::create_directory_symlink(dir.Path(), work + "/.rar-staging-Link00");
    rarextract::UniqueFd busy(::open((work + "/.rar-staging-Busy99").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_EQ(::flock(busy.Get(), LOCK_EX), 0);
    WriteArchive(dir / "p.rar", {{"nvlib.exe", "program"}});
    EXPECT_EQ(RunRar(dir / "p.rar", work).code, 0);
    std::set<std::string> left;
    for (const auto& item : fs::directory_iterator(work))
        left.insert(item.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string> {".rar-staging-Busy99", ".rar-staging-Link00", ".rar-staging-kept",
                                            "staging-XyZ789", "nvlib.exe"}));
    EXPECT_TRUE(fs::exists(dir / "p.rar"));
    EXPECT_TRUE(rarformat::IsStagingName(".rar-staging-AbC123"));
    EXPECT_FALSE(rarformat::IsStagingName(".rar-staging-AbC12!"));
}

TEST(Rar, SkipsNamesWithANulByteOrTooLongForTheFileSystem)
{
    TempDir dir;
    RarEntry nul {std::string("up/a.sql\0.txt", 13), "cut short"};
    RarEntry unixNul = UnixEntry(std::string("b.exe\0x", 7), "cut short", 0100755);
    RarEntry tooLong {"up/" + std::string(300, 'x') + ".sql", "long"};
    WriteArchive(dir / "names.rar", {nul, unixNul, tooLong, {"up/good.sql", "good"}});
    fs::create_directory(dir / "work");
    EXPECT_EQ(RunRar(dir / "names.rar", dir / "work").code, 1);
    EXPECT_EQ(Contents(dir / "work").size(), 2u);
    EXPECT_EQ(ReadFile(dir / "work/up/good.sql"), "good");
}
