#include "dbupdate/Backup.h"

#include "dbupdate/CDBStatement.h"
#include "dbupdate/DatabaseError.h"
#include "dbupdate/FbClient.h"
#include "dbupdate/Transaction.h"
#include "dbupdate/Uglobdb.h"

#include <algorithm>
#include <cstdlib>
#include <ibase.h>
#include <vector>

namespace dbupdate {

namespace {

constexpr const char* kServiceManager = "service_mgr";

// One parameter of a service block: its tag, a 2-byte little-endian length
// and the bytes.
void AddString(std::string& block, char tag, const std::string& value)
{
    const auto length = static_cast<std::uint16_t>(std::min<std::size_t>(value.size(), 0xFFFF));
    block += tag;
    block += static_cast<char>(length & 0xFF);
    block += static_cast<char>(length >> 8);
    block.append(value, 0, length);
}

void AddNumber(std::string& block, char tag, std::uint32_t value)
{
    block += tag;
    for (int shift = 0; shift < 32; shift += 8)
        block += static_cast<char>((value >> shift) & 0xFF);
}

// An attachment to a service manager, detached when it ends.
class ServiceManager {
public:
    explicit ServiceManager(const std::string& server)
        : api_(LoadFbClient()), services_(LoadFbServices())
    {
        const std::string name = BuildConnectionString(server, kServiceManager);
        // The account items are a database's (isc_spb_user_name is
        // isc_dpb_user_name), after the service block's version.
        const std::string block = std::string {static_cast<char>(isc_spb_version),
                                               static_cast<char>(isc_spb_current_version)} +
                                  AccountItems(kDefaultUser, kDefaultPassword);
        ISC_STATUS_ARRAY status {};
        services_.service_attach(status, static_cast<unsigned short>(name.size()), name.c_str(), &handle_,
                                 static_cast<unsigned short>(block.size()), block.data());
        Check(api_, status, "Service::Attach");
    }
    ServiceManager(const ServiceManager&) = delete;
    ServiceManager& operator=(const ServiceManager&) = delete;
    ~ServiceManager()
    {
        ISC_STATUS_ARRAY status {};
        if (handle_)
            services_.service_detach(status, &handle_);
    }

    // Starts the action of request and follows its report to the end; gives
    // the report's last line. The embedded engine runs the action on a thread
    // of this process, which ends with the attachment: the report is read to
    // its end. The engine does not report every failure as one (a backup
    // that ends early leaves the report without its closing line, and the
    // status says nothing): only a report with finalLine counts as done.
    std::string Run(const std::string& request, const char* operation, const ServiceProgress& progress,
                    const char* finalLine)
    {
        ISC_STATUS_ARRAY status {};
        services_.service_start(status, &handle_, nullptr, static_cast<unsigned short>(request.size()),
                                request.data());
        Check(api_, status, operation);
        // A timeout lets a line come back at least every second, so that the
        // caller's progress (its window) is served while the engine works.
        std::string send;
        AddNumber(send, isc_info_svc_timeout, 1);
        const char items[] = {isc_info_svc_line};
        std::string failure;
        std::string last;
        bool done = false;
        std::vector<char> buffer(16 * 1024);
        for (;;) {
            services_.service_query(status, &handle_, nullptr, static_cast<unsigned short>(send.size()),
                                    send.data(), sizeof items, items, static_cast<unsigned short>(buffer.size()),
                                    buffer.data());
            Check(api_, status, operation);
            const char* p = buffer.data();
            if (*p == isc_info_svc_timeout || *p == isc_info_data_not_ready) {
                if (progress)
                    progress({});
                continue;
            }
            if (*p != isc_info_svc_line)
                throw DatabaseError("The service manager gave an unexpected answer", 0, 0, false, operation);
            const auto length = static_cast<std::size_t>(api_.vax_integer(p + 1, 2));
            if (length == 0)
                break;
            std::string line(p + 3, std::min(length, buffer.size() - 3));
            // The engine reports its failure as a line of the report; the
            // status of the query says nothing of it.
            if (line.find("ERROR:") != std::string::npos)
                failure += (failure.empty() ? "" : "\r\n") + line.substr(line.find("ERROR:") + 6);
            if (line.find(finalLine) != std::string::npos)
                done = true;
            if (progress)
                progress(line);
            last = line;
        }
        if (!failure.empty())
            throw DatabaseError(failure, 0, 0, false, operation);
        if (!done)
            throw DatabaseError("The engine's report ended before the work was complete (" + last + ")", 0, 0,
                                false, operation);
        return last;
    }

private:
    const FbApi& api_;
    const FbServiceApi& services_;
    isc_svc_handle handle_ = 0;
};

std::string Request(char action, std::initializer_list<std::pair<char, std::string>> strings, std::uint32_t options)
{
    std::string request(1, action);
    for (const auto& [tag, value] : strings)
        AddString(request, tag, value);
    request += static_cast<char>(isc_spb_verbose);
    if (options)
        AddNumber(request, isc_spb_options, options);
    return request;
}

}  // namespace

std::string TableOfProgressLine(const std::string& line)
{
    for (const char* marker : {"writing data for table ", "restoring data for table "}) {
        const auto at = line.find(marker);
        if (at == std::string::npos)
            continue;
        std::string table = line.substr(at + std::char_traits<char>::length(marker));
        while (!table.empty() && static_cast<unsigned char>(table.back()) <= ' ')
            table.pop_back();
        return table;
    }
    return {};
}

std::string BackupPathFor(const std::string& databasePath, std::int32_t version)
{
    const auto separator = databasePath.find_last_of("/\\:");
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    auto dot = databasePath.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        dot = databasePath.size();
    return databasePath.substr(0, dot) + "." + std::to_string(version) + ".fbk";
}

std::string CheckDatabasePathFor(const std::string& backupPath)
{
    const std::string extension = ".fbk";
    const bool hasExtension = backupPath.size() >= extension.size() &&
                              backupPath.compare(backupPath.size() - extension.size(), extension.size(), extension) == 0;
    return (hasExtension ? backupPath.substr(0, backupPath.size() - extension.size()) : backupPath) + ".check.fdb";
}

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

std::uint64_t BackupDatabase(const std::string& server, const std::string& database, const std::string& backupFile,
                             const ServiceProgress& progress)
{
    ServiceManager manager(server);
    const char* finalLine = "closing file, committing, and finishing.";
    const std::string last =
        manager.Run(Request(isc_action_svc_backup, {{isc_spb_dbname, database}, {isc_spb_bkp_file, backupFile}}, 0),
                    "Service::Backup", progress, finalLine);
    // "... and finishing. 669184 bytes written"
    return std::strtoull(last.c_str() + last.find(finalLine) + std::char_traits<char>::length(finalLine), nullptr,
                         10);
}

void RestoreDatabase(const std::string& server, const std::string& backupFile, const std::string& database,
                     const ServiceProgress& progress)
{
    ServiceManager manager(server);
    manager.Run(Request(isc_action_svc_restore, {{isc_spb_bkp_file, backupFile}, {isc_spb_dbname, database}},
                        isc_spb_res_replace),
                "Service::Restore", progress, "finishing, closing, and going home");
}

void DropDatabase(const std::string& server, const std::string& database)
{
    CGlobDB db(server, database);
    const FbApi& api = db.Api();
    if (db.InTransaction())
        db.Rollback();
    ISC_STATUS_ARRAY status {};
    LoadFbServices().drop_database(status, db.DbHandle());
    Check(api, status, "CGlobDB::DropDatabase");
}

}  // namespace dbupdate
