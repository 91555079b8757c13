#include "package/ProgramFiles.h"

#include "package/RunRecord.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include "platform/Sha256.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace package {

std::string CopyErrorLine(platform::Error error)
{
    std::string message = error.Message();
    while (!message.empty() && (static_cast<unsigned char>(message.back()) <= 32 || message.back() == '.'))
        message.pop_back();
    return "error (" + std::to_string(error.Code()) + ") " + message;
}

std::vector<std::string> ProgramFilesOf(const std::string& dir)
{
    std::vector<std::string> files;
    for (const ProgramFileFolder& kind : kProgramFileFolders)
        platform::ListFiles(files, *kind.folder ? platform::JoinPath(dir, kind.folder) : dir,
                            std::string("*") + kind.extension);
    return files;
}

namespace {

// The path of a file below dir as the store records it.
std::string StoredRelative(const std::string& dir, const std::string& path)
{
    std::string relative = path.substr(dir.size() + 1);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return relative;
}

}  // namespace

bool IsInstallablePath(const std::string& relative)
{
    return relative.find('\\') == std::string::npos && IsRecordableName(NativeRelative(relative));
}

std::string NativeRelative(std::string relative)
{
    std::replace(relative.begin(), relative.end(), '/', platform::kPathSeparator);
    return relative;
}

std::vector<InstallableFile> InstallableFilesIn(const std::string& dir)
{
    std::vector<InstallableFile> files;
    for (const std::string& path : ProgramFilesOf(dir)) {
        InstallableFile file;
        file.relative = StoredRelative(dir, path);
        if (const platform::Error error = platform::Sha256OfFile(path, file.sha256, file.size))
            throw std::runtime_error("Cannot read \"" + path + "\". " + error.Message());
        files.push_back(std::move(file));
    }
    return files;
}

namespace {

// Whether two files hold the same bytes; false when either cannot be read.
bool SameContent(const std::string& first, const std::string& second)
{
    platform::File a = platform::File::OpenRead(first);
    platform::File b = platform::File::OpenRead(second);
    std::uint64_t sizeA = 0, sizeB = 0;
    if (!a.IsOpen() || !b.IsOpen() || a.Size(sizeA) || b.Size(sizeB) || sizeA != sizeB)
        return false;
    std::vector<char> bufferA(64 * 1024), bufferB(64 * 1024);
    for (;;) {
        std::size_t gotA = 0, gotB = 0;
        if (a.Read(bufferA.data(), bufferA.size(), gotA) || b.Read(bufferB.data(), gotA, gotB) || gotA != gotB)
            return false;
        if (gotA == 0)
            return true;
        if (!std::equal(bufferA.begin(), bufferA.begin() + static_cast<std::ptrdiff_t>(gotA), bufferB.begin()))
            return false;
    }
}

}  // namespace

std::vector<ProgramFileChange> CompareProgramFiles(const std::string& exeDir, const std::string& sourceDir)
{
    std::vector<ProgramFileChange> changes;
    for (const std::string& source : ProgramFilesOf(sourceDir)) {
        const std::string target = platform::JoinPath(exeDir, source.substr(sourceDir.size()));
        const std::string relative = StoredRelative(sourceDir, source);
        const FileChange change = !platform::FileExists(target)      ? FileChange::Added
                                  : SameContent(source, target) ? FileChange::Unchanged
                                                                : FileChange::Replaced;
        changes.push_back({relative, change});
    }
    return changes;
}

void InstallProgramFiles(view::IUpdateView& view, const std::string& exeDir, const std::string& sourceDir,
                         view::IProgressBar* bar, view::ILabel* itemLabel, view::ILabel* timeLabel,
                         RunRecord* record, const std::vector<std::string>* only)
{
    std::vector<std::string> files = ProgramFilesOf(sourceDir);
    if (only)
        std::erase_if(files, [&](const std::string& source) {
            return std::find(only->begin(), only->end(), StoredRelative(sourceDir, source)) == only->end();
        });

    const int count = static_cast<int>(files.size());
    if (bar) {
        bar->SetPosition(0);
        bar->SetMaximum(count);
    }
    if (timeLabel)
        timeLabel->SetVisible(true);
    for (int k = 1; k <= count; ++k) {
        const std::string& source = files[static_cast<std::size_t>(k - 1)];
        const std::string name = platform::FileNameOf(source);
        view.AddLine(name + "...");
        if (itemLabel)
            itemLabel->SetCaption(name + " (" + std::to_string(k) + "/" + std::to_string(count) + ")");
        // The target keeps the path below the source directory, which begins
        // with the separator.
        const std::string target = platform::JoinPath(exeDir, source.substr(sourceDir.size()));
        const std::string relative = source.substr(sourceDir.size() + 1);
        // The installed file is kept for the run's undoing before it is
        // replaced; one that cannot be kept stays as it is, and its line
        // says why.
        std::string failure;
        try {
            if (record)
                record->BeforeReplace(relative);
            if (const platform::Error copyError = platform::CopyFileReplacing(source, target))
                failure = CopyErrorLine(copyError);
        } catch (const KeepFailed& error) {
            failure = error.what();
        }
        if (failure.empty())
            view.AppendToLastLine("[OK]");
        else
            view.AddLine(failure);
        if (bar)
            bar->SetPosition(bar->Position() + 1);
        view.ProcessMessages();
    }
    if (timeLabel)
        timeLabel->SetVisible(false);
}

}  // namespace package
