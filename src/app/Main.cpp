#include "app/Main.h"

#include "app/CatchUpPlan.h"
#include "app/CommandLine.h"
#include "app/Shell.h"
#include "app/Unattended.h"
#include "platform/Console.h"
#include "platform/Locale.h"
#include "platform/SharedLibrary.h"
#include "platform/Termination.h"

#include <ostream>

namespace app {

namespace {

std::string g_applicationTitle;
BoxHandler g_boxHandler;

void ShowBox(BoxKind kind, const std::string& caption, const std::string& text)
{
    if (g_boxHandler)
        g_boxHandler(kind, caption, text);
    else
        toolkit::ShowBox(kind, caption, text);
}

}  // namespace

void SetBoxHandler(BoxHandler handler) { g_boxHandler = std::move(handler); }

void SetApplicationTitle(const std::string& executablePath)
{
    g_applicationTitle = platform::ApplicationTitle(executablePath);
}

void ShowErrorBox(const std::string& message) { ShowBox(BoxKind::Error, g_applicationTitle, ErrorBoxText(message)); }

void ShowWarningBox(const std::string& text) { ShowBox(BoxKind::Warning, "Warning", text); }

Form1Handlers::Form1Handlers() = default;

Form1Handlers::~Form1Handlers() = default;

void Form1Handlers::StartShell(const std::string& executablePath)
{
    shell_ = std::make_unique<CUpdaterShell>(*this, executablePath, std::make_unique<CatchUpPlan>());
}

void Form1Handlers::ShowWarning(const std::string& text) { ShowWarningBox(text); }

bool Form1Handlers::QueueFormShow()
{
    if (formShowQueued_)
        return false;
    formShowQueued_ = true;
    return true;
}

void Form1Handlers::FormShow()
{
    RunHandler([this] { shell_->FormShow(); });
    formShowDone_ = true;
}

void Form1Handlers::btOKClick()
{
    const bool close = closeRule_.Run([this] { shell_->btOKClick(); });
    RunReturned();
    if (close)
        CloseWindow();
}

bool CloseRule::MayClose()
{
    if (!runInProgress_)
        return true;
    closeAfterRun_ = true;
    return false;
}

bool CloseRule::Run(const std::function<void()>& run)
{
    runInProgress_ = true;
    RunHandler(run);
    // A termination request during the run (it stopped the run, or came
    // during its last steps) ends the program.
    if (platform::TerminationRequested())
        closeAfterRun_ = true;
    runInProgress_ = false;
    return closeAfterRun_;
}

int RunProgram(int argc, char** argv, std::string (*findExecutablePath)())
{
    // Before any library is loaded by name: none is taken from the
    // updater's own directory, which may be a downloads folder.
    platform::RestrictLibrarySearch();
    platform::UseUserLocale();
    // A closed standard output (`updater --unattended | head`) must not end a
    // run half done; the database library's signal handlers are replaced too.
    platform::TakeTerminationSignals();
    const CommandLine command = ParseCommandLine(argc, argv);
    if (command.mode != CommandLine::Mode::Window) {
        platform::ConsoleOutput& console = platform::UnattendedOutput();
        switch (command.mode) {
        case CommandLine::Mode::Help:
            console.out << UsageText(true) << std::flush;
            return kExitApplied;
        case CommandLine::Mode::Invalid:
            console.err << "updater: " << command.error << "\n\n" << UsageText(false) << std::flush;
            return kExitError;
        default:
            return RunUnattendedEntry(findExecutablePath, console.out, console.err, command);
        }
    }
    std::string executablePath;
    std::string failure;
    try {
        executablePath = findExecutablePath();
    } catch (const std::exception& error) {
        failure = error.what();
    }
    // The window sets the title from its path when it is built.
    if (!failure.empty())
        SetApplicationTitle(argc > 0 ? argv[0] : "");
    return toolkit::RunWindow(argc, argv, executablePath, failure);
}

}  // namespace app
