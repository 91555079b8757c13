#include "dbupdate/ScratchCopy.h"

#include "dbupdate/BackupNames.h"
#include "dbupdate/DatabaseError.h"
#include "dbupdate/DatabaseFile.h"
#include "dbupdate/Uglobdb.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <chrono>
#include <ibase.h>
#include <thread>

namespace dbupdate {

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

std::string ScratchPathFor(const std::string& databasePath, const std::string& tag)
{
    return SiblingPath(databasePath, ".rehearsal." + tag + ".fdb");
}

bool IsScratchName(const std::string& name, const std::string& databasePath)
{
    const std::string prefix = platform::FileNameOf(ScratchPathFor(databasePath, ""));
    constexpr std::size_t kTagLength = 8;
    const std::string suffix = ".fdb";
    if (prefix.size() < suffix.size() || name.size() != prefix.size() + kTagLength)
        return false;
    // The prefix as ScratchPathFor forms it ends in the suffix after an
    // empty tag ("norvexlib.rehearsal..fdb").
    const std::string head = prefix.substr(0, prefix.size() - suffix.size());
    if (!platform::EqualIgnoringAsciiCase(name.substr(0, head.size()), head))
        return false;
    for (std::size_t i = head.size(); i < head.size() + kTagLength; ++i)
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'f')))
            return false;
    return name.compare(head.size() + kTagLength, suffix.size(), suffix) == 0;
}

std::vector<std::string> LeftoverScratchCopies(const std::string& databasePath)
{
    const auto separator = databasePath.find_last_of(platform::kPathDelimiters);
    // With its separator: "/" and "D:" stay themselves.
    const std::string directory =
        separator == std::string::npos ? std::string() : databasePath.substr(0, separator + 1);
    std::vector<std::string> copies;
    for (const std::string& name : platform::FindEntries(directory, "*.rehearsal.*.fdb")) {
        const std::string path = directory + name;
        if (IsScratchName(name, databasePath) && platform::FileExists(path) && !platform::IsSymbolicLink(path))
            copies.push_back(path);
    }
    return copies;
}

ScratchCopy::ScratchCopy(std::string server, std::string database, std::string localBackup)
    : server_(std::move(server)),
      database_(std::move(database)),
      localBackup_(std::move(localBackup)),
      scratch_(ScratchPathFor(database_, platform::RandomTag()))
{
}

// An owner that names what is left calls Remove itself first.
ScratchCopy::~ScratchCopy() { static_cast<void>(Remove()); }

void ScratchCopy::Make(const CopyProgress& progress)
{
    auto start = std::chrono::steady_clock::now();
    // The embedded engine writes the backup to this machine's file itself,
    // five times faster than it sends it through the service; a server
    // sends it, so that nothing is left on its machine.
    if (server_.empty())
        BackupBytes = BackupDatabase(server_, database_, localBackup_, [&](const std::string&) {
            if (progress)
                progress(0);
        });
    else
        BackupBytes = BackupToLocalFile(server_, database_, localBackup_, progress);
    BackupSeconds = SecondsSince(start);

    start = std::chrono::steady_clock::now();
    restoreStarted_ = true;
    RestoreFromLocalFile(server_, localBackup_, scratch_, progress);
    RestoreSeconds = SecondsSince(start);
}

std::string ScratchCopy::Remove(CGlobDB* attached) noexcept
{
    std::string left;
    try {
        // Only an attachment to the copy itself is dropped.
        if (attached && attached->Attached() &&
            attached->ConnectionString() == BuildConnectionString(server_, scratch_)) {
            DropDatabase(*attached);
        } else if (restoreStarted_) {
            // A restore that was stopped may hold its database a moment
            // longer on the engine's side.
            for (int attempt = 0;; ++attempt) {
                try {
                    DropDatabase(server_, scratch_);
                    break;
                } catch (const DatabaseError& error) {
                    // A restore that failed before it created the file left
                    // nothing to open (on this machine the file can be seen).
                    if (error.ErrorCode() == isc_io_error && (!server_.empty() || !platform::FileExists(scratch_)))
                        break;
                    if (attempt < 20) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(250));
                        continue;
                    }
                    // A file the embedded engine cannot open as a database
                    // is this machine's to delete.
                    if (server_.empty() && platform::DeleteFile(scratch_).Ok())
                        break;
                    throw;
                }
            }
        }
    } catch (const std::exception& error) {
        left = "The scratch database " + scratch_ + " could not be dropped: " + error.what();
    }
    // Once is enough: what is left is reported, not tried again.
    restoreStarted_ = false;
    if (platform::FileExists(localBackup_)) {
        if (const platform::Error error = platform::DeleteFile(localBackup_)) {
            if (!left.empty())
                left += '\n';
            left.append("The backup ").append(localBackup_).append(" could not be deleted: ").append(error.Message());
        }
    }
    return left;
}

}  // namespace dbupdate
