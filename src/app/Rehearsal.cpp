#include "app/Rehearsal.h"

#include "app/HeadlessView.h"
#include "app/Unattended.h"
#include "dbupdate/ScratchCopy.h"
#include "platform/Paths.h"
#include "platform/Termination.h"
#include "platform/Text.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>

namespace app {

namespace {

std::string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

const char* ChangeText(package::FileChange change)
{
    switch (change) {
    case package::FileChange::Added:
        return "would be added";
    case package::FileChange::Replaced:
        return "would be replaced";
    case package::FileChange::Unchanged:
        return "unchanged";
    }
    return "";
}

std::string ScriptLine(const dbupdate::ScriptTally& script, const std::string& workDir)
{
    std::string line =
        "  " + script.script + ": " + platform::Counted(script.executed, "statement", "statements") + " executed";
    if (script.skipped > 0)
        line += ", " + std::to_string(script.skipped) + " skipped (applied by an earlier run)";
    if (script.failed > 0)
        line += ", " + std::to_string(script.failed) + " failed, see " +
                platform::JoinPath(platform::JoinPath(workDir, "up"), script.script + ".log");
    return line + "\n";
}

// Where a rehearsal was when a termination request stopped it.
std::string InterruptionMessage(const CUpdaterShell& shell)
{
    if (shell.CurrentPackage() == 0)
        return "The rehearsal was interrupted while the database was copied";
    std::string where = "package " + std::to_string(shell.CurrentPackage());
    if (!shell.InterruptedAt().empty())
        where = shell.InterruptedAt() + " of " + where;
    return "The rehearsal was interrupted at " + where;
}

}  // namespace

std::string RehearsalReport(const RehearsalOutcome& outcome)
{
    std::string report = "Rehearsal on a copy of " + outcome.database + "\n";
    if (outcome.backupBytes > 0)
        report += "Copy of the database: backup " + Seconds(outcome.backupSeconds) + " (" +
                  std::to_string(outcome.backupBytes) + " bytes), restore " + Seconds(outcome.restoreSeconds) + "\n";
    for (const RehearsedPackage& package : outcome.packages) {
        report += "Package " + std::to_string(package.number) + ": " + Seconds(package.seconds) + "\n";
        for (const auto& script : package.scripts)
            report += ScriptLine(script, outcome.workDir);
        if (package.blobFilesLoaded > 0 || !package.failedBlobFiles.empty())
            report += "  Blob files: " + std::to_string(package.blobFilesLoaded) + " loaded, " +
                      std::to_string(package.failedBlobFiles.size()) + " failed\n";
        for (const auto& blob : package.failedBlobFiles)
            report += "  " + blob.name + ": failed, see " + blob.log + "\n";
        for (const auto& file : package.programFiles)
            report += "  " + file.relative + ": " + ChangeText(file.change) + "\n";
    }
    if (outcome.version)
        report += "Version reached on the copy: " + std::to_string(*outcome.version) + " (the highest package is " +
                  std::to_string(outcome.highestPackage) + ")\n";
    return report;
}

int RunRehearsal(const std::string& executablePath, std::ostream& out, std::ostream& err)
{
    HeadlessView view(&out, &err);
    // From the run on, the copy goes also when a termination request comes:
    // requests wait until it is gone (the shell, which removes it last, ends
    // first). Before the run they end the process as usual (a connection
    // that hangs can be given up).
    std::optional<platform::TerminationDeferral> deferral;
    std::unique_ptr<CUpdaterShell> shell;
    RehearsalOutcome outcome;
    // Reports what was rehearsed, removes the copy and names what is left.
    auto finish = [&](int code, const std::string& message) {
        view.Finish();
        if (const dbupdate::ScratchCopy* scratch = shell ? shell->Scratch() : nullptr) {
            outcome.database = scratch->Database();
            outcome.workDir = shell->WorkDir;
            outcome.highestPackage = shell->MaxPackage;
            outcome.backupSeconds = scratch->BackupSeconds;
            outcome.restoreSeconds = scratch->RestoreSeconds;
            outcome.backupBytes = scratch->BackupBytes;
            outcome.packages = shell->Rehearsed;
            out << RehearsalReport(outcome);
            for (const auto& log : shell->Failures())
                err << FailureReport(log.path, log.statements, log.blobFiles) << '\n';
            const std::string left = shell->EndRehearsal();
            if (left.empty())
                out << "The copy of the database was dropped and its backup deleted\n";
            else
                err << left << '\n';
        }
        out.flush();
        if (!message.empty())
            view.ShowError(message);
        err.flush();
        return code;
    };
    try {
        shell = std::make_unique<CUpdaterShell>(view, executablePath, RunMode::Rehearsal);
        const CheckResult check = shell->FormShow();
        for (const auto& attachment : shell->OtherAttachments)
            err << OtherAttachmentReport(attachment) << '\n';
        err.flush();
        if (check != CheckResult::UpdatePossible)
            return finish(check == CheckResult::DatabaseCurrent ? kExitApplied : kExitRefused, "");
        deferral.emplace();
        const RunResult run = shell->btOKClick();
        if (run == RunResult::Interrupted)
            return finish(kExitError, InterruptionMessage(*shell));
        if (run != RunResult::Completed)
            return finish(kExitRefused, "");
        outcome.version = shell->ReadVersion();
        if (*outcome.version < shell->MaxPackage)
            return finish(kExitRefused, "");
        return finish(shell->Failures().empty() ? kExitApplied : kExitFailures, "");
    } catch (const std::exception& error) {
        return finish(kExitError, error.what());
    } catch (...) {
        return finish(kExitError, "");
    }
}

}  // namespace app
