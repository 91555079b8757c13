#include "dbupdate/Transaction.h"

#include "dbupdate/CDBStatement.h"
#include "dbupdate/Uglobdb.h"

namespace dbupdate {

void RollbackQuietly(CGlobDB& db) noexcept
{
    if (!db.InTransaction())
        return;
    try {
        db.Rollback();
    } catch (const std::exception&) {
        // The transaction is gone with its connection; nothing else to undo.
    }
}

ScopedTransaction::ScopedTransaction(CGlobDB& db) : db_(db) { Resume(); }

ScopedTransaction::~ScopedTransaction()
{
    if (!done_)
        RollbackQuietly(db_);
}

void ScopedTransaction::Resume()
{
    if (!db_.InTransaction())
        db_.StartTransaction();
}

void ScopedTransaction::Commit()
{
    if (db_.InTransaction())
        db_.Commit();
    done_ = true;
}

void ExecuteInTransaction(CGlobDB& db, const std::string& sql)
{
    RunInTransaction(db, [&] {
        CDBStatement statement(db);
        statement.SetParamCheck(false);
        statement.SetSQL(sql);
        statement.Execute();
    });
}

bool TableExists(CGlobDB& db, const std::string& name)
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
