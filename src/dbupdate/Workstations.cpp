#include "dbupdate/Workstations.h"

#include "dbupdate/CDBStatement.h"
#include "dbupdate/DatabaseError.h"
#include "dbupdate/Transaction.h"
#include "dbupdate/Uglobdb.h"
#include "platform/Text.h"

namespace dbupdate {

namespace {

// Names and paths as bytes: a folder's name is whatever the system gives,
// whatever the database's character set.
constexpr const char* kCreateWorkstations =
    "CREATE TABLE NVX$WORKSTATIONS (\n"
    "  HOST_NAME VARCHAR(255) CHARACTER SET OCTETS NOT NULL,\n"
    "  FOLDER VARCHAR(1000) CHARACTER SET OCTETS NOT NULL,\n"
    "  PROGRAM_VERSION INTEGER,\n"
    "  UPDATED_AT TIMESTAMP,\n"
    "  USER_NAME VARCHAR(63))";
constexpr const char* kCreateReplacedFiles =
    "CREATE TABLE NVX$REPLACED_FILES (\n"
    "  FILE_NAME VARCHAR(255) CHARACTER SET OCTETS NOT NULL,\n"
    "  FILE_SIZE BIGINT NOT NULL,\n"
    "  SHA256 CHAR(64) CHARACTER SET OCTETS NOT NULL,\n"
    "  REPLACED_AT_VERSION INTEGER)";

constexpr const char* kWriteWorkstation =
    "UPDATE OR INSERT INTO NVX$WORKSTATIONS (HOST_NAME, FOLDER, PROGRAM_VERSION, UPDATED_AT, USER_NAME)\n"
    "VALUES (:HOST, :FOLDER, :VERSION, CURRENT_TIMESTAMP, CURRENT_USER) MATCHING (HOST_NAME, FOLDER)";
constexpr const char* kWriteReplaced =
    "UPDATE OR INSERT INTO NVX$REPLACED_FILES (FILE_NAME, FILE_SIZE, SHA256, REPLACED_AT_VERSION)\n"
    "VALUES (:NAME, :FILE_SIZE, :SHA256, :VERSION) MATCHING (FILE_NAME, SHA256)";

// Makes the table when it is missing; another updater making it at the same
// moment serves as well.
void EnsureTable(CGlobDB& db, const char* name, const char* create)
{
    if (TableExists(db, name))
        return;
    try {
        ExecuteInTransaction(db, create);
    } catch (const DatabaseError& error) {
        if (error.ConnectionLost() || !TableExists(db, name))
            throw;
    }
}

}  // namespace

std::string RegisterRun(CGlobDB& db, const WorkstationRow& workstation, const std::vector<ReplacedFileRow>& replaced)
{
    try {
        EnsureTable(db, kWorkstationsTable, kCreateWorkstations);
        EnsureTable(db, kReplacedFilesTable, kCreateReplacedFiles);
        RunInTransaction(db, [&] {
            CDBStatement statement(db);
            statement.SetSQL(kWriteWorkstation);
            statement.SetParamText("HOST", workstation.host);
            statement.SetParamText("FOLDER", workstation.folder);
            statement.SetParamInteger("VERSION", workstation.programVersion);
            statement.Execute();
            statement.SetSQL(kWriteReplaced);
            for (const ReplacedFileRow& copy : replaced) {
                statement.SetParamText("NAME", copy.relative);
                statement.SetParamText("FILE_SIZE", std::to_string(copy.size));
                statement.SetParamText("SHA256", copy.sha256);
                statement.SetParamInteger("VERSION", copy.version);
                statement.Execute();
            }
        });
        return {};
    } catch (const DatabaseError& error) {
        if (error.ConnectionLost())
            throw;
        return error.what();
    }
}

std::optional<std::vector<WorkstationRow>> ReadWorkstations(CGlobDB& db)
{
    std::vector<WorkstationRow> rows;
    const bool read = ReadTableIfExists(db, kWorkstationsTable, [&] {
        CDBStatement query(db);
        query.SetSQL("SELECT HOST_NAME, FOLDER, COALESCE(PROGRAM_VERSION, 0) AS PROGRAM_VERSION,\n"
                     "  SUBSTRING(CAST(UPDATED_AT AS VARCHAR(24)) FROM 1 FOR 19) AS UPDATED_AT, USER_NAME\n"
                     "FROM NVX$WORKSTATIONS ORDER BY HOST_NAME, FOLDER");
        for (query.Execute(); !query.Eof(); query.Next())
            rows.push_back({query.FieldAsText("HOST_NAME"), query.FieldAsText("FOLDER"),
                            query.FieldAsInteger("PROGRAM_VERSION"), query.FieldAsText("UPDATED_AT"),
                            query.FieldAsText("USER_NAME")});
    });
    if (!read)
        return std::nullopt;
    return rows;
}

std::vector<ReplacedFileRow> ReadReplacedFiles(CGlobDB& db)
{
    std::vector<ReplacedFileRow> rows;
    const bool read = ReadTableIfExists(db, kReplacedFilesTable, [&] {
        CDBStatement query(db);
        query.SetSQL("SELECT FILE_NAME, CAST(FILE_SIZE AS VARCHAR(20)) AS FILE_SIZE, SHA256,\n"
                     "  COALESCE(REPLACED_AT_VERSION, 0) AS VERSION FROM NVX$REPLACED_FILES");
        for (query.Execute(); !query.Eof(); query.Next()) {
            ReplacedFileRow row {query.FieldAsText("FILE_NAME"), 0, query.FieldAsText("SHA256"),
                                 query.FieldAsInteger("VERSION")};
            // A row whose size is no number is left out: nothing would match it.
            if (platform::TryParseUint64(query.FieldAsText("FILE_SIZE"), row.size))
                rows.push_back(std::move(row));
        }
    });
    if (!read)
        rows.clear();
    return rows;
}

}  // namespace dbupdate
