// The database dump of the tests on Windows, where isql-fb cannot be started:
// the system tables' description of every table, column and procedure, and
// the rows of the tables the tests fill.
#include "Installation.h"

namespace testsupport {

namespace {

std::string List(const std::string& connectionString, const std::string& item, const std::string& from)
{
    return QueryBlob(connectionString, "SELECT LIST(" + item + ", '|') FROM (" + from + ")").value_or("<null>");
}

}  // namespace

std::string DumpDatabase(const std::string& connectionString)
{
    return List(connectionString, "F",
                "SELECT TRIM(RDB$RELATION_NAME) || '.' || TRIM(RDB$FIELD_NAME) || ':' || TRIM(RDB$FIELD_SOURCE) AS F "
                "FROM RDB$RELATION_FIELDS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY 1") +
           "\n" +
           List(connectionString, "P",
                "SELECT TRIM(RDB$PROCEDURE_NAME) || ':' || RDB$PROCEDURE_SOURCE AS P FROM RDB$PROCEDURES "
                "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY RDB$PROCEDURE_NAME") +
           "\n" + List(connectionString, "V", "SELECT DATA || '@' || CREATE_DATE AS V FROM VERSIONS ORDER BY 1") +
           "\n" +
           List(connectionString, "R",
                "SELECT ID || ':' || COALESCE(KIND, '-') || ':' || COALESCE(NOTE_U, '-') AS R FROM INFO_DOC "
                "ORDER BY ID");
}

}  // namespace testsupport
