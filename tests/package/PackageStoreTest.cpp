#include "package/PackageStore.h"

#include "PackStoreSupport.h"
#include "TestSupport.h"
#include "package/StoreWriter.h"
#include "package/WorkDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>

using package::PackageStore;
using package::PackageStoreError;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

platform::Digest Digest(const std::string& bytes)
{
    platform::Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Final();
}

}  // namespace

TEST(PackageStore, RoundTripThroughUpdaterPack)
{
    TempDir dir;
    const std::string updater = MakeExecutable(dir);
    WriteFile(dir / "122.rar", kRar4Signature + "first package");
    WriteFile(dir / "121.rar", kRar4Signature + "second");
    WriteFile(dir / "x.rar", std::string("Rar!\x1A\x07\x01\x00", 8) + "rar5");
    ASSERT_EQ(Pack({"add", "--force", updater, dir / "packed", dir / "122.rar", dir / "121.rar", "125_RAR=" + (dir / "x.rar")}),
              0);

    const PackageStore store(dir / "packed");
    EXPECT_EQ(store.Names(), (std::vector<std::string> {"122_RAR", "121_RAR", "125_RAR"}));
    EXPECT_EQ(store.ExecutableSize(), std::filesystem::file_size(updater));
    for (const auto& [name, file] : {std::pair {"122_RAR", "122.rar"}, {"121_RAR", "121.rar"}, {"125_RAR", "x.rar"}}) {
        package::SavePackage(store, name, dir / "out.rar");
        EXPECT_EQ(ReadFile(dir / "out.rar"), ReadFile(dir / file)) << name;
        EXPECT_TRUE(store.Verify(*store.Find(name)));
    }
    EXPECT_TRUE(std::filesystem::status(dir / "packed").permissions() == std::filesystem::status(updater).permissions());

    // Packing a packed updater replaces its store.
    ASSERT_EQ(Pack({"add", "--force", dir / "packed", dir / "repacked", dir / "121.rar"}), 0);
    const PackageStore repacked(dir / "repacked");
    EXPECT_EQ(repacked.Names(), (std::vector<std::string> {"121_RAR"}));
    EXPECT_EQ(repacked.ExecutableSize(), std::filesystem::file_size(updater));

    std::string listing;
    ASSERT_EQ(Pack({"list", dir / "packed"}, &listing), 0);
    EXPECT_EQ(listing.substr(0, listing.find('\n')),
              "122_RAR\t" + std::to_string(kRar4Signature.size() + 13) + "\t" +
                  "4d0165e35a570125ec411c325549d131099681eb7b61fb64b4b493ee3d3fcf76");
}

