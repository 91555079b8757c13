#include "app/Unattended.h"

#include "app/CatchUpPlan.h"
#include "app/CommandLine.h"
#include "app/HeadlessView.h"
#include "app/Rehearsal.h"
#include "app/Restore.h"
#include "app/Shell.h"
#include "app/Status.h"
#include "dbupdate/UpdateContext.h"

#include <exception>
#include <ostream>

namespace app {

namespace {

// The update's report: the run logs with failures, and a version short of
// the highest package.
class UpdateReport : public UnattendedReport {
public:
    explicit UpdateReport(std::ostream& err) : err_(err) {}
    void Ended(CUpdaterShell* shell, std::optional<std::int32_t> version) override
    {
        if (!shell)
            return;
        ReportFailures(*shell, err_);
        if (version && *version < shell->State().MaxPackage)
            err_ << "The database version is " << *version << " after the update, not " << shell->State().MaxPackage
                 << '\n';
    }

private:
    std::ostream& err_;
};

}  // namespace

int RunUnattendedEntry(std::string (*executablePath)(), std::ostream& out, std::ostream& err,
                       const CommandLine& command)
{
    std::string path;
    try {
        path = executablePath();
    } catch (const std::exception& error) {
        err << ErrorBoxText(error.what()) << std::endl;
        return kExitError;
    }
    if (command.mode == CommandLine::Mode::Restore)
        return RunRestore(path, command.restoreVersion, out, err);
    if (command.mode == CommandLine::Mode::Rehearse)
        return RunRehearsal(path, out, err);
    if (command.mode == CommandLine::Mode::Status)
        return RunStatus(path, out, err);
    return RunUnattended(path, out, err, command.noBackup);
}

void ReportFailures(const CUpdaterShell& shell, std::ostream& err)
{
    for (const auto& log : shell.State().Failures())
        err << FailureReport(log.path, log.statements, log.blobFiles) << '\n';
    err.flush();
}

int RunPlanUnattended(const std::string& executablePath, std::unique_ptr<RunPlan> plan, HeadlessView& view,
                      std::ostream& err, UnattendedReport& report)
{
    std::unique_ptr<CUpdaterShell> shell;
    std::optional<std::int32_t> version;
    // The report comes on every way out of a run, an error included.
    auto end = [&](int code, const std::optional<std::string>& message = std::nullopt) {
        view.Finish();
        report.Ended(shell.get(), version);
        if (message)
            view.ShowError(*message);
        err.flush();
        return code;
    };
    try {
        shell = std::make_unique<CUpdaterShell>(view, executablePath, std::move(plan));
        const CheckResult check = shell->FormShow();
        for (const auto& attachment : shell->State().OtherAttachments)
            err << OtherAttachmentReport(attachment) << '\n';
        err.flush();
        if (check != CheckResult::UpdatePossible)
            return end(check == CheckResult::DatabaseCurrent ? kExitApplied : kExitRefused);
        report.RunStarts();
        const RunResult run = shell->btOKClick();
        if (run == RunResult::Interrupted)
            return end(kExitError, shell->InterruptionMessage());
        if (run != RunResult::Completed)
            return end(kExitRefused);
        // A run that did not reach the highest package is not reported as
        // applied.
        version = shell->State().ReadVersion();
        if (*version < shell->State().MaxPackage)
            return end(kExitRefused);
        if (const std::string shortfall = shell->Shortfall(); !shortfall.empty())
            return end(kExitRefused, shortfall);
        return end(shell->State().Failures().empty() ? kExitApplied : kExitFailures);
    } catch (const std::exception& error) {
        return end(kExitError, error.what());
    } catch (...) {
        return end(kExitError, "");
    }
}

int RunUnattended(const std::string& executablePath, std::ostream& out, std::ostream& err, bool noBackup)
{
    HeadlessView view(&out, &err);
    UpdateReport report(err);
    return RunPlanUnattended(executablePath, std::make_unique<CatchUpPlan>(noBackup), view, err, report);
}

}  // namespace app
