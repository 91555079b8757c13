#pragma once
// The database update of one package: the SQL script runner with its run log
// (this file) and the blob phase (BlobLoader.h).

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

// What the database update shares with the window: the progress memo, the
// connection, the run log path of the last script started, what the run logs
// received, and the update journal.
struct UpdateContext {
    view::IUpdateView& view;
    CGlobDB& db;
    std::string runLogPath = {};  // empty until a script with lines has started
    std::vector<RunLogFailures> failures = {};
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

// How RunScript treats one trimmed script line.
enum class LineClass {
    TerminatorDirective,  // SET TERM: changes the terminator
    SkippedDirective,     // any other SET directive (but SET G...): dropped
    Empty,
    TerminatorLine,       // the terminator alone: executes the buffer
    StatementLine,
};

// Classifies a trimmed line. A "SET name = ..." line (the name qualified or
// not) while the statement buffer holds text is a column assignment of that
// statement, and a line that begins inside an open string literal of the
// buffer is text of that literal: neither is a directive.
LineClass ClassifyLine(const std::string& trimmedLine, char terminator, bool bufferEmpty, bool inLiteral = false);

// The new terminator of a trimmed "SET TERM new old" line: scanning up to the
// last character (the old terminator, never taken), the first character after
// the first M/m that is neither M, m nor a space. A line where no such
// character comes before its last one gives its next-to-last character.
char ExtractTerminator(const std::string& trimmedLine);

// Adds a trimmed statement line to the (trimmed) statement buffer in place:
// joined with LF, an empty buffer takes the line alone. The result is the
// buffer, LF and the line trimmed as a whole, without copying the buffer.
void AppendStatementLine(std::string& buffer, const std::string& trimmedLine);

// The lexical state at the end of a statement text read as the engine reads
// it: single-quoted literals ('' stands for a quote), double-quoted
// identifiers, "--" line comments and "/* */" block comments. Fed piece by
// piece, each piece continuing the text before it.
class SqlLexState {
public:
    void Feed(const std::string& text);
    void Reset() noexcept;
    // A single-quoted literal is open at the end of the text fed so far.
    bool InLiteral() const noexcept { return state_ == State::Literal; }

private:
    enum class State { Code, Literal, Identifier, LineComment, BlockComment };
    State state_ = State::Code;
    char previous_ = 0;
};

// Whether text holds nothing but blanks (codes 0 to 32) and comments.
bool IsBlankOrComment(const std::string& text);

// The statement splitter of a script, fed one line at a time: it keeps the
// terminator (";" until a SET TERM line changes it) and the statement buffer.
class StatementSplitter {
public:
    enum class Step {
        Directive,  // a SET line that is not part of a statement: dropped
        Line,       // the line went into the buffer (or was empty)
        Statement,  // the line ended a statement, given in statement
    };
    // Takes one script line as read (it is trimmed here).
    Step Feed(const std::string& rawLine, std::string& statement);
    // Statement text still waiting for its terminator.
    const std::string& Pending() const noexcept { return buffer_; }
    char Terminator() const noexcept { return terminator_; }

private:
    char terminator_ = ';';
    std::string buffer_;
    SqlLexState lex_;
};

// The remaining-time estimate: elapsed * maximum / position - elapsed, as
// "hh:nn:ss" with the given separator. Elapsed is a fraction of a day.
std::string FormatRemaining(double elapsed, int maximum, int position, char separator);

// The name a processed file is moved to: the path without its last three
// characters followed by the done extension ("~sql" or "~blo").
std::string DoneName(const std::string& path, const std::string& doneExtension);

// Moves a processed file to its done name, replacing an older done file.
// Failures are ignored.
void MarkDone(const std::string& path, const std::string& doneExtension);

// The run log's separator line (62 characters).
inline constexpr const char* kRunLogSeparator = "------------------------- error ------------------------------";

// Appends one entry to the run log logPath: plain (text unchanged) or framed
// (separator CR LF, text, CR LF, separator CR LF CR LF). A log that cannot be
// opened or created is skipped silently.
void WriteRunLog(const std::string& logPath, bool framed, const std::string& text);

// Runs one script statement by statement, one transaction per statement;
// failures go to the script's run log. A statement that the journal shows
// applied by an earlier run is skipped. Throws std::runtime_error "Cannot open
// file ..." when the script cannot be read, the DatabaseError of a statement
// that lost the connection (after logging it), and UpdateInterrupted.
void RunScript(UpdateContext& context, const std::string& path, view::IProgressBar* bar, double start,
               view::ILabel* timeLabel);

// The database update of one unpacked package in dir: every dir/up/*.sql in
// sorted order, the journal's summary once the package is complete, then
// every dir/up/*.blo. The controls may be null.
void UpdateDatabase(UpdateContext& context, const std::string& dir, view::IProgressBar* bar,
                    view::ILabel* itemLabel, view::ILabel* timeLabel);

// The sorted full paths of dir's entries that match mask.
std::vector<std::string> CollectFiles(const std::string& dir, const std::string& mask);

}  // namespace dbupdate