// The store as installations' updaters carry it, byte for byte: a stand-in
// executable "MZ", its locator, "PE", with package 7_RAR ("Rar!") appended;
// in format 2 for an updater whose empty locator names no format (one that
// reads only that), in format 3 with the package's files for one that
// reads it. A change of a format fails here in both directions.
TEST(PackageStore, TheStoredFormatsAreFixedByteForByte)
{
    const std::string golden2(
        "\x4d\x5a\x4e\x56\x58\x2d\x53\x54\x4f\x52\x45\x2d\x4c\x4f\x43\x8b\x3d\xe1\x02\x00\x00\x00\x01\x00\x00\x00\x5c\x00\x00\x00\x00\x00"
        "\x00\x00\x3b\x00\x00\x00\x00\x00\x00\x00\x60\x00\x00\x00\x00\x00\x00\x00\x37\x00\x00\x00\x00\x00\x00\x00\x2d\xd5\xb1\xd1\x95\x23"
        "\xb5\x8a\x47\xad\x41\x29\x31\xf5\x5f\x7a\xd5\xdc\xc7\x87\x43\x59\x88\x35\x2c\x9c\x36\x01\xed\xac\x6d\x9e\x50\x45\x52\x61\x72\x21"
        "\x05\x00\x37\x5f\x52\x41\x52\x5c\x00\x00\x00\x00\x00\x00\x00\x04\x00\x00\x00\x00\x00\x00\x00\x59\xdc\x41\xf5\x02\x50\x61\x61\x9d"
        "\xc8\x81\xa0\xe4\x74\x7e\x58\x8e\xaf\xb1\x23\x33\x35\x6a\x39\x2f\x8d\x2a\x02\x64\x6a\x1e\x53",
        151);
    const std::string golden3(
        "\x4d\x5a\x4e\x56\x58\x2d\x53\x54\x4f\x52\x45\x2d\x4c\x4f\x43\x8b\x3d\xe1\x03\x00\x00\x00\x01\x00\x00\x00\x5c\x00\x00\x00\x00\x00"
        "\x00\x00\x76\x00\x00\x00\x00\x00\x00\x00\x60\x00\x00\x00\x00\x00\x00\x00\x72\x00\x00\x00\x00\x00\x00\x00\x07\x2a\xb3\x50\x8b\x7c"
        "\xbc\x11\x6d\xb8\x9c\x73\x50\xb1\x26\x8b\xb4\xce\x15\xd0\xbf\xeb\x20\x54\xbd\x56\x7d\x64\x1d\x17\xc5\xd1\x50\x45\x52\x61\x72\x21"
        "\x05\x00\x37\x5f\x52\x41\x52\x5c\x00\x00\x00\x00\x00\x00\x00\x04\x00\x00\x00\x00\x00\x00\x00\x59\xdc\x41\xf5\x02\x50\x61\x61\x9d"
        "\xc8\x81\xa0\xe4\x74\x7e\x58\x8e\xaf\xb1\x23\x33\x35\x6a\x39\x2f\x8d\x2a\x02\x64\x6a\x1e\x53\x01\x00\x00\x00\x0d\x00\x52\x65\x70"
        "\x6f\x72\x74\x73\x2f\x61\x2e\x66\x72\x33\x03\x00\x00\x00\x00\x00\x00\x00\xba\x78\x16\xbf\x8f\x01\xcf\xea\x41\x41\x40\xde\x5d\xae"
        "\x22\x23\xb0\x03\x61\xa3\x96\x17\x7a\x9c\xb4\x10\xff\x61\xf2\x00\x15\xad",
        210);
    const package::InstallableFile file {"Reports/a.fr3", 3, Digest("abc")};
    struct Case {
        const char* format;
        std::string locator;
        std::string golden;
        std::optional<std::vector<package::InstallableFile>> files;
    };
    std::string oldLocator = package::EmptyLocator();
    oldLocator[package::kLocatorMagicSize] = 0;
    const Case cases[] = {{"2", oldLocator, golden2, std::nullopt},
                          {"3", package::EmptyLocator(), golden3, std::vector {file}}};
    for (const Case& c : cases) {
        TempDir dir;
        WriteFile(dir / "updater", "MZ" + c.locator + "PE");
        package::WriteStoreFromMemory(dir / "updater", dir / "packed", {{"7_RAR", "Rar!", {std::vector {file}}}});
        EXPECT_EQ(ReadFile(dir / "packed"), c.golden) << c.format;

        WriteFile(dir / "golden", c.golden);
        const PackageStore store(dir / "golden");
        EXPECT_EQ(store.Names(), (std::vector<std::string> {"7_RAR"}));
        EXPECT_EQ(store.ExecutableSize(), 92u);
        package::SavePackage(store, "7_RAR", dir / "7.rar");
        EXPECT_EQ(ReadFile(dir / "7.rar"), "Rar!");
        const auto& files = store.Find("7_RAR")->files;
        ASSERT_EQ(files.has_value(), c.files.has_value()) << c.format;
        if (files) {
            ASSERT_EQ(files->size(), 1u);
            EXPECT_EQ((*files)[0].relative, file.relative);
            EXPECT_EQ((*files)[0].size, file.size);
            EXPECT_EQ((*files)[0].sha256, file.sha256);
        }
    }
}

TEST(PackageStore, AnExecutableWithAnEmptyLocatorCarriesNoPackages)
{
    TempDir dir;
    const PackageStore store(MakeExecutable(dir));
    EXPECT_TRUE(store.Names().empty());
    EXPECT_EQ(store.Find("122_RAR"), nullptr);
    EXPECT_TRUE(PackageStore(testsupport::BuiltProgram("src/app", "updater")).Names().empty());
    WriteFile(dir / "empty", "");
    EXPECT_THROW(PackageStore(dir / "empty"), PackageStoreError) << "not an updater at all";
}

