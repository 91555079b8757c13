#include "dbupdate/Backup.h"

#include "dbupdate/CDBStatement.h"
#include "dbupdate/DatabaseError.h"
#include "dbupdate/FbClient.h"
#include "dbupdate/ServiceReport.h"
#include "dbupdate/Transaction.h"
#include "dbupdate/Uglobdb.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <exception>
#include <ibase.h>
#include <stdexcept>
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
    // the report's closing line (finalLine is the text it holds). The
    // embedded engine runs the action on a thread of this process, which
    // ends with the attachment: the report is read to its end.
    std::string Run(const std::string& request, const char* operation, const ServiceProgress& progress,
                    const char* finalLine)
    {
        Start(request, operation);
        const std::string send = TimeoutItem();
        const char items[] = {isc_info_svc_line};
        ServiceReport report(finalLine);
        std::vector<char> buffer(16 * 1024);
        for (bool more = true; more;) {
            Query(send, items, sizeof items, buffer, operation);
            bool lines = false;
            std::uint32_t requested = 0;
            more = ReadServiceAnswer(buffer, operation, requested, [&](const char* data, std::size_t length) {
                const std::string line(data, length);
                lines = true;
                report.Take(line);
                if (progress)
                    progress(line);
            });
            if (!lines && more && progress)
                progress({});
        }
        return report.Completed(operation);
    }

    // Starts a backup whose file is "stdout" and writes what the engine
    // sends to file; gives the number of bytes. Without a verbose report the
    // engine's failure arrives as the status of a query. What progress
    // throws stops the backup (the database is only read).
    std::uint64_t Receive(const std::string& request, platform::File& file, const std::string& fileName,
                          const CopyProgress& progress)
    {
        const char* operation = "Service::Backup";
        Start(request, operation);
        const std::string send = TimeoutItem();
        const char items[] = {isc_info_svc_to_eof};
        std::vector<char> buffer(kStreamBuffer);
        std::uint64_t total = 0;
        for (bool more = true; more;) {
            Query(send, items, sizeof items, buffer, operation);
            std::uint32_t requested = 0;
            more = ReadServiceAnswer(buffer, operation, requested, [&](const char* data, std::size_t length) {
                if (const platform::Error error = file.Write(data, length))
                    throw std::runtime_error(fileName + ": " + error.Message());
                total += length;
            });
            if (progress)
                progress(total);
        }
        return total;
    }

    // Starts a restore whose file is "stdin" and sends file to the engine
    // whenever it asks for data, no more than it asks for; an empty answer
    // tells it the file has ended. A backup that ends early fails the
    // restore with the engine's message. What progress throws stops the
    // restore as an early end would (the engine is not left in the middle
    // of it), and is thrown once the engine has finished.
    void Send(const std::string& request, platform::File& file, const std::string& fileName,
              const CopyProgress& progress)
    {
        const char* operation = "Service::Restore";
        Start(request, operation);
        const std::string timeout = TimeoutItem();
        const char items[] = {isc_info_svc_stdin, isc_info_svc_line};
        std::vector<char> buffer(kStreamBuffer);
        std::vector<char> data;
        std::uint64_t total = 0;
        std::uint32_t requested = 0;
        ServiceReport report;
        std::exception_ptr stopped;
        for (bool more = true; more;) {
            std::string send = timeout;
            if (requested > 0) {
                // The send block's own length is 16 bits.
                data.resize(std::min<std::size_t>(requested, 0xFFFF - 1 - 2 - send.size()));
                std::size_t got = 0;
                if (!stopped) {
                    if (const platform::Error error = file.Read(data.data(), data.size(), got))
                        throw std::runtime_error(fileName + ": " + error.Message());
                }
                // The engine takes the data as it takes a line of input.
                send += static_cast<char>(isc_info_svc_line);
                send += static_cast<char>(got & 0xFF);
                send += static_cast<char>(got >> 8);
                send.append(data.data(), got);
                total += got;
            }
            Query(send, items, sizeof items, buffer, operation);
            more = ReadServiceAnswer(buffer, operation, requested, [&](const char* line, std::size_t length) {
                report.Take(std::string(line, length));
            });
            if (progress && !stopped) {
                try {
                    progress(total);
                } catch (...) {
                    stopped = std::current_exception();
                }
            }
        }
        if (stopped)
            std::rethrow_exception(stopped);
        report.Completed(operation);
    }

