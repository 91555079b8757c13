#include "dbupdate/ScriptRunner.h"

#include "dbupdate/BlobLoader.h"
#include "dbupdate/Uglobdb.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/Paths.h"
#include "platform/Sha256.h"
#include "platform/Termination.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace dbupdate {

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

void SkipSpaces(const std::string& text, std::size_t& i)
{
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
}

// A plain name (a letter, then letters, digits, "_" and "$") or a non-empty
// double-quoted one, starting at i; i moves past it.
bool TakeName(const std::string& upper, std::size_t& i)
{
    if (i < upper.size() && upper[i] == '"') {
        const auto close = upper.find('"', i + 1);
        if (close == std::string::npos || close == i + 1)
            return false;
        i = close + 1;
        return true;
    }
    if (i >= upper.size() || !std::isalpha(static_cast<unsigned char>(upper[i])))
        return false;
    while (i < upper.size() &&
           (std::isalnum(static_cast<unsigned char>(upper[i])) || upper[i] == '_' || upper[i] == '$'))
        ++i;
    return true;
}

// "SET name =", "SET "name" =" or a qualified "SET T.S =": a column
// assignment written on a line of its own inside an UPDATE (or a procedure
// body).
bool IsColumnAssignment(const std::string& upper)
{
    std::size_t i = 4;  // after "SET "
    SkipSpaces(upper, i);
    if (!TakeName(upper, i))
        return false;
    for (;;) {
        std::size_t j = i;
        SkipSpaces(upper, j);
        if (j >= upper.size() || upper[j] != '.')
            break;
        ++j;
        SkipSpaces(upper, j);
        if (!TakeName(upper, j))
            return false;
        i = j;
    }
    SkipSpaces(upper, i);
    return i < upper.size() && upper[i] == '=';
}

// Executes one statement in a transaction of its own, its journal row
// inserted in the same transaction first: both are committed, or neither. A
// script's own COMMIT commits the row with it. A statement that an earlier run
// applied is skipped. The script's first statement opens its journal.
void ExecuteStatement(UpdateContext& context, CDBStatement& statement, const std::string& buffer, int ordinal,
                      const std::string& script, const std::string& logPath)
{
    UpdateJournal& journal = context.journal;
    try {
        statement.SetSQL(buffer);
        if (ordinal == 1)
            journal.BeginScript(script, logPath);
        const std::string hash = journal.Active() ? platform::Sha256Hex(buffer) : std::string();
        if (journal.Applied(ordinal, hash)) {
            journal.Count(StatementOutcome::Skipped);
            return;
        }
        if (!context.db.InTransaction())
            context.db.StartTransaction();
        journal.Record(ordinal, hash, logPath);
        // A journal that failed has rolled its transaction back.
        if (!context.db.InTransaction())
            context.db.StartTransaction();
        statement.Execute();
        if (context.db.InTransaction())
            context.db.Commit();
        journal.Count(StatementOutcome::Executed);
    } catch (const std::exception& error) {
        journal.Count(StatementOutcome::Failed);
        if (LogFailure(context, logPath, statement.SQL(), error, false))
            throw;
    }
}

}  // namespace

LineClass ClassifyLine(const std::string& trimmedLine, char terminator, bool bufferEmpty, bool inLiteral)
{
    const std::string upper = platform::UpperAscii(trimmedLine);
    if (!inLiteral && StartsWith(upper, "SET ") && !StartsWith(upper, "SET G")) {
        if (!bufferEmpty && IsColumnAssignment(upper))
            return LineClass::StatementLine;
        return upper.find("SET TERM") != std::string::npos ? LineClass::TerminatorDirective
                                                             : LineClass::SkippedDirective;
    }
    if (trimmedLine.empty())
        return LineClass::Empty;
    if (trimmedLine.size() == 1 && trimmedLine[0] == terminator)
        return LineClass::TerminatorLine;
    return LineClass::StatementLine;
}

char ExtractTerminator(const std::string& trimmedLine)
{
    if (trimmedLine.size() < 2)
        return trimmedLine.empty() ? ';' : trimmedLine[0];
    const std::size_t last = trimmedLine.size() - 1;
    std::size_t i = 0;
    while (i < last && trimmedLine[i] != 'M' && trimmedLine[i] != 'm')
        ++i;
    while (i < last && (trimmedLine[i] == 'M' || trimmedLine[i] == 'm' || trimmedLine[i] == ' '))
        ++i;
    return i < last ? trimmedLine[i] : trimmedLine[last - 1];
}

void AppendStatementLine(std::string& buffer, const std::string& trimmedLine)
{
    if (trimmedLine.empty())
        return;
    if (!buffer.empty())
        buffer += '\n';
    buffer += trimmedLine;
}

void SqlLexState::Feed(const std::string& text)
{
    for (char c : text) {
        switch (state_) {
        case State::Code:
            if (c == '\'')
                state_ = State::Literal;
            else if (c == '"')
                state_ = State::Identifier;
            else if (c == '-' && previous_ == '-')
                state_ = State::LineComment;
            else if (c == '*' && previous_ == '/') {
                state_ = State::BlockComment;
                c = 0;  // "/*/" does not close the comment it opens
            }
            break;
        // A doubled quote closes and reopens: the state comes out the same.
        case State::Literal:
            if (c == '\'')
                state_ = State::Code;
            break;
        case State::Identifier:
            if (c == '"')
                state_ = State::Code;
            break;
        case State::LineComment:
            if (c == '\n' || c == '\r')
                state_ = State::Code;
            break;
        case State::BlockComment:
            if (c == '/' && previous_ == '*') {
                state_ = State::Code;
                c = 0;  // "*/*" opens nothing
            }
            break;
        }
        previous_ = c;
    }
}

