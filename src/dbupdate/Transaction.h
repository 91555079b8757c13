#pragma once
// The statement cycle of the connection: start a transaction when none is
// open, run, commit; roll back what did not commit. Every update statement,
// blob file, journal and lock step goes through it.

#include "dbupdate/DatabaseError.h"

#include <string>

namespace dbupdate {

class CGlobDB;

// Rolls back the connection's open transaction, if any; a transaction gone
// with its connection is no error.
void RollbackQuietly(CGlobDB& db) noexcept;

// One unit of work in the connection's transaction. Starts the transaction
// when none is open (the one open since connecting is used as it is); a unit
// that ends without Commit, by an exception, is rolled back.
class ScopedTransaction {
public:
    // Throws DatabaseError when the transaction cannot be started.
    explicit ScopedTransaction(CGlobDB& db);
    ScopedTransaction(const ScopedTransaction&) = delete;
    ScopedTransaction& operator=(const ScopedTransaction&) = delete;
    ~ScopedTransaction();

    // Starts the transaction again when a step of the unit has ended it (a
    // failed journal row rolls its transaction back). Throws DatabaseError.
    void Resume();
    // Commits the unit. A statement may have ended the transaction itself (a
    // script's own COMMIT): then nothing is left to commit. Throws
    // DatabaseError; the transaction is then rolled back.
    void Commit();

private:
    CGlobDB& db_;
    bool done_ = false;
};

// Runs body as one unit of work (ScopedTransaction) and commits it.
template <typename Body>
void RunInTransaction(CGlobDB& db, Body body)
{
    ScopedTransaction transaction(db);
    body();
    transaction.Commit();
}

// Executes one statement without parameters as a unit of its own. Throws
// DatabaseError.
void ExecuteInTransaction(CGlobDB& db, const std::string& sql);

// Runs body, a query of the named table, as one unit of work; false when
// the table is missing or the query fails otherwise than by a lost
// connection (which throws DatabaseError). For tables the updater makes on
// first use, which an account may not read or may never have had.
template <typename Body>
bool ReadTableIfExists(CGlobDB& db, const std::string& table, Body body);

// Whether the database has a table of that name (an upper-case name without
// quotes), read as a unit of its own. Throws DatabaseError.
bool TableExists(CGlobDB& db, const std::string& name);

template <typename Body>
bool ReadTableIfExists(CGlobDB& db, const std::string& table, Body body)
{
    try {
        if (!TableExists(db, table))
            return false;
        RunInTransaction(db, body);
        return true;
    } catch (const DatabaseError& error) {
        if (error.ConnectionLost())
            throw;
        return false;
    }
}

}  // namespace dbupdate
