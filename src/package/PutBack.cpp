#include "package/PutBack.h"

#include "package/ProgramFiles.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <algorithm>

namespace package {

using platform::JoinPath;

std::string PutBackProblem(const std::string& exeDir, const RunRecordData& record)
{
    if (!record.problem.empty())
        return record.problem;
    const std::string folder = JoinPath(exeDir, KeptFolderName(record.version));
    for (const std::string& relative : record.kept) {
        const std::string copy = JoinPath(folder, relative);
        if (const std::string link = LinkOnTheWay(exeDir, record.version, relative, true); !link.empty())
            return "The kept file " + copy + " is reached through the symbolic link " + link;
        if (!platform::FileExists(copy))
            return "The kept file " + copy + " is missing";
    }
    for (const auto* list : {&record.kept, &record.added})
        for (const std::string& relative : *list)
            if (const std::string link = LinkOnTheWay(exeDir, record.version, relative, false); !link.empty())
                return "The program file " + JoinPath(exeDir, relative) + " is reached through the symbolic link " +
                       link;
    return {};
}

int PutBackProgramFiles(view::IUpdateView& view, const std::string& exeDir, const RunRecordData& record)
{
    if (!record.problem.empty()) {
        view.AddLine(record.problem);
        return 1;
    }
    const std::string folder = JoinPath(exeDir, KeptFolderName(record.version));
    int failed = 0;
    auto report = [&](const std::string& relative, platform::Error error) {
        view.AddLine(platform::FileNameOf(relative) + "...");
        if (error) {
            view.AddLine(CopyErrorLine(error));
            ++failed;
        } else {
            view.AppendToLastLine("[OK]");
        }
        view.ProcessMessages();
    };
    const auto linked = [&](const std::string& relative, bool kept) {
        return !LinkOnTheWay(exeDir, record.version, relative, false).empty() ||
               (kept && !LinkOnTheWay(exeDir, record.version, relative, true).empty());
    };
    for (const std::string& relative : record.kept)
        report(relative, linked(relative, true)
                             ? platform::SymbolicLinkError()
                             : platform::CopyFileReplacing(JoinPath(folder, relative), JoinPath(exeDir, relative)));
    for (const std::string& relative : record.added) {
        const std::string path = JoinPath(exeDir, relative);
        report(relative, linked(relative, false) ? platform::SymbolicLinkError()
                         : platform::FileExists(path) ? platform::DeleteFile(path)
                                                      : platform::Error());
    }
    return failed;
}

void RemoveKeptFolder(const std::string& exeDir, const RunRecordData& record)
{
    const std::string folder = JoinPath(exeDir, KeptFolderName(record.version));
    if (!record.problem.empty() || platform::IsSymbolicLink(folder))
        return;
    // What cannot be removed stays in the folder, which then stays too; the
    // folder is only the way back of a run that is over.
    for (const std::string& relative : record.kept)
        if (LinkOnTheWay(exeDir, record.version, relative, true).empty())
            platform::BestEffort(platform::DeleteFile(JoinPath(folder, relative)));
    platform::BestEffort(platform::DeleteFile(JoinPath(folder, kRunRecordName)));
    // Only folders that are empty now go; anything else put there stays.
    platform::BestEffort(platform::RemoveDirectory(JoinPath(folder, "Reports")));
    platform::BestEffort(platform::RemoveDirectory(folder));
}

std::vector<std::string> PruneRuns(
    const std::string& exeDir, std::size_t keep,
    const std::function<std::string(const std::string& database, std::int32_t version)>& backupPathFor)
{
    std::vector<std::string> left;
    auto records = ListRunRecords(exeDir);
    std::erase_if(records, [](const RunRecordData& record) { return !record.problem.empty(); });
    for (std::size_t i = 0; i + keep < records.size(); ++i) {
        const RunRecordData& record = records[i];
        if (!record.backup.empty()) {
            // A path on another machine may name a different file here, and
            // a record may have been edited to name any file: only the file
            // the updater names a backup of that database goes.
            const bool removed = IsLocalServer(record.server) &&
                                 record.backup == backupPathFor(record.database, record.version) &&
                                 (!platform::DeleteFile(record.backup) || !platform::FileExists(record.backup));
            if (!removed)
                left.push_back(record.backup);
        }
        RemoveKeptFolder(exeDir, record);
    }
    return left;
}

}  // namespace package
