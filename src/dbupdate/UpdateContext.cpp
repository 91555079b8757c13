#include "dbupdate/UpdateContext.h"

#include "dbupdate/RunLog.h"
#include "dbupdate/Transaction.h"
#include "dbupdate/Uglobdb.h"
#include "platform/FileSystem.h"
#include "platform/Termination.h"

#include <algorithm>

namespace dbupdate {

bool LogFailure(UpdateContext& context, const std::string& logPath, const std::string& text,
                const std::exception& error, bool blobFile)
{
    WriteRunLog(logPath, false, text);
    WriteRunLog(logPath, true, error.what());
    auto record = std::find_if(context.failures.begin(), context.failures.end(),
                               [&](const RunLogFailures& entry) { return entry.path == logPath; });
    if (record == context.failures.end())
        record = context.failures.insert(context.failures.end(), RunLogFailures {logPath});
    ++(blobFile ? record->blobFiles : record->statements);
    RollbackQuietly(context.db);
    // Without its connection the update cannot go on: every later statement
    // would fail, and the run would look complete.
    const auto* failure = dynamic_cast<const DatabaseError*>(&error);
    return failure && failure->ConnectionLost();
}

void StopIfTerminationRequested(const std::string& item)
{
    if (platform::TerminationRequested())
        throw UpdateInterrupted(item);
}

std::string DoneName(const std::string& path, const std::string& doneExtension)
{
    return path.substr(0, path.size() < 3 ? 0 : path.size() - 3) + doneExtension;
}

void MarkDone(const std::string& path, const std::string& doneExtension)
{
    const std::string done = DoneName(path, doneExtension);
    // A file that cannot be marked keeps its name, and the next run takes it
    // again.
    if (platform::FileExists(done))
        platform::BestEffort(platform::DeleteFile(done));
    platform::BestEffort(platform::MoveFileNoReplace(path, done));
}

}  // namespace dbupdate
