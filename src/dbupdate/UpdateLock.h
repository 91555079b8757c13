#pragma once
// One update at a time per database: a lock that the updater's own
// attachment holds as the uncommitted change of a lock row, in a transaction
// that stays open until the updater ends. The engine ends that transaction
// with the attachment (a normal end, a crash, a kill, a lost connection), so
// a lock is never left behind and no run waits for a time-out.

#include "dbupdate/Attachments.h"

#include <ibase.h>
#include <optional>
#include <string>

namespace dbupdate {

class CGlobDB;

inline constexpr const char* kLockTable = "NVX$UPDATE_LOCK";

// One row, ID 1, whose change the holder keeps uncommitted.
inline constexpr const char* kCreateLockTable =
    "CREATE TABLE NVX$UPDATE_LOCK (\n"
    "  ID INTEGER NOT NULL PRIMARY KEY,\n"
    "  TAKEN_AT TIMESTAMP)";

// The updater that holds the lock, as the engine's monitoring tables show
// its attachment and the transaction that holds the row.
struct LockHolder {
    Attachment attachment;
    std::string since;  // the holder's transaction's start, "HH:MM" in the server's time
};

// Whether a failed client call's status vector reports a conflict with
// another transaction's change: a lock or update conflict, or a duplicate key
// of a row that another transaction inserted.
bool IsLockConflict(const ISC_STATUS* status);

// The number of the other transaction that the conflict names
// (isc_concurrent_transaction); 0 when the status does not name one.
ISC_INT64 ConcurrentTransaction(const ISC_STATUS* status);

class UpdateLock {
public:
    enum class Outcome {
        Held,           // this updater holds the lock until it is destroyed
        HeldElsewhere,  // another updater holds it; Holder() names it when the engine tells
        Unavailable,    // the lock cannot be created or taken here; Reason() says why
    };

    // The lock of the connection's database; db must be attached and must
    // outlive the lock.
    explicit UpdateLock(CGlobDB& db);
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;
    // Releases the lock (rolls its transaction back); errors are swallowed.
    ~UpdateLock();

    // Takes the lock without waiting. Creates the lock's table first when it
    // is missing, in transactions of the connection's own; two updaters that
    // do so at once both go on to the row, where one of them wins. Leaves the
    // connection without an open transaction. Throws the DatabaseError of a
    // lost connection; every other failure gives Unavailable.
    // Without createTable a missing table gives Unavailable and the
    // database is left unchanged (for a caller that only reads it: no
    // updater holds a lock that has no table).
    Outcome Acquire(bool createTable = true);

    // The other holder after HeldElsewhere, when the engine named it.
    const std::optional<LockHolder>& Holder() const noexcept { return holder_; }
    // Why the lock is unavailable (the engine's message).
    const std::string& Reason() const noexcept { return reason_; }

private:
    // Makes sure the table exists; false (with the reason) when it cannot.
    bool EnsureTable();
    // Takes the row in a NO WAIT transaction of the lock's own.
    Outcome TakeRow();
    std::optional<LockHolder> FindHolder(ISC_INT64 transaction);
    void Release() noexcept;

    CGlobDB& db_;
    isc_tr_handle tr_ = 0;
    std::optional<LockHolder> holder_;
    std::string reason_;
};

}  // namespace dbupdate
