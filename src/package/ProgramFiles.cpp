#include "package/ProgramFiles.h"

#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/Paths.h"

#include <vector>

namespace package {

std::string CopyErrorLine(int errorCode)
{
    std::string message = platform::SystemMessage(errorCode);
    while (!message.empty() && (static_cast<unsigned char>(message.back()) <= 32 || message.back() == '.'))
        message.pop_back();
    return "error (" + std::to_string(errorCode) + ") " + message;
}

void InstallProgramFiles(view::IUpdateView& view, const std::string& exeDir, const std::string& sourceDir,
                         view::IProgressBar* bar, view::ILabel* itemLabel, view::ILabel* timeLabel)
{
    std::vector<std::string> files;
    for (const auto& name : platform::FindEntries(sourceDir, "*.exe"))
        files.push_back(platform::JoinPath(sourceDir, name));
    const std::string reports = platform::JoinPath(sourceDir, "Reports");
    for (const auto& name : platform::FindEntries(reports, "*.fr3"))
        files.push_back(platform::JoinPath(reports, name));
    platform::SortTextList(files);

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
        if (const int code = platform::CopyFileReplacing(source, target))
            view.AddLine(CopyErrorLine(code));
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
