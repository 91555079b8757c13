#include "app/PackageSteps.h"

#include "app/RunState.h"
#include "dbupdate/DatabaseError.h"
#include "dbupdate/DatabaseUpdate.h"
#include "dbupdate/UpdateContext.h"
#include "package/PackageName.h"
#include "package/PackageStore.h"
#include "package/WorkDir.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <stdexcept>

namespace app {

std::string WritePackageOut(RunState& state, std::int64_t n)
{
    const std::string entry = package::PackageEntryName(n);
    const std::string archive = platform::JoinPath(state.WorkDir, std::to_string(n) + ".rar");
    state.view.AddLine("Копіювання пакету");
    if (!state.store)
        throw std::runtime_error(package::ResourceNotFoundMessage(entry));
    package::SavePackage(*state.store, entry, archive);
    state.view.AddLine(archive);
    return archive;
}

bool UnpackPackage(RunState& state, const std::string& rarPath, const std::string& archive)
{
    IShellView& view = state.view;
    const DrivenControls controls = view.Controls();
    controls.lUpdate.SetCaption("Підготовка оновлення");
    controls.lUpdate.SetVisible(true);
    controls.btCancel.SetEnabled(false);
    view.ProcessMessages();

    view.AddLine("Розпаковка пакету...");
    auto unpacker = package::UnpackPackage(rarPath, archive, state.WorkDir);
    if (!unpacker)
        return false;
    // Only an archiver that ended with success (0) or a warning (1) has
    // unpacked the package; anything else must not be installed.
    const platform::ExitStatus status = unpacker->Wait();
    if (!status.exited || status.code > 1)
        return false;
    view.AppendToLastLine("[OK]");
    view.ProcessMessages();
    return true;
}

void ShowInstallProgress(RunState& state)
{
    const DrivenControls controls = state.view.Controls();
    state.view.AddLine("Встановлення оновлення");
    controls.lUpdate.SetCaption("Встановлення оновлення");
    // The database update sets the bar's maximum and position itself.
    controls.ProgressBar2.SetMinimum(0);
    controls.lUpdate.SetVisible(true);
    controls.ProgressBar2.SetVisible(true);
    controls.lTextFile.SetVisible(true);
    controls.lFile.SetVisible(true);
}

void UpdatePackageDatabase(RunState& state, std::int64_t n)
{
    const DrivenControls controls = state.view.Controls();
    state.context->journal.BeginPackage(n);
    dbupdate::UpdateDatabase(*state.context, state.WorkDir, &controls.ProgressBar2, &controls.lFile,
                             &controls.lUpdateTime);
}

void ShowPackageDone(RunState& state, const std::string& archive)
{
    const DrivenControls controls = state.view.Controls();
    state.view.ProcessMessages();
    controls.lUpdate.SetVisible(false);
    controls.ProgressBar2.SetVisible(false);
    controls.lTextFile.SetVisible(false);
    controls.lFile.SetVisible(false);
    controls.btCancel.SetEnabled(true);
    // A package left in the working directory is written over by the next run.
    platform::BestEffort(platform::DeleteFile(archive));
}

bool RunEndsWithError(const std::exception& error)
{
    if (dynamic_cast<const dbupdate::UpdateInterrupted*>(&error))
        return true;
    const auto* database = dynamic_cast<const dbupdate::DatabaseError*>(&error);
    return database && database->ConnectionLost();
}

void PumpingStep(IShellView& view, bool showItem, const std::function<void()>& step)
{
    const DrivenControls controls = view.Controls();
    auto showing = [&](bool shown) {
        // The pumps of a run happen with both buttons disabled.
        controls.btCancel.SetEnabled(!shown);
        if (showItem) {
            controls.lTextFile.SetVisible(shown);
            controls.lFile.SetVisible(shown);
        }
    };
    showing(true);
    try {
        step();
    } catch (const std::exception& error) {
        showing(false);
        if (!RunEndsWithError(error))
            view.AddLine("error");
        throw;
    }
    showing(false);
}

}  // namespace app
