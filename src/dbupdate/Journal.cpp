#include "dbupdate/Journal.h"

#include "dbupdate/CDBStatement.h"
#include "dbupdate/RunLog.h"
#include "dbupdate/Transaction.h"
#include "dbupdate/Uglobdb.h"

namespace dbupdate {

namespace {

constexpr const char* kReadApplied =
    "SELECT STATEMENT_NO, TEXT_HASH FROM NVX$UPDATE_JOURNAL\n"
    "WHERE PACKAGE_NO = :PACKAGE_NO AND SCRIPT_NAME = :SCRIPT_NAME AND STATEMENT_NO > 0";

constexpr const char* kRecordStatement =
    "INSERT INTO NVX$UPDATE_JOURNAL (PACKAGE_NO, SCRIPT_NAME, STATEMENT_NO, TEXT_HASH, FINISHED_AT)\n"
    "VALUES (:PACKAGE_NO, :SCRIPT_NAME, :STATEMENT_NO, :TEXT_HASH, CURRENT_TIMESTAMP)";

// A script's summary: the times of its first and last applied statement (the
// summary's own time when none was), and what this run did with each one.
constexpr const char* kSummarise =
    "INSERT INTO NVX$UPDATE_JOURNAL\n"
    "  (PACKAGE_NO, SCRIPT_NAME, STATEMENT_NO, STARTED_AT, FINISHED_AT, EXECUTED, SKIPPED, FAILED)\n"
    "SELECT CAST(:PACKAGE_NO AS INTEGER), CAST(:SCRIPT_NAME AS VARCHAR(255) CHARACTER SET NONE), 0,\n"
    "  MIN(FINISHED_AT), COALESCE(MAX(FINISHED_AT), CURRENT_TIMESTAMP),\n"
    "  CAST(:EXECUTED AS INTEGER), CAST(:SKIPPED AS INTEGER), CAST(:FAILED AS INTEGER)\n"
    "FROM NVX$UPDATE_JOURNAL\n"
    "WHERE PACKAGE_NO = :PACKAGE_NO AND SCRIPT_NAME = :SCRIPT_NAME AND STATEMENT_NO > 0";

constexpr const char* kForgetStatements =
    "DELETE FROM NVX$UPDATE_JOURNAL WHERE PACKAGE_NO = :PACKAGE_NO AND STATEMENT_NO > 0";

}  // namespace

UpdateJournal::UpdateJournal(CGlobDB& db) : db_(db) {}

UpdateJournal::~UpdateJournal() = default;

void UpdateJournal::Disable() noexcept { state_ = State::Unavailable; }

void UpdateJournal::BeginPackage(std::int64_t package)
{
    package_ = package;
    applied_.clear();
    tallies_.clear();
}

void UpdateJournal::GiveUp(const std::string& logPath, const std::exception& error)
{
    RollbackQuietly(db_);
    state_ = State::Unavailable;
    insert_.reset();
    applied_.clear();
    WriteRunLog(logPath, true,
                std::string("The update journal ") + kJournalTable +
                    " cannot be used; statements that an earlier run applied are applied again.\r\n" + error.what());
}

void UpdateJournal::Open(const std::string& logPath)
{
    // Without a connection every statement fails and is logged as such; the
    // journal has nothing to add.
    if (!db_.Attached()) {
        state_ = State::Unavailable;
        return;
    }
    try {
        // The transaction open since connecting has only read the version.
        if (db_.InTransaction())
            db_.Commit();
        if (!TableExists(db_, kJournalTable))
            ExecuteInTransaction(db_, kCreateJournalTable);
        state_ = State::Active;
    } catch (const DatabaseError& error) {
        if (error.ConnectionLost())
            throw;
        GiveUp(logPath, error);
    }
}

void UpdateJournal::BeginScript(const std::string& script, const std::string& logPath)
{
    applied_.clear();
    tallies_.push_back(ScriptTally {script});
    if (package_ == 0)
        return;
    if (state_ == State::Unopened)
        Open(logPath);
    if (!Active())
        return;
    try {
        RunInTransaction(db_, [&] {
            CDBStatement query(db_);
            query.SetSQL(kReadApplied);
            query.SetParamInteger("PACKAGE_NO", static_cast<std::int32_t>(package_));
            query.SetParamText("SCRIPT_NAME", script);
            for (query.Execute(); !query.Eof(); query.Next())
                applied_.emplace(query.FieldAsInteger("STATEMENT_NO"), query.FieldAsText("TEXT_HASH"));
        });
    } catch (const DatabaseError& error) {
        if (error.ConnectionLost())
            throw;
        GiveUp(logPath, error);
    }
}

bool UpdateJournal::Applied(int ordinal, const std::string& hash) const
{
    return Active() && applied_.count({ordinal, hash}) > 0;
}

void UpdateJournal::Record(int ordinal, const std::string& hash, const std::string& logPath)
{
    if (!Active() || tallies_.empty())
        return;
    try {
        if (!insert_) {
            insert_ = std::make_unique<CDBStatement>(db_);
            insert_->SetSQL(kRecordStatement);
        }
        insert_->SetParamInteger("PACKAGE_NO", static_cast<std::int32_t>(package_));
        insert_->SetParamText("SCRIPT_NAME", tallies_.back().script);
        insert_->SetParamInteger("STATEMENT_NO", ordinal);
        insert_->SetParamText("TEXT_HASH", hash);
        insert_->Execute();
    } catch (const DatabaseError& error) {
        if (error.ConnectionLost())
            throw;
        GiveUp(logPath, error);
    }
}

void UpdateJournal::Count(StatementOutcome outcome) noexcept
{
    if (tallies_.empty())
        return;
    ScriptTally& tally = tallies_.back();
    ++(outcome == StatementOutcome::Executed ? tally.executed
       : outcome == StatementOutcome::Skipped ? tally.skipped
                                              : tally.failed);
}

void UpdateJournal::CompletePackage(const std::string& logPath)
{
    if (!Active() || tallies_.empty())
        return;
    try {
        RunInTransaction(db_, [&] {
            if (db_.GetVersion() < package_)
                return;
            CDBStatement summary(db_);
            summary.SetSQL(kSummarise);
            for (const auto& tally : tallies_) {
                summary.SetParamInteger("PACKAGE_NO", static_cast<std::int32_t>(package_));
                summary.SetParamText("SCRIPT_NAME", tally.script);
                summary.SetParamInteger("EXECUTED", tally.executed);
                summary.SetParamInteger("SKIPPED", tally.skipped);
                summary.SetParamInteger("FAILED", tally.failed);
                summary.Execute();
            }
            CDBStatement forget(db_);
            forget.SetSQL(kForgetStatements);
            forget.SetParamInteger("PACKAGE_NO", static_cast<std::int32_t>(package_));
            forget.Execute();
        });
    } catch (const DatabaseError& error) {
        if (error.ConnectionLost())
            throw;
        WriteRunLog(logPath, true,
                    "The update journal's rows of package " + std::to_string(package_) +
                        " could not be summarised.\r\n" + error.what());
    }
}

std::vector<JournalPackage> ReadJournalPackages(CGlobDB& db, int count)
{
    std::vector<JournalPackage> packages;
    const bool read = ReadTableIfExists(db, kJournalTable, [&] {
        CDBStatement query(db);
        query.SetSQL("SELECT FIRST " + std::to_string(count) +
                     " PACKAGE_NO,\n"
                     "  COALESCE(SUBSTRING(CAST(MIN(STARTED_AT) AS VARCHAR(24)) FROM 1 FOR 19), '') AS STARTED,\n"
                     "  SUBSTRING(CAST(MAX(FINISHED_AT) AS VARCHAR(24)) FROM 1 FOR 19) AS FINISHED,\n"
                     "  CAST(COALESCE(SUM(EXECUTED), 0) AS INTEGER) AS EXECUTED,\n"
                     "  CAST(COALESCE(SUM(SKIPPED), 0) AS INTEGER) AS SKIPPED,\n"
                     "  CAST(COALESCE(SUM(FAILED), 0) AS INTEGER) AS FAILED\n"
                     "FROM NVX$UPDATE_JOURNAL GROUP BY PACKAGE_NO ORDER BY PACKAGE_NO DESC");
        for (query.Execute(); !query.Eof(); query.Next())
            packages.push_back({query.FieldAsInteger("PACKAGE_NO"), query.FieldAsText("STARTED"),
                                query.FieldAsText("FINISHED"), query.FieldAsInteger("EXECUTED"),
                                query.FieldAsInteger("SKIPPED"), query.FieldAsInteger("FAILED")});
    });
    if (!read)
        packages.clear();
    return packages;
}

}  // namespace dbupdate
