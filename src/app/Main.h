#pragma once
// The unit Main: the program entry, the message boxes and the rules every
// main window follows, and TForm1's part that both windows share (the Qt
// window on Linux, the Win32 window on Windows: each is TForm1 in its
// MainWindow_* files, derived from Form1Handlers).

#include "app/ShellView.h"
#include "platform/Paths.h"

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace app {

// Program entry: returns the process's exit code (0 with a window; the
// unattended mode's codes with --unattended). executablePath tells the
// program's own path; a failure there is reported like any other: in the
// standard error box, or on standard error in unattended mode.
int RunProgram(int argc, char** argv, std::string (*executablePath)() = platform::ExecutablePath);

// Shows a message box. Tests replace the handler so that no modal box waits.
enum class BoxKind { Warning, Error };
using BoxHandler = std::function<void(BoxKind kind, const std::string& caption, const std::string& text)>;
void SetBoxHandler(BoxHandler handler);

// The application's title (the error box's caption), from the executable's
// path: set before the window is built, so that the box of a failed
// construction has it too.
void SetApplicationTitle(const std::string& executablePath);
// The standard error box: error icon, one OK button, the application's title
// as caption, the message with the full-stop rule.
void ShowErrorBox(const std::string& message);
// The warning box: warning icon, caption "Warning", one OK button; returns
// when the user has closed it.
void ShowWarningBox(const std::string& text);

// Runs an event handler of the window: an error that escapes it is shown in
// the standard error box, and the window stays in the state the handler
// reached.
template <typename Handler>
void RunHandler(Handler handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        ShowErrorBox(error.what());
    } catch (...) {
        ShowErrorBox("");
    }
}

// Builds the main window; an error while it is built is shown in the
// standard error box and gives null (the window is then never shown).
template <typename Form>
std::unique_ptr<Form> CreateMainWindow(const std::string& executablePath)
{
    std::unique_ptr<Form> form;
    RunHandler([&] { form = std::make_unique<Form>(executablePath); });
    return form;
}

// When the window may close. A close asked for during the update run (the
// close box, Alt+F4, btCancel, a session that ends) is carried out when the
// run has returned: hiding the window would leave the update running unseen,
// and a second updater would find the database locked. After a run ended by
// a termination request the window closes as well.
class CloseRule {
public:
    // A close request: true when the window may close now; during a run it
    // is recorded instead.
    bool MayClose();
    bool RunInProgress() const { return runInProgress_; }
    // Runs the update as an event handler; true when the window must close
    // now that it has returned.
    bool Run(const std::function<void()>& run);

private:
    bool runInProgress_ = false;
    bool closeAfterRun_ = false;
};

class CUpdaterShell;

// TForm1's event handlers and the state behind them, the same in both
// windows: FormShow runs the checks, btOKClick the run, btCancelClick closes;
// a close asked for during the run waits for it (CloseRule). Each window
// derives TForm1 from it and implements the view on its own controls.
class Form1Handlers : public IShellView {
public:
    ~Form1Handlers() override;

    // The checks, as an event handler (an error goes to the error box).
    void FormShow();
    // The run, as an event handler. A close asked for while it is in progress
    // (the close box, Alt+F4, btCancel, a session that ends) is carried out
    // when it has returned; after a run ended by a termination request the
    // window closes as well.
    void btOKClick();
    void btCancelClick() { CloseWindow(); }

    bool FormShowDone() const noexcept { return formShowDone_; }
    bool RunInProgress() const { return closeRule_.RunInProgress(); }

    // IShellView: the controls (the memo and the message pump are each
    // window's own).
    DrivenControls Controls() override { return *viewControls_; }
    void ShowWarning(const std::string& text) override;

protected:
    Form1Handlers();
    // Makes the shell once the window's controls exist; it works out the
    // paths from executablePath, creates the connection object and reads
    // cnfg.ini. Throws when that fails.
    void StartShell(const std::string& executablePath);
    // True the first time only: FormShow is queued once, when the window is
    // first on screen.
    bool QueueFormShow();
    // A close request: whether the window may close now (see CloseRule).
    bool MayClose() { return closeRule_.MayClose(); }
    // Closes the window the toolkit's way, asking MayClose.
    virtual void CloseWindow() = 0;
    // Called as soon as the run has returned, before a close it allows.
    virtual void RunReturned() {}

    // The window's adapters of the controls; each window sets them once it
    // has built its layout.
    std::optional<DrivenControls> viewControls_;

private:
    std::unique_ptr<CUpdaterShell> shell_;
    bool formShowQueued_ = false;
    bool formShowDone_ = false;
    CloseRule closeRule_;
};

// What each window toolkit provides (MainWindow_posix.cpp, MainWindow_win.cpp).
namespace toolkit {
// Shows a modal message box of the system.
void ShowBox(BoxKind kind, const std::string& caption, const std::string& text);
// Makes the application object and the main window and runs the message loop
// until the window is closed; failure is an error met before (shown in the
// error box instead). Returns the exit code, 0.
int RunWindow(int argc, char** argv, const std::string& executablePath, const std::string& failure);
}  // namespace toolkit

}  // namespace app
