#include "dbupdate/RunLog.h"

#include "platform/File.h"

namespace dbupdate {

void WriteRunLog(const std::string& logPath, bool framed, const std::string& text)
{
    if (logPath.empty())
        return;
    platform::File log = platform::File::OpenAppend(logPath);
    if (!log.IsOpen())
        return;
    std::string entry;
    if (framed)
        entry += std::string(kRunLogSeparator) + "\r\n";
    entry += text;
    if (framed)
        entry += std::string("\r\n") + kRunLogSeparator + "\r\n\r\n";
    // A run log that cannot be written loses the entry, as one that cannot
    // be opened: the failure is still counted and reported by the run.
    platform::BestEffort(log.Write(entry.data(), entry.size()));
}

}  // namespace dbupdate
