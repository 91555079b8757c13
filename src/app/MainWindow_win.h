#pragma once
// The Windows main window TForm1 (Win32 and the common controls) and its
// progress memo. Every control carries the control ID of its name in the
// layout (ControlId, ControlName), so that it can be found by name.

#include "app/Layout.h"
#include "app/Main.h"
#include "app/Win32Controls_win.h"
#include "app/Shell.h"
#include "app/ShellView.h"
#include "platform/Paths.h"

#include <memory>
#include <string>
#include <string_view>
#include <windows.h>

namespace app {

// The controls' IDs: the first ID and the control's place in the form's
// table.
inline constexpr int kFirstControlId = 101;
constexpr int ControlIdOf(std::string_view name) { return kFirstControlId + static_cast<int>(FormControlIndex(name)); }
enum class ControlId : int {
    Panel2 = ControlIdOf("Panel2"),
    btOK = ControlIdOf("btOK"),
    btCancel = ControlIdOf("btCancel"),
    plInfo = ControlIdOf("plInfo"),
    Memo2 = ControlIdOf("Memo2"),
    Panel3 = ControlIdOf("Panel3"),
    Panel4 = ControlIdOf("Panel4"),
    Label1 = ControlIdOf("Label1"),
    lCurVer = ControlIdOf("lCurVer"),
    Panel5 = ControlIdOf("Panel5"),
    Label2 = ControlIdOf("Label2"),
    lActVer = ControlIdOf("lActVer"),
    plUp = ControlIdOf("plUp"),
    lUpdate = ControlIdOf("lUpdate"),
    lUpdateTime = ControlIdOf("lUpdateTime"),
    ProgressBar2 = ControlIdOf("ProgressBar2"),
    lTextFile = ControlIdOf("lTextFile"),
    lFile = ControlIdOf("lFile"),
};
// The name of a control ID ("btOK"); empty for any other number.
std::string ControlName(int id);

class TForm1;

// Creates the main window; an error while it is built is shown in the
// standard error box and gives null (the window is then never shown).
std::unique_ptr<TForm1> CreateForm1(const std::string& executablePath);

// Processes the thread's pending messages, then returns. Keys for the main
// window are handled as its own: Esc presses btCancel, Tab moves the focus.
void ProcessPendingMessages();
// Dispatches messages until the window is closed.
void RunMessageLoop(const TForm1& form);

class TForm1 final : public Form1Handlers {
public:
    // Builds the window's layout (not shown yet) and starts the shell
    // (Form1Handlers). Throws when that fails; the window is then destroyed
    // unseen.
    explicit TForm1(const std::string& executablePath = platform::ExecutablePath());
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    HWND Handle() const { return window_; }
    // A control by its name in the layout; null for another name.
    HWND Control(const std::string& name) const;
    // False once the window is closed (destroyed).
    bool IsOpen() const { return window_ != nullptr; }
    // Shows the window; FormShow runs from the message loop once it is on
    // screen.
    void Show();

    // Handles a key message for the window before it is dispatched (Esc,
    // Tab); true when it was handled.
    bool HandleKey(MSG& message);

    // IShellView: the memo and the message pump.
    void AddLine(const std::string& text) override;
    void AppendToLastLine(const std::string& text) override;
    void ProcessMessages() override;

private:
    struct Controls;
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void BuildLayout();
    void PlaceControls(int width, int height);
    void CloseWindow() override;
    // Ends the shutdown block that the run set.
    void RunReturned() override;

    HWND window_ = nullptr;
    std::unique_ptr<Controls> controls_;

};

}  // namespace app