TEST(PackageStore, ADamagedStoreIsAClearError)
{
    TempDir dir;
    const std::string updater = MakeExecutable(dir);
    // 122 without its files recorded, 123 with three.
    const std::vector<package::InstallableFile> files {{"a.exe", 1, {}}, {"b.exe", 2, {}}, {"Reports/c.fr3", 3, {}}};
    package::WriteStoreFromMemory(updater, dir / "good",
                                  {{"122_RAR", kRar4Signature + "package bytes"},
                                   {"123_RAR", kRar4Signature + "more package bytes", files}});
    const std::string good = ReadFile(dir / "good");
    const std::size_t locator = static_cast<std::size_t>(PackageStore(dir / "good").LocatorOffset());
    const std::size_t first = 2 + 7 + 48 + 4;
    const std::size_t indexSize = first + first + 2 * (2 + 5 + 40) + (2 + 13 + 40);
    const std::size_t indexOffset = good.size() - indexSize;

    auto patched = [](std::string bytes, std::size_t at, std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
        return bytes;
    };
    // A changed index with its hash brought up to date, so that the checks
    // behind the hash are reached.
    auto patchedIndex = [&](std::size_t at, std::uint64_t value, int size) {
        std::string bytes = patched(good, at, value, size);
        platform::Sha256 hash;
        hash.Update(bytes.data() + indexOffset, indexSize);
        const platform::Digest digest = hash.Final();
        bytes.replace(locator + 56, 32, reinterpret_cast<const char*>(digest.data()), 32);
        return bytes;
    };
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"cut by one byte", good.substr(0, good.size() - 1)},
        {"cut inside the packages", good.substr(0, indexOffset - 5)},
        {"unknown version", patched(good, locator + 16, 7, 4)},
        {"store size beyond the file", patched(good, locator + 32, 1ull << 40, 8)},
        {"store size that wraps", patched(good, locator + 32, ~0ull - 3, 8)},
        {"index offset beyond the store", patched(good, locator + 40, good.size() * 2, 8)},
        {"index size wrong", patched(good, locator + 48, 5, 8)},
        {"store start inside the locator", patched(good, locator + 24, locator, 8)},
        {"index changed", patched(good, indexOffset + 3, 'X', 1)},
        {"more packages than the index holds", patched(good, locator + 20, 3, 4)},
        {"name length beyond the index", patchedIndex(indexOffset, 60000, 2)},
        {"package beyond the store", patchedIndex(indexOffset + 2 + 7 + 8, 1ull << 40, 8)},
        {"offset overflow", patchedIndex(indexOffset + 2 + 7, ~0ull - 3, 8)},
        {"overlapping packages", patchedIndex(indexOffset + first + 2 + 7, good.find("more package") - 12, 8)},
        {"more files than the index holds", patchedIndex(indexOffset + first + 57, 4, 4)},
        {"a file count past the index", patchedIndex(indexOffset + 57, 1000000, 4)},
        {"a file the updater does not install", patchedIndex(indexOffset + first + 61 + 2 + 4, 'x', 1)},
        {"a file given twice", patchedIndex(indexOffset + first + 61 + 47 + 2, 'a', 1)},
        {"a separator that is not /", patchedIndex(indexOffset + first + 61 + 47 + 47 + 2 + 7, '\\', 1)},
    };
    for (const auto& c : cases) {
        WriteFile(dir / "damaged", c.bytes);
        try {
            PackageStore store(dir / "damaged", "/opt/Norvex/updater");
            ADD_FAILURE() << c.what << ": no error";
        } catch (const PackageStoreError& error) {
            EXPECT_EQ(std::string(error.what()).rfind("The package store of \"/opt/Norvex/updater\" is damaged: ", 0), 0u)
                << error.what();
        }
    }
    std::string err;
    WriteFile(dir / "cut", good.substr(0, good.size() - 1));
    EXPECT_EQ(Pack({"list", dir / "cut"}, nullptr, &err), packtool::kFailed);
    EXPECT_NE(err.find("cut short"), std::string::npos) << err;
    EXPECT_EQ(Pack({"verify", dir / "cut"}), packtool::kFailed);
}

