#include "dbupdate/DatabaseFile.h"

#include "dbupdate/CDBStatement.h"
#include "dbupdate/DatabaseError.h"
#include "dbupdate/FbClient.h"
#include "dbupdate/Transaction.h"
#include "dbupdate/Uglobdb.h"

#include <ibase.h>

namespace dbupdate {

std::string DatabaseFileName(CGlobDB& db)
{
    std::string name;
    RunInTransaction(db, [&] {
        CDBStatement statement(db);
        statement.SetSQL("SELECT MON$DATABASE_NAME AS NAME FROM MON$DATABASE");
        statement.Execute();
        name = statement.FieldAsText("NAME");
    });
    return name;
}

int CountDataTables(CGlobDB& db)
{
    int count = 0;
    RunInTransaction(db, [&] {
        CDBStatement statement(db);
        statement.SetSQL("SELECT COUNT(*) AS N FROM RDB$RELATIONS "
                         "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 AND RDB$VIEW_BLR IS NULL");
        statement.Execute();
        count = statement.FieldAsInteger("N");
    });
    return count;
}

void DropDatabase(const std::string& server, const std::string& database)
{
    CGlobDB db(server, database);
    DropDatabase(db);
}

void DropDatabase(CGlobDB& db)
{
    if (db.InTransaction())
        db.Rollback();
    ISC_STATUS_ARRAY status {};
    LoadFbServices().drop_database(status, db.DbHandle());
    Check(db.Api(), status, "CGlobDB::DropDatabase");
}

}  // namespace dbupdate
