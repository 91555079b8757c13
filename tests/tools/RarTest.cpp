// The unpacker `rar` run as the updater runs it, on real archives.
#include "Extractor.h"
#include "Rar4Headers.h"
#include "RarWriter.h"

#include "TestSupport.h"
#include "package/Sha256.h"
#include "platform/ChildProcess.h"

#include <archive.h>
#include <archive_entry.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/resource.h>
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
    package::Sha256 hash;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
        hash.Update(buffer.data(), static_cast<std::size_t>(in.gcount()));
    return package::ToHex(hash.Final());
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
