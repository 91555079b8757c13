#pragma once
// What the checks find and the update run works on: the paths, cnfg.ini's
// settings, the connection and the update lock, the packages carried and
// the versions, and where a run is. The checks, the package steps and the
// plans of the modes share it; CUpdaterShell owns it.

#include "app/ShellView.h"
#include "dbupdate/Attachments.h"
#include "dbupdate/Settings.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dbupdate {
class CGlobDB;
class UpdateLock;
struct UpdateContext;
struct RunLogFailures;
}
namespace package {
class PackageStore;
}

namespace app {

// The main application's executable name.
inline constexpr const char* kMainProgramName = "nvlib.exe";
// The unpacker beside the updater, without the system's program suffix
// ("rar", "rar.exe").
inline constexpr const char* kRarName = "rar";

struct RunState {
    // Works out the paths from the executable's path (the run works in
    // workDir), creates the connection object without connecting and reads
    // cnfg.ini. Throws when the database client library cannot be loaded.
    RunState(IShellView& view, const std::string& executablePath, const std::string& workDir);
    ~RunState();
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    // The server to connect through, as cnfg.ini names it ("" for the
    // embedded engine).
    std::string Server() const;
    // The database's path as the engine knows it (the file an alias stands
    // for, which only the connection tells: without one an alias throws
    // std::runtime_error).
    std::string DatabasePath();
    // The installed version, read in a transaction of its own.
    std::int32_t ReadVersion();
    // Releases the lock and ends the attachment, so that the engine may
    // replace the database.
    void ReleaseDatabase();
    // The packages the updater carries, read on first use. Throws
    // package::PackageStoreError for a damaged store.
    const package::PackageStore& Store();
    // The run logs that received failures during the run.
    const std::vector<dbupdate::RunLogFailures>& Failures() const;

    IShellView& view;
    const std::string executablePath;
    const std::string ExeDir;
    const std::string IniPath;
    const std::string WorkDir;
    dbupdate::Settings settings;
    std::unique_ptr<dbupdate::CGlobDB> db;
    // Held from the checks until the run ends; released before db detaches.
    std::unique_ptr<dbupdate::UpdateLock> lock;
    std::unique_ptr<dbupdate::UpdateContext> context;
    std::unique_ptr<package::PackageStore> store;

    std::int32_t DbVersion = 0;
    std::int32_t MinPackage = 0;
    std::int32_t MaxPackage = 0;
    std::vector<std::string> PackageNames;
    // The clients of other programs attached to the database, as the checks
    // found them.
    std::vector<dbupdate::Attachment> OtherAttachments;

    // The package a run is applying (0 before the first), and the script or
    // blob file a termination request stopped it at (empty between two).
    std::int64_t currentPackage = 0;
    std::string interruptedAt;
};

}  // namespace app
