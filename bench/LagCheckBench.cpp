// What the check of this workstation's program files adds to the checks:
// an updater carrying three packages of 50 MB, each installing a 30 MB
// nvlib.exe and 40 report templates of 200 KB, against an installation
// whose files are current (every installed file is read once: its size is
// a known copy's), one whose files are all an older package's, and one
// whose files were all edited (sizes no copy has: nothing is read).
#include "BenchSupport.h"
#include "package/FileLag.h"
#include "package/PackageStore.h"
#include "package/StoreWriter.h"
#include "platform/Sha256.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <filesystem>
#include <random>

namespace {

std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const std::uint64_t value = random();
        std::memcpy(bytes.data() + i, &value, 8);
    }
    return bytes;
}

package::InstallableFile Copy(const std::string& relative, const std::string& bytes)
{
    platform::Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return {relative, bytes.size(), hash.Final()};
}

}  // namespace

int main()
{
    const testsupport::TempDir dir;
    const std::string updater = dir / "updater";
    testsupport::WriteFile(updater, "stand-in executable " + package::EmptyLocator());
    // Each package's files, by version: the program and the reports.
    std::map<int, std::vector<std::pair<std::string, std::string>>> files;
    std::vector<package::PackageInMemory> packages;
    for (int version : {121, 122, 123}) {
        files[version].emplace_back("nvlib.exe", RandomBytes(30u << 20, version));
        for (int report = 0; report < 40; ++report)
            files[version].emplace_back("Reports/r" + std::to_string(report) + ".fr3",
                                        RandomBytes(200u << 10, version * 100 + report));
        std::vector<package::InstallableFile> recorded;
        for (const auto& [relative, bytes] : files[version])
            recorded.push_back(Copy(relative, bytes));
        packages.push_back({std::to_string(version) + "_RAR", "Rar!" + RandomBytes(50u << 20, version + 7),
                            std::move(recorded)});
    }
    package::WriteStoreFromMemory(updater, dir / "packed", packages);
    packages.clear();

    std::printf("lag check of 41 files against three 50 MB packages (best of 5)\n");
    struct Installation {
        const char* what;
        int version;  // whose files are installed; 0: edited
    };
    for (const Installation installation : {Installation {"current (123's files)", 123},
                                            Installation {"lagging (121's files)", 121},
                                            Installation {"edited (no copy's size)", 0}}) {
        const testsupport::TempDir exeDir;
        std::filesystem::create_directory(exeDir / "Reports");
        for (const auto& [relative, bytes] : files[installation.version ? installation.version : 123])
            testsupport::WriteFile(exeDir / relative, installation.version ? bytes : bytes + "edited");
        double open = 1e9, check = 1e9;
        std::size_t lagging = 0, foreign = 0;
        for (int round = 0; round < 5; ++round) {
            const auto start = bench::Clock::now();
            const package::PackageStore store(dir / "packed");
            open = std::min(open, bench::Seconds(start));
            const auto compared = bench::Clock::now();
            const package::FileLag lag = package::CompareInstalledFiles(exeDir.Path(), store, 123);
            check = std::min(check, bench::Seconds(compared));
            lagging = lag.lagging.size();
            foreign = lag.foreign.size();
        }
        std::printf("  %-26s reading the store %.3f s, the check %.3f s (%zu lagging, %zu not from an update)\n",
                    installation.what, open, check, lagging, foreign);
    }
    return 0;
}
