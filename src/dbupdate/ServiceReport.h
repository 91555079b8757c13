#pragma once
// What a Firebird service manager sends back, read as untrusted input: the
// items of one query's answer, and the lines of an action's report (its
// failure lines and its closing line).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>

namespace dbupdate {

// Reads the items of a service query's answer: the text of each line or
// piece of data goes to onData, how many bytes the engine asks for to
// requested. Gives whether the engine works on: it gave text, asks for data,
// or has nothing yet (the timeout ran out). Nothing is read outside answer.
// Throws DatabaseError ("The service manager gave an unexpected answer",
// with operation) for an item it does not know or one that does not fit.
bool ReadServiceAnswer(std::span<const char> answer, const char* operation, std::uint32_t& requested,
                       const std::function<void(const char* data, std::size_t length)>& onData);

// The lines of one action's report, as they arrive. The engine reports its
// failure as lines of the report ("ERROR: ..."), not in a status, and
// does not report every failure (a backup that ends early leaves the report
// without its closing line): only a report with the closing line is done.
class ServiceReport {
public:
    // closingLine: the text the engine's last report line of a completed
    // action holds; empty for an action whose report has none.
    explicit ServiceReport(std::string closingLine = {}) : closingLine_(std::move(closingLine)) {}

    void Take(const std::string& line);

    // The failure lines' texts after "ERROR:", joined by CR LF; empty when
    // none came.
    const std::string& Failure() const { return failure_; }
    // Whether the closing line came (always, for an action without one).
    bool Done() const { return closingLine_.empty() || !closing_.empty(); }
    // The line that held the closing text, wherever it stood in the report.
    const std::string& Closing() const { return closing_; }
    const std::string& Last() const { return last_; }
    // The verdict on the action once its report has ended: throws
    // DatabaseError (with operation) with the failure lines' texts, or,
    // without them, when the closing line never came, whatever the action
    // left on disk; gives the closing line otherwise.
    std::string Completed(const char* operation) const;

private:
    std::string closingLine_;
    std::string failure_;
    std::string closing_;
    std::string last_;
};

// The text a completed backup's report ends with; the same line gives the
// backup's size ("closing file, committing, and finishing. 669184 bytes
// written").
inline constexpr const char* kBackupClosingLine = "closing file, committing, and finishing.";

// The text a completed restore's report ends with.
inline constexpr const char* kRestoreClosingLine = "finishing, closing, and going home";

// The number of bytes a backup's closing line gives; 0 when it gives none.
std::uint64_t BackupSizeOf(const std::string& closingLine);

// The table a verbose line of a backup or a restore starts to copy the rows
// of ("gbak:    writing data for table T", "restoring data for table T"),
// or empty for any other line.
std::string TableOfProgressLine(const std::string& line);

}  // namespace dbupdate
