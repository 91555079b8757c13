#include "app/Unattended.h"

#include "app/CommandLine.h"
#include "app/HeadlessView.h"
#include "app/Rehearsal.h"
#include "app/Restore.h"
#include "app/Shell.h"
#include "platform/Text.h"

#include <exception>
#include <memory>
#include <ostream>

namespace app {

std::string OtherAttachmentReport(const dbupdate::Attachment& attachment)
{
    return "Also attached to the database: " + ClientLine(attachment);
}

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
    return RunUnattended(path, out, err, command.noBackup);
}

std::string FailureReport(const std::string& path, int statements, int blobFiles)
{
    return path + ": " + platform::Counted(statements, "failed statement", "failed statements") + ", " +
           platform::Counted(blobFiles, "failed blob file", "failed blob files");
}

int RunUnattended(const std::string& executablePath, std::ostream& out, std::ostream& err, bool noBackup)
{
    HeadlessView view(&out, &err);
    std::unique_ptr<CUpdaterShell> shell;
    // The run logs are named on every way out of a run, an error included.
    auto reportFailures = [&] {
        if (!shell)
            return false;
        for (const auto& log : shell->Failures())
            err << FailureReport(log.path, log.statements, log.blobFiles) << '\n';
        err.flush();
        return !shell->Failures().empty();
    };
    auto fail = [&](const std::string& message) {
        view.Finish();
        reportFailures();
        view.ShowError(message);
        return kExitError;
    };
    try {
        shell = std::make_unique<CUpdaterShell>(view, executablePath);
        shell->NoBackup = noBackup;
        const CheckResult check = shell->FormShow();
        for (const auto& attachment : shell->OtherAttachments)
            err << OtherAttachmentReport(attachment) << '\n';
        err.flush();
        if (check != CheckResult::UpdatePossible) {
            view.Finish();
            return check == CheckResult::DatabaseCurrent ? kExitApplied : kExitRefused;
        }
        const RunResult run = shell->btOKClick();
        view.Finish();
        if (run == RunResult::Interrupted)
            return fail(shell->InterruptionMessage());
        const bool failures = reportFailures();
        if (run != RunResult::Completed)
            return kExitRefused;
        const std::int32_t version = shell->ReadVersion();
        if (version < shell->MaxPackage) {
            err << "The database version is " << version << " after the update, not " << shell->MaxPackage << '\n';
            return kExitRefused;
        }
        return failures ? kExitFailures : kExitApplied;
    } catch (const std::exception& error) {
        return fail(error.what());
    } catch (...) {
        return fail("");
    }
}

}  // namespace app