private:
    // The answers of a copy's queries: large, as each one is a round trip.
    static constexpr std::size_t kStreamBuffer = 60000;

    void Start(const std::string& request, const char* operation)
    {
        ISC_STATUS_ARRAY status {};
        services_.service_start(status, &handle_, nullptr, static_cast<unsigned short>(request.size()),
                                request.data());
        Check(api_, status, operation);
    }

    void Query(const std::string& send, const char* items, std::size_t itemCount, std::vector<char>& buffer,
               const char* operation)
    {
        ISC_STATUS_ARRAY status {};
        services_.service_query(status, &handle_, nullptr, static_cast<unsigned short>(send.size()), send.data(),
                                static_cast<unsigned short>(itemCount), items,
                                static_cast<unsigned short>(buffer.size()), buffer.data());
        Check(api_, status, operation);
    }

    // A timeout lets a query come back at least every second, so that the
    // caller's progress (its window, a termination request) is served while
    // the engine works: the tag, a 2-byte length (4) and the seconds.
    static std::string TimeoutItem()
    {
        std::string send {static_cast<char>(isc_info_svc_timeout), 4, 0};
        for (int shift = 0; shift < 32; shift += 8)
            send += static_cast<char>((1u >> shift) & 0xFF);
        return send;
    }

    const FbApi& api_;
    const FbServiceApi& services_;
    isc_svc_handle handle_ = 0;
};

std::string Request(char action, std::initializer_list<std::pair<char, std::string>> strings, std::uint32_t options,
                    bool verbose = true)
{
    std::string request(1, action);
    for (const auto& [tag, value] : strings)
        AddString(request, tag, value);
    if (verbose)
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

std::string SiblingPath(const std::string& databasePath, const std::string& suffix)
{
    const auto separator = databasePath.find_last_of("/\\:");
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    auto dot = databasePath.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        dot = databasePath.size();
    return databasePath.substr(0, dot) + suffix;
}

std::string BackupPathFor(const std::string& databasePath, std::int32_t version)
{
    std::string suffix(1, '.');
    suffix.append(std::to_string(version)).append(".fbk");
    return SiblingPath(databasePath, suffix);
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
    return BackupSizeOf(
        manager.Run(Request(isc_action_svc_backup, {{isc_spb_dbname, database}, {isc_spb_bkp_file, backupFile}}, 0),
                    "Service::Backup", progress, kBackupClosingLine));
}

void RestoreDatabase(const std::string& server, const std::string& backupFile, const std::string& database,
                     const ServiceProgress& progress)
{
    ServiceManager manager(server);
    manager.Run(Request(isc_action_svc_restore, {{isc_spb_bkp_file, backupFile}, {isc_spb_dbname, database}},
                        isc_spb_res_replace),
                "Service::Restore", progress, kRestoreClosingLine);
}

void ShutDownDatabase(const std::string& server, const std::string& database)
{
    // A wait of no seconds for the attachments to end: the engine refuses at
    // once while one is there.
    std::string request(1, isc_action_svc_properties);
    AddString(request, isc_spb_dbname, database);
    request += static_cast<char>(isc_spb_prp_shutdown_mode);
    request += static_cast<char>(isc_spb_prp_sm_full);
    AddNumber(request, isc_spb_prp_attachments_shutdown, 0);
    ServiceManager(server).Run(request, "Service::Shutdown", nullptr, "");
}

void BringDatabaseOnline(const std::string& server, const std::string& database)
{
    std::string request(1, isc_action_svc_properties);
    AddString(request, isc_spb_dbname, database);
    request += static_cast<char>(isc_spb_prp_online_mode);
    request += static_cast<char>(isc_spb_prp_sm_normal);
    ServiceManager(server).Run(request, "Service::Online", nullptr, "");
}

bool IsUnusableDatabaseError(const DatabaseError& error)
{
    const long code = error.ErrorCode();
    return code == isc_shutdown || code == isc_bad_db_format || code == isc_db_corrupt;
}

std::uint64_t BackupToLocalFile(const std::string& server, const std::string& database, const std::string& localFile,
                                const CopyProgress& progress)
{
    platform::File file = platform::File::OpenAppend(localFile);
    platform::Error error = file.OpenError();
    if (error.Ok())
        error = file.Truncate();
    if (error)
        throw std::runtime_error(localFile + ": " + error.Message());
    ServiceManager manager(server);
    const std::uint64_t bytes = manager.Receive(
        Request(isc_action_svc_backup, {{isc_spb_dbname, database}, {isc_spb_bkp_file, "stdout"}}, 0, false), file,
        localFile, progress);
    if (const platform::Error closed = file.Close())
        throw std::runtime_error(localFile + ": " + closed.Message());
    return bytes;
}

void RestoreFromLocalFile(const std::string& server, const std::string& localFile, const std::string& database,
                          const CopyProgress& progress)
{
    platform::File file = platform::File::OpenRead(localFile);
    if (!file.IsOpen())
        throw std::runtime_error(localFile + ": " + file.OpenError().Message());
    ServiceManager manager(server);
    manager.Send(Request(isc_action_svc_restore, {{isc_spb_bkp_file, "stdin"}, {isc_spb_dbname, database}},
                         isc_spb_res_create, false),
                 file, localFile, progress);
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