void SqlLexState::Reset() noexcept
{
    state_ = State::Code;
    previous_ = 0;
}

bool IsBlankOrComment(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsBlank(text[i])) {
            ++i;
        } else if (text.compare(i, 2, "--") == 0) {
            i = text.find_first_of("\r\n", i);
        } else if (text.compare(i, 2, "/*") == 0) {
            const auto end = text.find("*/", i + 2);
            i = end == std::string::npos ? std::string::npos : end + 2;
        } else {
            return false;
        }
    }
    return true;
}

StatementSplitter::Step StatementSplitter::Feed(const std::string& rawLine, std::string& statement)
{
    const std::string line = platform::TrimBlanks(rawLine);
    const LineClass kind = ClassifyLine(line, terminator_, buffer_.empty(), lex_.InLiteral());
    if (kind == LineClass::TerminatorDirective || kind == LineClass::SkippedDirective) {
        if (kind == LineClass::TerminatorDirective)
            terminator_ = ExtractTerminator(line);
        return Step::Directive;
    }
    if (!line.empty() && !(line.size() == 1 && line[0] == terminator_)) {
        if (!buffer_.empty())
            lex_.Feed("\n");
        lex_.Feed(line);
        AppendStatementLine(buffer_, line);
    }
    if (line.empty() || line.back() != terminator_)
        return Step::Line;
    if (line.size() > 1 && !buffer_.empty())
        buffer_.pop_back();
    statement = std::move(buffer_);
    buffer_.clear();
    lex_.Reset();
    return Step::Statement;
}

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
    if (context.db.InTransaction()) {
        try {
            context.db.Rollback();
        } catch (const std::exception&) {
            // The rollback's own failure changes nothing for the run log.
        }
    }
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

std::string FormatRemaining(double elapsed, int maximum, int position, char separator)
{
    const double remaining = position > 0 ? elapsed * maximum / position - elapsed : 0.0;
    return platform::FormatTimeOfDay(remaining < 0 ? 0.0 : remaining, separator);
}

std::string DoneName(const std::string& path, const std::string& doneExtension)
{
    return path.substr(0, path.size() < 3 ? 0 : path.size() - 3) + doneExtension;
}

void MarkDone(const std::string& path, const std::string& doneExtension)
{
    const std::string done = DoneName(path, doneExtension);
    if (platform::FileExists(done))
        platform::DeleteFile(done);
    platform::MoveFileNoReplace(path, done);
}

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
    log.Write(entry.data(), entry.size());
}

void RunScript(UpdateContext& context, const std::string& path, view::IProgressBar* bar, double start,
               view::ILabel* timeLabel)
{
    const std::vector<std::string> lines = platform::ReadTextLines(path);
    if (lines.empty())
        return;
    context.runLogPath = path + ".log";
    if (platform::FileExists(context.runLogPath))
        platform::DeleteFile(context.runLogPath);
    const std::string logPath = context.runLogPath;
    if (!context.firstLogNote.empty()) {
        WriteRunLog(logPath, true, context.firstLogNote);
        context.firstLogNote.clear();
    }

    StatementSplitter splitter;
    CDBStatement statement(context.db);
    statement.SetParamCheck(false);
    const char separator = platform::TimeSeparator();
    const std::string name = platform::FileNameOf(path);

    int ordinal = 0;
    for (const auto& raw : lines) {
        std::string sql;
        const StatementSplitter::Step step = splitter.Feed(raw, sql);
        if (step == StatementSplitter::Step::Directive) {
            if (bar)
                bar->SetPosition(bar->Position() + 1);
            context.view.ProcessMessages();
            StopIfTerminationRequested(name);
            continue;
        }
        if (step == StatementSplitter::Step::Statement)
            ExecuteStatement(context, statement, sql, ++ordinal, name, logPath);
        if (bar) {
            bar->SetPosition(bar->Position() + 1);
            if (timeLabel) {
                const double elapsed = platform::TimeOfDayNow() - start;
                timeLabel->SetCaption(FormatRemaining(elapsed, bar->Maximum(), bar->Position(), separator));
            }
        }
        context.view.ProcessMessages();
        StopIfTerminationRequested(name);
    }

    // A statement without its terminator is not run, but it is recorded;
    // comments after the last statement are no statement.
    if (!IsBlankOrComment(splitter.Pending())) {
        if (ordinal > 0)  // counted with the script's statements
            context.journal.Count(StatementOutcome::Failed);
        statement.SetSQL(splitter.Pending());
        LogFailure(context, logPath, statement.SQL(), std::runtime_error("Expected end of statement, encountered EOF"),
                   false);
    }
}

std::vector<std::string> CollectFiles(const std::string& dir, const std::string& mask)
{
    std::vector<std::string> paths;
    for (const auto& name : platform::FindEntries(dir, mask))
        paths.push_back(platform::JoinPath(dir, name));
    platform::SortTextList(paths);
    return paths;
}

void UpdateDatabase(UpdateContext& context, const std::string& dir, view::IProgressBar* bar,
                    view::ILabel* itemLabel, view::ILabel* timeLabel)
{
    const std::string upDir = platform::JoinPath(dir, "up");
    const std::vector<std::string> scripts = CollectFiles(upDir, "*.sql");
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
