#include "package/FileLag.h"

#include "PackStoreSupport.h"
#include "package/PackageStore.h"
#include "package/StoreWriter.h"
#include "platform/Sha256.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>

using package::FileLag;
using package::InstallableFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

InstallableFile Copy(const std::string& relative, const std::string& bytes)
{
    platform::Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return {relative, bytes.size(), hash.Final()};
}

std::string Lines(const FileLag& lag)
{
    std::string text;
    for (const auto& file : lag.lagging)
        text += file.relative + " from " + std::to_string(file.package) + (file.missing ? " (missing)" : "") + "\n";
    for (const auto& file : lag.foreign)
        text += file + " not from an update\n";
    return text;
}

}  // namespace

// An office's second workstation against packages 122 (a new nvlib.exe and
// a new report) and 123 (a newer nvlib.exe): what lags, what is current,
// and what is left alone, by the installed files and the version.
TEST(FileLag, DecidesEachFileByTheCopiesItHolds)
{
    const std::string p121 = "program 121", p122 = "program 122", p123 = "program 123!";
    const std::vector<package::ReplacedCopy> replaced121 {{"nvlib.exe", p121.size(), Copy("", p121).sha256}};
    struct Case {
        const char* what;
        std::int32_t version;
        std::optional<std::string> program, report;
        std::vector<package::ReplacedCopy> replaced;
        std::string expected;
    };
    const Case cases[] = {
        {"121's program, a copy a run replaced; no report", 123, p121, std::nullopt, replaced121,
         "Reports/Akt.fr3 from 122 (missing)\nnvlib.exe from 123\n"},
        {"121's program, unknown to the database", 123, p121, std::nullopt, {},
         "Reports/Akt.fr3 from 122 (missing)\nnvlib.exe not from an update\n"},
        {"122's files", 123, p122, "report 122", {}, "nvlib.exe from 123\n"},
        {"123's files", 123, p123, "report 122", {}, ""},
        {"a report edited by hand (same size)", 123, p123, "REPORT 122", {}, "Reports/Akt.fr3 not from an update\n"},
        {"a report of another size", 123, p123, "my report", {}, "Reports/Akt.fr3 not from an update\n"},
        {"a database at 122: 123's program is not older", 122, p123, "report 122", {}, ""},
        {"a database at 122: 121's program", 122, p121, "report 122", replaced121, "nvlib.exe from 122\n"},
        {"a database at 121: nothing carried is due", 121, std::nullopt, std::nullopt, {}, ""},
    };
    TempDir dir;
    package::WriteStoreFromMemory(MakeExecutable(dir), dir / "packed",
                                  {{"122_RAR", "Rar!", {{Copy("nvlib.exe", p122), Copy("Reports/Akt.fr3", "report 122")}}},
                                   {"123_RAR", "Rar!", {{Copy("nvlib.exe", p123)}}}});
    const package::PackageStore store(dir / "packed");
    for (const Case& c : cases) {
        const TempDir exeDir;
        std::filesystem::create_directory(exeDir / "Reports");
        if (c.program)
            WriteFile(exeDir / "nvlib.exe", *c.program);
        if (c.report)
            WriteFile(exeDir / "Reports/Akt.fr3", *c.report);
        const FileLag lag = package::CompareInstalledFiles(exeDir.Path(), store, c.version, c.replaced);
        EXPECT_TRUE(lag.known);
        EXPECT_EQ(Lines(lag), c.expected) << c.what;
    }
}

// An updater packed before the files were recorded cannot tell: it reports
// no lag, whatever is installed.
TEST(FileLag, PackagesWithoutTheirFilesRecordedTellNothing)
{
    TempDir dir;
    package::WriteStoreFromMemory(MakeExecutable(dir), dir / "packed",
                                  {{"122_RAR", "Rar!"}, {"123_RAR", "Rar!", {{Copy("nvlib.exe", "x")}}}});
    const package::PackageStore store(dir / "packed");
    const FileLag lag = package::CompareInstalledFiles(dir.Path(), store, 123);
    EXPECT_FALSE(lag.known);
    EXPECT_TRUE(lag.lagging.empty());
    EXPECT_TRUE(package::CompareInstalledFiles(dir.Path(), store, 121).known) << "122 is not due at 121";
}
