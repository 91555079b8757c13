#include "dbupdate/DatabaseError.h"

#include "dbupdate/FbClient.h"

#include <algorithm>

namespace dbupdate {

bool IsConnectionLevelError(const ISC_STATUS* status)
{
    static constexpr ISC_STATUS kCodes[] = {
        isc_network_error,    isc_net_read_err,      isc_net_write_err,      isc_lost_db_connection,
        isc_conn_lost,        isc_shutdown,          isc_shutinprog,         isc_att_shutdown,
        isc_net_server_shutdown, isc_bad_db_handle,
    };
    return HasErrorCode(status, kCodes);
}

bool HasErrorCode(const ISC_STATUS* status, std::span<const ISC_STATUS> codes)
{
    for (const StatusItem& item : StatusItems(status)) {
        if (item.type == isc_arg_gds && std::find(codes.begin(), codes.end(), item.value) != codes.end())
            return true;
    }
    return false;
}

std::vector<StatusItem> StatusItems(const ISC_STATUS* status)
{
    std::vector<StatusItem> items;
    // Clusters of an argument type and its value (two items; a counted
    // string has its length between them), up to the end or the vector's
    // bound, whichever comes first: no item is read before its index is
    // known to lie inside the vector.
    for (std::size_t at = 0; at + 1 < ISC_STATUS_LENGTH && status[at] != isc_arg_end;) {
        const bool counted = status[at] == isc_arg_cstring;
        if (counted && at + 2 >= ISC_STATUS_LENGTH)
            break;
        items.push_back({status[at], status[at + (counted ? 2 : 1)]});
        at += counted ? 3 : 2;
    }
    return items;
}

std::string FormEngineMessage(const std::vector<std::string>& statusLines)
{
    std::string message;
    for (const auto& line : statusLines) {
        if (!message.empty() && message.back() != '\n')
            message += "\r\n";
        message += line;
    }
    if (!message.empty() && message.back() == '.')
        message.pop_back();
    return message;
}

DatabaseError StatusError(const FbApi& api, const ISC_STATUS* status, const char* operation)
{
    std::vector<std::string> lines;
    const ISC_STATUS* vector = status;
    char buffer[1024];
    while (api.interpret(buffer, sizeof buffer, &vector) > 0)
        lines.emplace_back(buffer);
    return DatabaseError(FormEngineMessage(lines), static_cast<int>(api.sqlcode(status)), status[1],
                         IsConnectionLevelError(status), operation);
}

bool IsUnusableDatabaseError(const DatabaseError& error)
{
    const long code = error.ErrorCode();
    return code == isc_shutdown || code == isc_bad_db_format || code == isc_db_corrupt;
}

}  // namespace dbupdate
