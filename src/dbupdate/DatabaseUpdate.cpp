#include "dbupdate/DatabaseUpdate.h"

#include "dbupdate/BlobLoader.h"
#include "dbupdate/ScriptRunner.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cstdint>

namespace dbupdate {

void UpdateDatabase(UpdateContext& context, const std::string& dir, view::IProgressBar* bar,
                    view::ILabel* itemLabel, view::ILabel* timeLabel)
{
    const std::string upDir = platform::JoinPath(dir, "up");
    std::vector<std::string> scripts;
    platform::ListFiles(scripts, upDir, "*.sql");
    if (bar) {
        bar->SetPosition(0);
        long long total = 0;
        for (const auto& script : scripts)
            total += static_cast<long long>(platform::ReadTextLines(script).size());
        bar->SetMaximum(static_cast<int>(std::min<long long>(total, INT32_MAX)));
    }
    const double start = platform::TimeOfDayNow();
    if (timeLabel)
        timeLabel->SetVisible(true);
    const std::size_t count = scripts.size();
    for (std::size_t k = 0; k < count; ++k) {
        const std::string name = platform::FileNameOf(scripts[k]);
        StopIfTerminationRequested(name);
        context.view.AddLine(name);
        if (itemLabel)
            itemLabel->SetCaption(name + " (" + std::to_string(k + 1) + "/" + std::to_string(count) + ")");
        RunScript(context, scripts[k], bar, start, timeLabel);
        MarkDone(scripts[k], "~sql");
        if (bar)
            bar->SetPosition(bar->Position() + 1);
        context.view.ProcessMessages();
    }
    if (timeLabel)
        timeLabel->SetVisible(false);
    context.journal.CompletePackage(context.runLogPath);
    LoadBlobFiles(context, upDir, bar, itemLabel);
}

}  // namespace dbupdate
