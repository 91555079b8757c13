#include "app/Rehearsal.h"

#include "app/HeadlessView.h"
#include "app/Shell.h"
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

}  // namespace

std::string RehearsalReport(const RehearsalOutcome& outcome)
{
    std::string report = "Rehearsal on a copy of " + outcome.database + "\n";
    if (outcome.backupBytes > 0)
        report += "Copy of the database: backup " + Seconds(outcome.backupSeconds) + " (" +
                  std::to_string(outcome.backupBytes) + " bytes), restore " + Seconds(outcome.restoreSeconds) + "\n";
    if (!outcome.catchUp.empty())
        report += "Program files this workstation lacks of the packages the database has (installed first):\n";
    for (const package::LaggingFile& file : outcome.catchUp)
        report += "  " + package::LaggingFileText(file) + "\n";
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

namespace {

// The rehearsal's report, and the copy's removal, on every way out of the
// run; termination requests wait from the run's start until the copy is
// gone (the shell, which removes it last, ends before this).
class RehearsalEnd : public UnattendedReport {
public:
    RehearsalEnd(const RehearsalPlan& plan, std::ostream& out, std::ostream& err) : plan_(plan), out_(out), err_(err) {}

    void RunStarts() override { deferral_.emplace(); }

    void Ended(CUpdaterShell* shell, std::optional<std::int32_t> version) override
    {
        if (const dbupdate::ScratchCopy* scratch = shell ? plan_.Scratch() : nullptr) {
            RehearsalOutcome outcome;
            outcome.database = scratch->Database();
            outcome.workDir = shell->State().WorkDir;
            outcome.highestPackage = shell->State().MaxPackage;
            outcome.backupSeconds = scratch->BackupSeconds;
            outcome.restoreSeconds = scratch->RestoreSeconds;
            outcome.backupBytes = scratch->BackupBytes;
            outcome.packages = plan_.Rehearsed();
            outcome.catchUp = plan_.CatchUp().lagging;
            outcome.version = version;
            out_ << RehearsalReport(outcome);
            ReportFailures(*shell, err_);
            const std::string left = shell->EndRun();
            if (left.empty())
                out_ << "The copy of the database was dropped and its backup deleted\n";
            else
                err_ << left << '\n';
        }
        out_.flush();
    }

private:
    const RehearsalPlan& plan_;
    std::ostream& out_;
    std::ostream& err_;
    std::optional<platform::TerminationDeferral> deferral_;
};

}  // namespace

int RunRehearsal(const std::string& executablePath, std::ostream& out, std::ostream& err)
{
    HeadlessView view(&out, &err);
    auto plan = std::make_unique<RehearsalPlan>();
    RehearsalEnd end(*plan, out, err);
    return RunPlanUnattended(executablePath, std::move(plan), view, err, end);
}

}  // namespace app
