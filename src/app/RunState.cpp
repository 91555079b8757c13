#include "app/RunState.h"

#include "dbupdate/DatabaseFile.h"
#include "dbupdate/Transaction.h"
#include "dbupdate/Uglobdb.h"
#include "dbupdate/UpdateContext.h"
#include "dbupdate/UpdateLock.h"
#include "package/PackageStore.h"
#include "platform/Paths.h"
#include "platform/Termination.h"

#include <stdexcept>

namespace app {

RunState::RunState(IShellView& view, const std::string& executablePath, const std::string& workDir)
    : view(view),
      executablePath(executablePath),
      ExeDir(platform::ExeDirOf(executablePath)),
      IniPath(platform::JoinPath(ExeDir, "cnfg.ini")),
      WorkDir(workDir)
{
    db = std::make_unique<dbupdate::CGlobDB>("", "", ExeDir);
    // Loading the client library installed its signal handlers.
    platform::TakeTerminationSignals();
    context = std::make_unique<dbupdate::UpdateContext>(view, *db);
    settings = dbupdate::ReadSettings(IniPath, ExeDir);
}

RunState::~RunState() = default;

std::string RunState::Server() const { return dbupdate::ServerForConnect(settings); }

std::string RunState::DatabasePath()
{
    // A path is the server's name for the file; an alias is asked for it.
    if (settings.pathBaseIB.find_first_of("/\\") != std::string::npos)
        return settings.pathBaseIB;
    if (!db->Attached())
        throw std::runtime_error("The database " + settings.pathBaseIB +
                                 " is an alias, and only a connection to it tells the file it stands for");
    return dbupdate::DatabaseFileName(*db);
}

std::int32_t RunState::ReadVersion()
{
    std::int32_t version = 0;
    dbupdate::RunInTransaction(*db, [&] { version = db->GetVersion(); });
    return version;
}

void RunState::ReleaseDatabase()
{
    lock.reset();
    db->Detach();
}

const package::PackageStore& RunState::Store()
{
    if (!store) {
        // The running updater reads its own packages through the file that
        // runs, so that they come from that program even if the file at its
        // path was replaced.
        const bool running = executablePath == platform::ExecutablePath();
        store = std::make_unique<package::PackageStore>(
            running ? platform::RunningExecutableFile() : executablePath, executablePath);
    }
    return *store;
}

const std::vector<dbupdate::RunLogFailures>& RunState::Failures() const { return context->failures; }

}  // namespace app
