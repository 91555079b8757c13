// Throughput of writing a package out of the updater (SavePackage) against
// cp, and of the rar unpacker against bsdtar (Debian's libarchive-tools) on
// a 200 MB stored archive and on the 241 MB PPMd sample, with the unpackers'
// peak resident memory.
#include "RarWriter.h"
#include "TestSupport.h"
#include "package/PackageStore.h"
#include "package/StoreWriter.h"
#include "package/WorkDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 3;

struct Measure {
    double seconds = 1e9;  // best of the rounds
    long maxResidentKb = 0;
    bool failed = false;  // the command reported an error
};

// Runs argv in directory; the best time of the rounds and the largest peak
// resident memory. prepare runs before each round.
template <typename Prepare>
Measure RunCommand(const std::vector<std::string>& argv, const std::string& directory, Prepare prepare)
{
    Measure result;
    for (int round = 0; round < kRounds; ++round) {
        prepare();
        std::fflush(stdout);
        const auto start = Clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(directory.c_str()) != 0)
                ::_exit(126);
            std::freopen("/dev/null", "w", stdout);
            std::vector<char*> arguments;
            for (const auto& argument : argv)
                arguments.push_back(const_cast<char*>(argument.c_str()));
            arguments.push_back(nullptr);
            ::execvp(arguments[0], arguments.data());
            ::_exit(127);
        }
        int status = 0;
        rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        result.failed = result.failed || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
        result.seconds = std::min(result.seconds, seconds);
        result.maxResidentKb = std::max(result.maxResidentKb, usage.ru_maxrss);
    }
    return result;
}

void Report(const char* what, const Measure& measure, double megabytes)
{
    std::printf("  %-22s %6.3f s  %7.1f MB/s", what, measure.seconds, megabytes / measure.seconds);
    if (measure.maxResidentKb)
        std::printf("  max RSS %6.1f MB", measure.maxResidentKb / 1024.0);
    std::printf("%s\n", measure.failed ? "  (failed: its output is not the archive's)" : "");
}

void CompareUnpackers(const char* title, const std::string& archive, double megabytes, const std::string& rar,
                      const std::string& scratch)
{
    auto fresh = [&] {
        fs::remove_all(scratch);
        fs::create_directories(scratch);
        ::sync();
    };
    const Measure ours = RunCommand({rar, "x", "-o+", archive}, scratch, fresh);
    const Measure bsdtar = RunCommand({"bsdtar", "-xf", archive}, scratch, fresh);
    std::printf("%s (%.0f MB unpacked):\n", title, megabytes);
    Report("rar x -o+", ours, megabytes);
    Report("bsdtar -xf", bsdtar, megabytes);
    std::printf("  throughput rar/bsdtar: %.2f\n", bsdtar.seconds / ours.seconds);
}

// A 200 MB package of bytes that vary, as real archives do, and the same
// bytes as a stored archive of ten entries.
void MakeFiles(const std::string& dir, std::size_t megabytes)
{
    std::string bytes("Rar!\x1A\x07\x00", 7);
    bytes.resize(megabytes << 20);
    std::uint64_t state = 88172645463325252ull;
    for (std::size_t i = 7; i + 8 <= bytes.size(); i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(bytes.data() + i, &state, 8);
    }
    testsupport::WriteFile(dir + "/200.rar", bytes);
    std::vector<rarformat::RarEntry> entries;
    const std::size_t part = bytes.size() / 10;
    for (std::size_t i = 0; i < 10; ++i)
        entries.push_back({"up/part" + std::to_string(i) + ".blo", bytes.substr(i * part, part)});
    testsupport::WriteFile(dir + "/stored.rar", rarformat::WriteRar4(entries));
}

}  // namespace

int main()
{
    testsupport::TempDir dir;
    constexpr std::size_t kMegabytes = 200;

    // The test files are made in a child process, so that the figures of
    // the commands forked later are not those of a process holding 200 MB.
    std::fflush(stdout);
    const pid_t maker = ::fork();
    if (maker == 0) {
        MakeFiles(dir.Path(), kMegabytes);
        ::_exit(0);
    }
    int makerStatus = 0;
    ::waitpid(maker, &makerStatus, 0);
    package::WriteStore(testsupport::BinaryDir() + "/src/app/updater", dir / "updater", {{"200_RAR", dir / "200.rar"}});
    const package::PackageStore store(dir / "updater");

    double save = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        fs::remove(dir / "out.rar");
        ::sync();
        const auto start = Clock::now();
        package::SavePackage(store, "200_RAR", dir / "out.rar");
        save = std::min(save, std::chrono::duration<double>(Clock::now() - start).count());
    }
    const Measure cp = RunCommand({"cp", dir / "200.rar", dir / "cp.rar"}, dir.Path(), [&] {
        fs::remove(dir / "cp.rar");
        ::sync();
    });
    double hash = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        store.Verify(*store.Find("200_RAR"));
        hash = std::min(hash, std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::printf("writing a %zu MB package out:\n", kMegabytes);
    Report("SHA-256 alone", Measure {hash, 0}, kMegabytes);
    Report("SavePackage", Measure {save, 0}, kMegabytes);
    Report("cp", cp, kMegabytes);
    std::printf("  throughput SavePackage/cp: %.2f\n", cp.seconds / save);

    fs::remove(dir / "200.rar");
    fs::remove(dir / "updater");
    fs::remove(dir / "out.rar");
    fs::remove(dir / "cp.rar");

    const std::string rar = testsupport::BinaryDir() + "/tools/rar/rar";
    CompareUnpackers("stored archive", dir / "stored.rar", kMegabytes, rar, dir / "x");
    CompareUnpackers("PPMd sample", testsupport::TestDataDir() + "/rar/test_read_format_rar_ppmd_lzss_conversion.rar",
                     241647978 / 1048576.0, rar, dir / "x");
    return 0;
}
