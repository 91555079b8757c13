#include "dbupdate/UpdateLock.h"

#include "dbupdate/FbClient.h"
#include "dbupdate/Transaction.h"
#include "dbupdate/CDBStatement.h"
#include "dbupdate/Uglobdb.h"

#include <charconv>
#include <chrono>
#include <string_view>
#include <thread>

namespace dbupdate {

namespace {

constexpr const char* kInsertRow = "INSERT INTO NVX$UPDATE_LOCK (ID) VALUES (1)";

// Changes the row, or inserts it where it is missing: either way the row is
// this transaction's until it ends, and another one's change or insert of it
// conflicts at once.
constexpr const char* kTakeRow =
    "UPDATE OR INSERT INTO NVX$UPDATE_LOCK (ID, TAKEN_AT) VALUES (1, CURRENT_TIMESTAMP) MATCHING (ID)";

// Read committed, so that the row's last committed state is the one changed,
// and no wait: a held row is reported at once, never waited for.
const std::string kLockTransaction {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                                    isc_tpb_nowait};

constexpr const char* kHolder =
    "SELECT A.MON$REMOTE_PROCESS AS PROCESS, A.MON$REMOTE_ADDRESS AS ADDRESS, A.MON$USER AS USER_NAME,\n"
    "  CAST(CAST(T.MON$TIMESTAMP AS TIME) AS VARCHAR(13)) AS SINCE\n"
    "FROM MON$TRANSACTIONS T JOIN MON$ATTACHMENTS A ON A.MON$ATTACHMENT_ID = T.MON$ATTACHMENT_ID\n"
    "WHERE T.MON$TRANSACTION_ID = :ID";

}  // namespace

bool IsLockConflict(const ISC_STATUS* status)
{
    static constexpr ISC_STATUS kCodes[] = {isc_deadlock, isc_lock_conflict, isc_update_conflict,
                                            isc_unique_key_violation, isc_no_dup};
    return HasErrorCode(status, kCodes);
}

ISC_INT64 ConcurrentTransaction(const ISC_STATUS* status)
{
    const std::vector<StatusItem> items = StatusItems(status);
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
        if (items[i].type != isc_arg_gds || items[i].value != isc_concurrent_transaction)
            continue;
        const StatusItem& argument = items[i + 1];
        if (argument.type == isc_arg_number)
            return static_cast<ISC_INT64>(argument.value);
        // Firebird 3 gives the number as a string.
        long long number = 0;
        if (argument.type == isc_arg_string) {
            const std::string_view text(reinterpret_cast<const char*>(argument.value));
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
            if (error == std::errc() && end == text.data() + text.size() && number > 0)
                return number;
        }
        return 0;
    }
    return 0;
}

UpdateLock::UpdateLock(CGlobDB& db) : db_(db) {}

UpdateLock::~UpdateLock() { Release(); }

void UpdateLock::Release() noexcept
{
    if (!tr_)
        return;
    ISC_STATUS_ARRAY status {};
    // A transaction whose connection is gone has been ended by the engine.
    db_.Api().rollback_transaction(status, &tr_);
    tr_ = 0;
}

UpdateLock::Outcome UpdateLock::Acquire(bool createTable)
{
    Release();
    holder_.reset();
    reason_.clear();
    try {
        // The transaction open since connecting began before the lock; what
        // the checks read must be read in one that begins after it.
        if (db_.InTransaction())
            db_.Commit();
        if (!createTable && !TableExists(db_, kLockTable)) {
            reason_ = std::string("The table ") + kLockTable + " does not exist";
            return Outcome::Unavailable;
        }
        if (!EnsureTable())
            return Outcome::Unavailable;
        return TakeRow();
    } catch (const DatabaseError& error) {
        if (error.ConnectionLost())
            throw;
        reason_ = error.what();
        return Outcome::Unavailable;
    }
}

bool UpdateLock::EnsureTable()
{
    if (TableExists(db_, kLockTable))
        return true;
    try {
        ExecuteInTransaction(db_, kCreateLockTable);
    } catch (const DatabaseError& error) {
        if (error.ConnectionLost())
            throw;
        // Another updater may have created it at the same moment.
        if (TableExists(db_, kLockTable))
            return true;
        reason_ = error.what();
        return false;
    }
    // The row, so that later updaters change it rather than insert it. One
    // that another updater inserts at the same moment serves as well, and a
    // missing row is inserted when the lock is taken.
    try {
        ExecuteInTransaction(db_, kInsertRow);
    } catch (const DatabaseError& error) {
        if (error.ConnectionLost())
            throw;
    }
    return true;
}

UpdateLock::Outcome UpdateLock::TakeRow()
{
    // A conflict with a transaction that has ended by the time it is looked
    // up was not with the lock's holder but with another updater that
    // inserted the row (or took it and let it go) at the same moment: the
    // row is tried again, and either this updater takes it or the conflict
    // is with the holder, which the lookup then names. Where the engine
    // shows this account no other attachment, the refusal comes without a
    // name after the last attempt.
    constexpr int kAttempts = 5;
    for (int attempt = 1;; ++attempt) {
        tr_ = db_.StartOwnTransaction(kLockTransaction);
        ISC_STATUS_ARRAY status {};
        db_.Api().dsql_execute_immediate(status, db_.DbHandle(), &tr_, 0, kTakeRow, db_.Dialect(), nullptr);
        if (!CallFailed(status))
            return Outcome::Held;
        Release();
        if (!IsLockConflict(status) || IsConnectionLevelError(status))
            throw StatusError(db_.Api(), status, "UpdateLock::Acquire");
        if (const ISC_INT64 transaction = ConcurrentTransaction(status))
            holder_ = FindHolder(transaction);
        if (holder_ || attempt == kAttempts)
            return Outcome::HeldElsewhere;
        std::this_thread::sleep_for(std::chrono::milliseconds(50 * attempt));
    }
}

std::optional<LockHolder> UpdateLock::FindHolder(ISC_INT64 transaction)
{
    std::optional<LockHolder> holder;
    try {
        RunInTransaction(db_, [&] {
            CDBStatement query(db_);
            query.SetSQL(kHolder);
            query.SetParamText("ID", std::to_string(transaction));
            query.Execute();
            if (!query.Eof())
                holder = LockHolder {{query.FieldAsText("PROCESS"), query.FieldAsText("ADDRESS"),
                                      query.FieldAsText("USER_NAME")},
                                     query.FieldAsText("SINCE").substr(0, 5)};
        });
    } catch (const DatabaseError& error) {
        // The holder cannot be named (no monitoring table, or it ended just
        // now); the refusal stands without its name.
        if (error.ConnectionLost())
            throw;
    }
    return holder;
}

}  // namespace dbupdate
