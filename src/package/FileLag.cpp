#include "package/FileLag.h"

#include "package/PackageName.h"
#include "package/PackageStore.h"
#include "package/ProgramFiles.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Sha256.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace package {

namespace {

// A package's copy of a file, and where the package installs it among its
// files.
struct PackageCopy {
    std::int32_t package = 0;
    std::size_t position = 0;
    const InstallableFile* file = nullptr;
};

// What is installed at a file's path.
enum class Installed { Missing, Foreign, Regular };

Installed Probe(const std::string& exeDir, const std::string& relative, std::uint64_t& size)
{
    const std::string native = NativeRelative(relative);
    if (!platform::FirstLinkBelow(exeDir, native).empty())
        return Installed::Foreign;
    const std::string path = platform::JoinPath(exeDir, native);
    if (!platform::FileExists(path))
        return platform::DirectoryExists(path) ? Installed::Foreign : Installed::Missing;
    // A file that cannot be read cannot be compared: it is left alone.
    platform::File file = platform::File::OpenRead(path);
    if (!file.IsOpen() || !file.Size(size).Ok())
        return Installed::Foreign;
    return Installed::Regular;
}

}  // namespace

std::string LaggingFileText(const LaggingFile& file)
{
    return file.relative + " (" + std::to_string(file.package) + (file.missing ? ", missing)" : ")");
}

std::int32_t HighestPackage(const PackageStore& store)
{
    std::int32_t highest = 0;
    for (const PackageEntry& entry : store.Entries())
        if (const auto number = NumberedPackage(entry.name))
            highest = std::max(highest, *number);
    return highest;
}

std::vector<std::int32_t> FileLag::Packages() const
{
    std::vector<std::int32_t> packages;
    for (const LaggingFile& file : lagging)
        if (std::find(packages.begin(), packages.end(), file.package) == packages.end())
            packages.push_back(file.package);
    std::sort(packages.begin(), packages.end());
    return packages;
}

FileLag CompareInstalledFiles(const std::string& exeDir, const PackageStore& store, std::int32_t version,
                              const std::vector<ReplacedCopy>& replaced)
{
    FileLag lag;
    std::map<std::string, std::vector<PackageCopy>> copies;
    for (const PackageEntry& entry : store.Entries()) {
        const auto number = NumberedPackage(entry.name);
        if (!number)
            continue;
        if (!entry.files) {
            if (*number <= version)
                lag.known = false;
            continue;
        }
        for (std::size_t i = 0; i < entry.files->size(); ++i)
            copies[(*entry.files)[i].relative].push_back({*number, i, &(*entry.files)[i]});
    }
    if (!lag.known)
        return lag;

    std::vector<std::tuple<std::int32_t, std::size_t, LaggingFile>> found;
    for (const auto& byPath : copies) {
        // References, not a structured binding: the lambdas below capture
        // them, which clang refuses for a binding before version 16.
        const std::string& relative = byPath.first;
        const std::vector<PackageCopy>& all = byPath.second;
        // The copy this workstation should have: the newest package's at or
        // below the version.
        const PackageCopy* target = nullptr;
        for (const PackageCopy& copy : all)
            if (copy.package <= version && (!target || copy.package > target->package))
                target = &copy;
        if (!target)
            continue;
        std::uint64_t size = 0;
        const Installed installed = Probe(exeDir, relative, size);
        if (installed == Installed::Missing) {
            found.emplace_back(target->package, target->position, LaggingFile {relative, target->package, true});
            continue;
        }
        // Only a file of a known copy's size is read.
        const bool knownSize =
            std::any_of(all.begin(), all.end(), [&](const PackageCopy& copy) { return copy.file->size == size; }) ||
            std::any_of(replaced.begin(), replaced.end(),
                        [&](const ReplacedCopy& copy) { return copy.relative == relative && copy.size == size; });
        if (installed == Installed::Foreign || !knownSize) {
            lag.foreign.push_back(relative);
            continue;
        }
        platform::Digest digest {};
        std::uint64_t read = 0;
        const std::string path = platform::JoinPath(exeDir, NativeRelative(relative));
        if (!platform::Sha256OfFile(path, digest, read).Ok()) {
            lag.foreign.push_back(relative);
            continue;
        }
        const auto holds = [&](const auto& copy) { return copy.size == read && copy.sha256 == digest; };
        // A copy of the target's package or a later one is current; any
        // other known copy is older.
        if (std::any_of(all.begin(), all.end(),
                        [&](const PackageCopy& copy) { return copy.package >= target->package && holds(*copy.file); }))
            continue;
        const bool older =
            std::any_of(all.begin(), all.end(), [&](const PackageCopy& copy) { return holds(*copy.file); }) ||
            std::any_of(replaced.begin(), replaced.end(),
                        [&](const ReplacedCopy& copy) { return copy.relative == relative && holds(copy); });
        if (older)
            found.emplace_back(target->package, target->position, LaggingFile {relative, target->package, false});
        else
            lag.foreign.push_back(relative);
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return std::tie(std::get<0>(a), std::get<1>(a)) <
                                                        std::tie(std::get<0>(b), std::get<1>(b)); });
    for (auto& entry : found)
        lag.lagging.push_back(std::move(std::get<2>(entry)));
    return lag;
}

}  // namespace package
