#pragma once
// What the steps of a package's database update share (UpdateContext): the
// window, the connection, the run logs and the journal; how a step records
// its failure, stops on request, and marks the file it has processed.

#include "dbupdate/Journal.h"
#include "view/UpdateView.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace dbupdate {

class CGlobDB;

// The failures one run log received during the run.
struct RunLogFailures {
    std::string path;
    int statements = 0;
    int blobFiles = 0;
};

// A blob file that could not be loaded: its name and the run log that holds
// its error.
struct FailedBlobFile {
    std::string name;
    std::string log;
};

// What the database update shares with the window: the progress memo, the
// connection, the run log path of the last script started, what the run logs
// received, and the update journal.
struct UpdateContext {
    view::IUpdateView& view;
    CGlobDB& db;
    std::string runLogPath = {};  // empty until a script with lines has started
    std::vector<RunLogFailures> failures = {};
    // The blob files loaded and failed during the run.
    int blobFilesLoaded = 0;
    std::vector<FailedBlobFile> failedBlobFiles = {};
    // A framed note for the run's first run log (the update lock could not
    // be used), written once.
    std::string firstLogNote = {};
    UpdateJournal journal {db};
};

// Records a failed statement or blob file: its text as a plain entry and the
// error's message as a framed one in the run log logPath, counted against
// that log; an open transaction is rolled back. Returns whether the error
// lost the connection (the caller then raises it again: nothing later can
// succeed on it).
bool LogFailure(UpdateContext& context, const std::string& logPath, const std::string& text,
                const std::exception& error, bool blobFile);

// Raised between two steps of the database update when a termination request
// has arrived (the statement in progress has finished and been committed).
// item is the file name of the script or blob file that was being processed.
class UpdateInterrupted : public std::runtime_error {
public:
    explicit UpdateInterrupted(const std::string& item)
        : std::runtime_error("The update was interrupted at " + item), item_(item) {}
    const std::string& Item() const noexcept { return item_; }

private:
    std::string item_;
};

// Raises UpdateInterrupted for item when a termination request has arrived.
void StopIfTerminationRequested(const std::string& item);

// The name a processed file is moved to: the path without its last three
// characters followed by the done extension ("~sql" or "~blo").
std::string DoneName(const std::string& path, const std::string& doneExtension);

// Moves a processed file to its done name, replacing an older done file.
// Failures are ignored.
void MarkDone(const std::string& path, const std::string& doneExtension);

}  // namespace dbupdate