// Bytes after the store (a code signature) neither hide it nor survive a
// repacking.
TEST(PackageStore, BytesAfterTheStoreDoNotHideIt)
{
    TempDir dir;
    WriteFile(dir / "122.rar", kRar4Signature + "package bytes");
    ASSERT_EQ(Pack({"add", "--force", MakeExecutable(dir), dir / "packed", dir / "122.rar"}), 0);
    WriteFile(dir / "signed", ReadFile(dir / "packed") + std::string(4096, 'S'));
    const PackageStore store(dir / "signed");
    EXPECT_EQ(store.Names(), (std::vector<std::string> {"122_RAR"}));
    EXPECT_TRUE(store.Verify(*store.Find("122_RAR")));
    ASSERT_EQ(Pack({"add", "--force", dir / "signed", dir / "repacked", dir / "122.rar"}), 0);
    EXPECT_EQ(ReadFile(dir / "repacked"), ReadFile(dir / "packed"));
    WriteFile(dir / "twice", "x" + package::EmptyLocator() + package::EmptyLocator());
    EXPECT_EQ(Pack({"add", "--force", dir / "twice", dir / "out", dir / "122.rar"}), packtool::kFailed);
}

TEST(UpdaterPack, RefusesBadInputAndWritesNothing)
{
    TempDir dir;
    const std::string updater = MakeExecutable(dir);
    WriteFile(dir / "122.rar", kRar4Signature + "x");
    WriteFile(dir / "zip.rar", "PK\x03\x04 not a rar");
    WriteFile(dir / "short.rar", "Rar");
    struct Case {
        std::vector<std::string> packages;
        const char* message;
    };
    const Case cases[] = {
        {{dir / "missing.rar"}, "cannot be opened"},
        {{dir / "zip.rar"}, "is not a RAR archive"},
        {{dir / "short.rar"}, "is not a RAR archive"},
        {{dir / "122.rar", "122_RAR=" + (dir / "122.rar")}, "is given twice"},
        {{"122_rar=" + (dir / "122.rar")}, "would not see it as a package"},
        {{"x_RAR=" + (dir / "122.rar")}, "does not start with a package number"},
        {{"_RAR=" + (dir / "122.rar")}, "does not start with a package number"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {"add", "--force", updater, dir / "out"};
        arguments.insert(arguments.end(), c.packages.begin(), c.packages.end());
        std::string err;
        EXPECT_EQ(Pack(arguments, nullptr, &err), packtool::kFailed) << c.message;
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_FALSE(std::filesystem::exists(dir / "out"));
    }
    EXPECT_EQ(Pack({"frobnicate"}), packtool::kUsage);
}

TEST(UpdaterPack, VerifyFindsAChangedByte)
{
    TempDir dir;
    WriteFile(dir / "122.rar", kRar4Signature + "package bytes");
    ASSERT_EQ(Pack({"add", "--force", MakeExecutable(dir), dir / "packed", dir / "122.rar"}), 0);
    std::string out;
    EXPECT_EQ(Pack({"verify", dir / "packed"}, &out), 0);
    EXPECT_EQ(out, "122_RAR: OK\n");

    std::string bytes = ReadFile(dir / "packed");
    bytes[bytes.find("package bytes")] = 'P';
    WriteFile(dir / "packed", bytes);
    std::string err;
    EXPECT_EQ(Pack({"verify", dir / "packed"}, nullptr, &err), packtool::kFailed);
    EXPECT_NE(err.find("122_RAR: SHA-256 mismatch"), std::string::npos);
    EXPECT_THROW(package::SavePackage(PackageStore(dir / "packed"), "122_RAR", dir / "122.out"), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(dir / "122.out")) << "a damaged package must not stay on disk";
}

TEST(UpdaterPack, NamesPackagesAfterTheirFiles)
{
    std::string file;
    EXPECT_EQ(packtool::PackageNameFor("/a/b/122.rar", file), "122_RAR");
    EXPECT_EQ(file, "/a/b/122.rar");
    EXPECT_EQ(packtool::PackageNameFor("123_RAR=/x/any name.bin", file), "123_RAR");
    EXPECT_EQ(file, "/x/any name.bin");
}
