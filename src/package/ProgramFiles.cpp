#include "package/ProgramFiles.h"

#include "package/RunRecord.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <vector>

namespace package {

std::string CopyErrorLine(platform::Error error)
{
    std::string message = error.Message();
    while (!message.empty() && (static_cast<unsigned char>(message.back()) <= 32 || message.back() == '.'))
        message.pop_back();
    return "error (" + std::to_string(error.Code()) + ") " + message;
}

void InstallProgramFiles(view::IUpdateView& view, const std::string& exeDir, const std::string& sourceDir,
                         view::IProgressBar* bar, view::ILabel* itemLabel, view::ILabel* timeLabel,
                         RunRecord* record)
{
    std::vector<std::string> files;
    platform::ListFiles(files, sourceDir, "*.exe");
    platform::ListFiles(files, platform::JoinPath(sourceDir, "Reports"), "*.fr3");

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
        // replaced; one that cannot be kept stays as it is.
        platform::Error error = record ? record->BeforeReplace(relative) : platform::Error();
        if (!error)
            error = platform::CopyFileReplacing(source, target);
        if (error)
            view.AddLine(CopyErrorLine(error));
        else
            view.AppendToLastLine("[OK]");
        if (bar)
            bar->SetPosition(bar->Position() + 1);
        view.ProcessMessages();
    }
    if (timeLabel)
        timeLabel->SetVisible(false);
}

}  // namespace package
