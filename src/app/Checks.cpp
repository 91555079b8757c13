#include "app/Checks.h"

#include "app/RunPlan.h"
#include "app/RunState.h"
#include "app/UserTexts.h"
#include "dbupdate/Attachments.h"
#include "dbupdate/DatabaseError.h"
#include "dbupdate/DatabaseError.h"
#include "dbupdate/Uglobdb.h"
#include "dbupdate/UpdateLock.h"
#include "package/PackageName.h"
#include "package/PackageStore.h"
#include "platform/Paths.h"
#include "platform/ProcessList.h"
#include "platform/Termination.h"

#include <optional>
#include <stdexcept>

namespace app {

namespace {

// Ends the checks with a refusal that has a warning box: the reason and the
// refusal's last line in the memo, btOK disabled, the box.
void Refuse(RunState& state, const char* refusalLine, const std::string& reason, const std::string& warning)
{
    state.view.AddLine(reason);
    state.view.AddLine(refusalLine);
    state.view.Controls().btOK.SetEnabled(false);
    state.view.ShowWarning(warning);
}

// Takes the database's update lock; false when another updater holds it
// (the checks then end with the refusal).
bool TakeUpdateLock(RunState& state, RunPlan& plan, const char* refusalLine)
{
    state.lock = std::make_unique<dbupdate::UpdateLock>(*state.db);
    switch (state.lock->Acquire(plan.CreatesLockTable())) {
    case dbupdate::UpdateLock::Outcome::Held:
        return true;
    case dbupdate::UpdateLock::Outcome::Unavailable:
        plan.LockUnavailable(state);
        return true;
    case dbupdate::UpdateLock::Outcome::HeldElsewhere:
        if (plan.FilesOnly(state))
            return true;
        break;
    }
    Refuse(state, refusalLine, kUpdateInProgressLine, UpdateInProgressWarning(state.lock->Holder()));
    return false;
}

// Whether the main application running on this workstation lets the run go
// on: false after the refusal when refuses.
bool CheckMainProgram(RunState& state, bool refuses, const char* refusalLine)
{
    IShellView& view = state.view;
    view.AddLine("Перевірка запущенної програми...");
    if (!platform::IsProcessRunning(kMainProgramName)) {
        view.AppendToLastLine("OK");
    } else if (!refuses) {
        view.AddLine(kProgramRunningLine);
    } else {
        Refuse(state, refusalLine, kProgramRunningLine, kProgramRunningWarning);
        return false;
    }
    return true;
}

// The checks' first part: the main application, the connection, the lock
// and the version. Gives the refusal, or nothing when they passed.
std::optional<CheckResult> ConnectAndReadVersion(RunState& state, RunPlan& plan, const char* refusalLine)
{
    IShellView& view = state.view;
    if (!CheckMainProgram(state, plan.RefusedByMainProgram(), refusalLine))
        return CheckResult::ProgramRunning;
    view.AddLine("Підключення до бази даних");
    view.AddLine(state.settings.pathBaseIB);
    state.lock.reset();
    state.db->Connect(state.Server(), state.settings.pathBaseIB, "", "");
    // So did the attachment.
    platform::TakeTerminationSignals();
    if (!TakeUpdateLock(state, plan, refusalLine))
        return CheckResult::UpdateInProgress;
    // Read in a transaction that begins after the lock: a run that ended
    // while this one connected is seen.
    state.db->StartTransaction();
    state.DbVersion = state.db->GetVersion();
    view.Controls().lCurVer.SetCaption(std::to_string(state.DbVersion));
    view.AddLine("Версія бази даних: " + std::to_string(state.DbVersion));
    return std::nullopt;
}

// Reads the other clients attached to the database into OtherAttachments,
// all but the main application's when it refuses the run; gives the box's
// lines of those ("\n" before each), empty when there is none or the engine
// does not tell.
std::string SortAttachments(RunState& state, const RunPlan& plan)
{
    state.OtherAttachments.clear();
    const auto attachments = dbupdate::ReadOtherAttachments(*state.db);
    if (!attachments)
        return {};
    std::string programs;
    for (const auto& attachment : *attachments) {
        if (plan.RefusedByMainProgram() && platform::IsProgramPath(attachment.process, kMainProgramName))
            programs.append("\n").append(AttachmentLine(attachment));
        else
            state.OtherAttachments.push_back(attachment);
    }
    return programs;
}

// Lists the packages the updater carries in the memo and works out the
// lowest and the highest.
void ReadPackages(RunState& state)
{
    state.PackageNames.clear();
    for (const auto& name : state.Store().Names()) {
        if (package::IsPackageName(name))
            state.PackageNames.push_back(name);
    }
    state.MinPackage = 0;
    state.MaxPackage = 0;
    for (const auto& name : state.PackageNames) {
        state.view.AddLine(name);
        const auto number = package::PackageNumber(name);
        if (!number)
            throw std::runtime_error(InvalidIntegerMessage(package::PackageNumberText(name)));
        if (state.MinPackage == 0 || *number < state.MinPackage)
            state.MinPackage = *number;
        if (state.MaxPackage == 0 || *number > state.MaxPackage)
            state.MaxPackage = *number;
    }
    state.view.Controls().lActVer.SetCaption(
        state.MinPackage == state.MaxPackage
            ? std::to_string(state.MaxPackage)
            : std::to_string(state.MinPackage) + " - " + std::to_string(state.MaxPackage));
}

}  // namespace

CheckResult CheckBeforeRun(RunState& state, RunPlan& plan)
{
    if (const auto refused = ConnectAndReadVersion(state, plan, kUpdateRefusedLine))
        return *refused;
    // In a networked installation the main application of another workstation
    // holds the database too; its scripts' metadata changes would fail.
    if (const std::string clients = SortAttachments(state, plan); !clients.empty() && !plan.FilesOnly(state)) {
        Refuse(state, kUpdateRefusedLine, kProgramRunningLine, kProgramRunningWarning + clients);
        return CheckResult::ProgramAttached;
    }
    plan.AttachmentsChecked(state);
    IShellView& view = state.view;
    view.AddLine("Наявні пакети оновлення:");
    ReadPackages(state);

    // DbVersion + 1 is computed in 64 bits: the largest version must not wrap.
    if (static_cast<std::int64_t>(state.DbVersion) + 1 < state.MinPackage) {
        view.AddLine("Версія БД меньше номеру пакета оновлень");
        view.AddLine(kUpdateRefusedLine);
        view.Controls().btOK.SetEnabled(false);
        return CheckResult::DatabaseTooOld;
    }
    if (state.DbVersion < state.MaxPackage) {
        view.AppendToLastLine(" [OK]");
        view.Controls().btOK.SetEnabled(true);
        return CheckResult::UpdatePossible;
    }
    return plan.DatabaseCurrent(state);
}

CheckResult RunPlan::DatabaseCurrent(RunState& state)
{
    state.view.AddLine("Версія БД більша за номер пакета оновлень");
    state.view.AddLine(kUpdateRefusedLine);
    state.view.Controls().btOK.SetEnabled(false);
    return CheckResult::DatabaseCurrent;
}

CheckResult CheckBeforeFilesRestore(RunState& state)
{
    return CheckMainProgram(state, true, kRestoreRefusedLine) ? CheckResult::UpdatePossible
                                                              : CheckResult::ProgramRunning;
}

CheckResult CheckBeforeRestore(RunState& state, RunPlan& plan, std::string& unusableReason)
{
    try {
        if (const auto refused = ConnectAndReadVersion(state, plan, kRestoreRefusedLine))
            return *refused;
    } catch (const dbupdate::DatabaseError& error) {
        // A restore stopped before its restored database was in place leaves
        // the database shut down: only a restore makes it usable again.
        if (!dbupdate::IsUnusableDatabaseError(error))
            throw;
        unusableReason = error.what();
        return CheckResult::DatabaseUnusable;
    }
    const auto attachments = dbupdate::ReadOtherAttachments(*state.db);
    if (attachments && !attachments->empty()) {
        std::string clients;
        for (const auto& attachment : *attachments)
            clients.append("\n").append(ClientLine(attachment));
        Refuse(state, kRestoreRefusedLine, kClientsAttachedLine, kClientsAttachedWarning + clients);
        return CheckResult::ClientsAttached;
    }
    return CheckResult::UpdatePossible;
}

}  // namespace app
