#include "dbupdate/Backup.h"

#include "dbupdate/ParameterBlock.h"
#include "dbupdate/ServiceManager.h"
#include "dbupdate/ServiceReport.h"
#include "platform/File.h"

#include <ibase.h>
#include <stdexcept>

namespace dbupdate {

std::uint64_t BackupDatabase(const std::string& server, const std::string& database, const std::string& backupFile,
                             const ServiceProgress& progress)
{
    ServiceManager manager(server);
    const std::string request =
        ServiceRequest(isc_action_svc_backup, {{isc_spb_dbname, database}, {isc_spb_bkp_file, backupFile}}, 0);
    return BackupSizeOf(manager.Run(request, "Service::Backup", progress, kBackupClosingLine));
}

void RestoreDatabase(const std::string& server, const std::string& backupFile, const std::string& database,
                     const ServiceProgress& progress)
{
    ServiceManager manager(server);
    const std::string request = ServiceRequest(
        isc_action_svc_restore, {{isc_spb_bkp_file, backupFile}, {isc_spb_dbname, database}}, isc_spb_res_replace);
    manager.Run(request, "Service::Restore", progress, kRestoreClosingLine);
}

void ShutDownDatabase(const std::string& server, const std::string& database)
{
    // A wait of no seconds for the attachments to end: the engine refuses at
    // once while one is there.
    std::string request = ServiceRequest(isc_action_svc_properties, {{isc_spb_dbname, database}}, 0, false);
    request += static_cast<char>(isc_spb_prp_shutdown_mode);
    request += static_cast<char>(isc_spb_prp_sm_full);
    AddNumber(request, isc_spb_prp_attachments_shutdown, 0);
    ServiceManager(server).Run(request, "Service::Shutdown", nullptr, "");
}

void BringDatabaseOnline(const std::string& server, const std::string& database)
{
    std::string request = ServiceRequest(isc_action_svc_properties, {{isc_spb_dbname, database}}, 0, false);
    request += static_cast<char>(isc_spb_prp_online_mode);
    request += static_cast<char>(isc_spb_prp_sm_normal);
    ServiceManager(server).Run(request, "Service::Online", nullptr, "");
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
    const std::string request =
        ServiceRequest(isc_action_svc_backup, {{isc_spb_dbname, database}, {isc_spb_bkp_file, "stdout"}}, 0, false);
    const std::uint64_t bytes = manager.Receive(request, file, localFile, progress);
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
    const std::string request = ServiceRequest(
        isc_action_svc_restore, {{isc_spb_bkp_file, "stdin"}, {isc_spb_dbname, database}}, isc_spb_res_create, false);
    manager.Send(request, file, localFile, progress);
}

}  // namespace dbupdate
