#pragma once
// Short transactions of the connection for the updater's own tables (the
// update journal, the update lock): start, run, commit; roll back on error.

#include "dbupdate/Uglobdb.h"

namespace dbupdate {

// Rolls back the connection's open transaction, if any; a transaction gone
// with its connection is no error.
inline void RollbackQuietly(CGlobDB& db) noexcept
{
    if (!db.InTransaction())
        return;
    try {
        db.Rollback();
    } catch (const std::exception&) {
        // The transaction is gone with its connection; nothing else to undo.
    }
}

// Runs body in a transaction of its own (or in the one open since connecting)
// and commits it; on a DatabaseError the transaction is rolled back and the
// error raised again.
template <typename Body>
void RunInTransaction(CGlobDB& db, Body body)
{
    try {
        if (!db.InTransaction())
            db.StartTransaction();
        body();
        db.Commit();
    } catch (const DatabaseError&) {
        RollbackQuietly(db);
        throw;
    }
}

// Executes one statement without parameters in a transaction of its own (as
// RunInTransaction). Throws DatabaseError.
inline void ExecuteInTransaction(CGlobDB& db, const std::string& sql)
{
    RunInTransaction(db, [&] {
        CDBStatement statement(db);
        statement.SetParamCheck(false);
        statement.SetSQL(sql);
        statement.Execute();
    });
}

// Whether the database has a table of that name (an upper-case name without
// quotes), read in a transaction of its own. Throws DatabaseError.
inline bool TableExists(CGlobDB& db, const std::string& name)
{
    bool found = false;
    RunInTransaction(db, [&] {
        CDBStatement query(db);
        query.SetSQL("SELECT COUNT(*) AS N FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = '" + name + "'");
        query.Execute();
        found = query.FieldAsInteger("N") > 0;
    });
    return found;
}

}  // namespace dbupdate
