#include "dbupdate/ScriptRunner.h"

#include "dbupdate/CDBStatement.h"
#include "dbupdate/RunLog.h"
#include "dbupdate/StatementSplitter.h"
#include "dbupdate/Transaction.h"
#include "dbupdate/Uglobdb.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/Paths.h"
#include "platform/Sha256.h"
#include "platform/Text.h"

namespace dbupdate {

namespace {

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
        ScopedTransaction transaction(context.db);
        journal.Record(ordinal, hash, logPath);
        // A journal that failed has rolled its transaction back.
        transaction.Resume();
        statement.Execute();
        transaction.Commit();
        journal.Count(StatementOutcome::Executed);
    } catch (const std::exception& error) {
        journal.Count(StatementOutcome::Failed);
        if (LogFailure(context, logPath, statement.SQL(), error, false))
            throw;
    }
}

}  // namespace

std::string FormatRemaining(double elapsed, int maximum, int position, char separator)
{
    const double remaining = position > 0 ? elapsed * maximum / position - elapsed : 0.0;
    return platform::FormatTimeOfDay(remaining < 0 ? 0.0 : remaining, separator);
}

void RunScript(UpdateContext& context, const std::string& path, view::IProgressBar* bar, double start,
               view::ILabel* timeLabel)
{
    const std::vector<std::string> lines = platform::ReadTextLines(path);
    if (lines.empty())
        return;
    context.runLogPath = path + ".log";
    if (platform::FileExists(context.runLogPath))
        // A run log that stays is appended to: the script's new entries follow.
        platform::BestEffort(platform::DeleteFile(context.runLogPath));
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

}  // namespace dbupdate
