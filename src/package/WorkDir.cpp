#include "package/WorkDir.h"

#include "package/PackageStore.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include "platform/File.h"

#include <stdexcept>

namespace package {

using platform::JoinPath;

void ClearWorkDir(const std::string& dir)
{
    // Only files directly inside these three directories are deleted;
    // unlink never removes a directory, so "." and ".." and subdirectories
    // stay whatever the listing holds. A subdirectory that is a link is
    // passed over: what it points to is not ours to clear. A file that
    // cannot be deleted stays, and the next unpacking writes over it.
    std::vector<std::string> list;
    for (const char* sub : {"up", "Reports"}) {
        if (platform::IsSymbolicLink(JoinPath(dir, sub)))
            continue;
        platform::ListFiles(list, JoinPath(dir, sub), "*");
        for (const auto& path : list)
            platform::BestEffort(platform::DeleteFile(path));
    }
    platform::ListFiles(list, dir, "*");
    for (const auto& path : list)
        platform::BestEffort(platform::DeleteFile(path));
}

std::string NewRehearsalWorkDir(const std::string& tempPath)
{
    for (;;) {
        const std::string path = JoinPath(tempPath, kRehearsalWorkDirPrefix + platform::RandomTag() + ".nvx");
        if (!platform::FileExists(path) && !platform::DirectoryExists(path) && !platform::IsSymbolicLink(path))
            return path;
    }
}

void RemoveWorkDir(const std::string& dir)
{
    if (platform::IsSymbolicLink(dir) || !platform::DirectoryExists(dir))
        return;
    ClearWorkDir(dir);
    // A rehearsal's directory that cannot be removed is left in the
    // temporary folder, where it harms nothing.
    for (const char* sub : {"up", "Reports"})
        if (!platform::IsSymbolicLink(JoinPath(dir, sub)))
            platform::BestEffort(platform::RemoveDirectory(JoinPath(dir, sub)));
    platform::BestEffort(platform::RemoveDirectory(dir));
}

void PrepareWorkDir(const std::string& dir)
{
    if (platform::EnsurePrivateDirectory(dir))
        ClearWorkDir(dir);
}

void SavePackage(const PackageStore& store, const std::string& name, const std::string& fileName)
{
    const PackageEntry* entry = store.Find(name);
    if (!entry)
        throw std::runtime_error(ResourceNotFoundMessage(name));
    // A link or special file left at the name (by an earlier package, say)
    // is refused, never written through.
    platform::File out = platform::CreateRegularFile(fileName);

    try {
        store.WriteTo(*entry, out);
    } catch (const PackageDamagedError&) {
        // Nothing of a damaged package is left for the unpacker.
        platform::BestEffort(out.Close());
        // A part left behind is written over by the next run's package.
        platform::BestEffort(platform::DeleteFile(fileName));
        throw;
    }
}

std::optional<platform::ChildProcess> UnpackPackage(const std::string& rarPath, const std::string& archive,
                                                    const std::string& workDir)
{
    return platform::ChildProcess::Start({rarPath, "x", "-o+", archive}, workDir, JoinPath(workDir, kRarLogName));
}

}  // namespace package
