#include "dbupdate/Attachments.h"

#include "dbupdate/CDBStatement.h"
#include "dbupdate/Uglobdb.h"

namespace dbupdate {

namespace {

constexpr const char* kClients =
    "SELECT MON$REMOTE_PROCESS AS PROCESS, MON$REMOTE_ADDRESS AS ADDRESS, MON$USER AS USER_NAME\n"
    "FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION";
// Engines from 3.0 list their own attachments too, marked by MON$SYSTEM_FLAG;
// older ones have no such column and no such attachments.
constexpr const char* kWithoutTheEngines = " AND MON$SYSTEM_FLAG = 0";

}  // namespace

std::optional<std::vector<Attachment>> ReadOtherAttachments(CGlobDB& db)
{
    for (const std::string& query : {std::string(kClients) + kWithoutTheEngines, std::string(kClients)}) {
        try {
            CDBStatement statement(db);
            statement.SetSQL(query);
            std::vector<Attachment> attachments;
            for (statement.Execute(); !statement.Eof(); statement.Next())
                attachments.push_back({statement.FieldAsText("PROCESS"), statement.FieldAsText("ADDRESS"),
                                       statement.FieldAsText("USER_NAME")});
            return attachments;
        } catch (const DatabaseError& error) {
            if (error.ConnectionLost())
                throw;
        }
    }
    return std::nullopt;
}

}  // namespace dbupdate
