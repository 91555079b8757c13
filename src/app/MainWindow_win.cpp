#include "app/MainWindow_win.h"

#include "app/Layout.h"
#include "platform/Termination.h"
#include "platform/Utf16_win.h"

#include <algorithm>
#include <array>
#include <commctrl.h>
#include <stdexcept>
#include <type_traits>

namespace app {

namespace {

using platform::Utf16FromText;

// Posted when the window is first shown; FormShow runs when it arrives.
constexpr UINT kFormShowMessage = WM_APP + 1;

TForm1* g_mainForm = nullptr;

// The texts of this file are compiled as code page 1251 bytes.
std::wstring Wide(const char* text) { return Utf16FromText(text); }

}  // namespace

std::string ControlName(int id)
{
    const int index = id - kFirstControlId;
    return index >= 0 && index < static_cast<int>(kFormControlCount) ? kFormControls[index].name : "";
}

namespace {

void Dispatch(MSG& message)
{
    if (g_mainForm != nullptr && g_mainForm->HandleKey(message))
        return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

}  // namespace

void ProcessPendingMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Left for the loop that waits for it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Dispatch(message);
    }
}

void RunMessageLoop(const TForm1& form)
{
    MSG message;
    while (form.IsOpen() && GetMessageW(&message, nullptr, 0, 0) > 0)
        Dispatch(message);
}

struct TForm1::Controls {
    std::array<HWND, kFormControlCount> windows {};
    HWND& operator[](ControlId id) { return windows[static_cast<int>(id) - kFirstControlId]; }
    HWND Window(ControlId id) const { return windows[static_cast<int>(id) - kFirstControlId]; }

    UniqueFont font;
    UniqueFont boldFont;
    std::unique_ptr<Win32Button> btOK, btCancel;
    std::unique_ptr<Win32Label> lCurVer, lActVer, lUpdate, lTextFile, lFile, lUpdateTime;
    std::unique_ptr<Win32Control> plUp;
    std::unique_ptr<Win32Bar> ProgressBar2;
};

TForm1::TForm1(const std::string& executablePath) : controls_(std::make_unique<Controls>())
{
    SetApplicationTitle(executablePath);
    RegisterClasses();
    controls_->font = MakeFont(false);
    controls_->boldFont = MakeFont(true);
    // The window's frame around the designed client area, at the top-left
    // corner of the screen.
    constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT frame {0, 0, kDesignedClientWidth, kDesignedClientHeight};
    AdjustWindowRectEx(&frame, kStyle, FALSE, WS_EX_CONTROLPARENT);
    window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kFormClass, Wide("Оновлення").c_str(), kStyle, 0, 0,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, Instance(), nullptr);
    if (window_ == nullptr)
        throw std::runtime_error("Cannot create the main window");
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm1::WindowProc));
    g_mainForm = this;
    try {
        BuildLayout();
        StartShell(executablePath);
    } catch (...) {
        DestroyWindow(window_);
        window_ = nullptr;
        g_mainForm = nullptr;
        throw;
    }
}

TForm1::~TForm1()
{
    if (window_ != nullptr)
        DestroyWindow(window_);
    if (g_mainForm == this)
        g_mainForm = nullptr;
}

void TForm1::BuildLayout()
{
    Controls& c = *controls_;
    // Parents come before their children in the form's table.
    for (std::size_t index = 0; index < kFormControlCount; ++index) {
        const FormControl& row = kFormControls[index];
        const int id = kFirstControlId + static_cast<int>(index);
        HWND parent = row.parent ? c.windows[FormControlIndex(row.parent)] : window_;
        c.windows[index] = MakeControl(parent, row, id, c.font.get(), c.boldFont.get());
    }

    c.btOK = std::make_unique<Win32Button>(c[ControlId::btOK]);
    c.btCancel = std::make_unique<Win32Button>(c[ControlId::btCancel]);
    c.lCurVer = std::make_unique<Win32Label>(c[ControlId::lCurVer], FormControlNamed("lCurVer"));
    c.lActVer = std::make_unique<Win32Label>(c[ControlId::lActVer], FormControlNamed("lActVer"));
    c.lUpdate = std::make_unique<Win32Label>(c[ControlId::lUpdate], FormControlNamed("lUpdate"));
    c.lTextFile = std::make_unique<Win32Label>(c[ControlId::lTextFile], FormControlNamed("lTextFile"));
    c.lFile = std::make_unique<Win32Label>(c[ControlId::lFile], FormControlNamed("lFile"));
    c.lUpdateTime = std::make_unique<Win32Label>(c[ControlId::lUpdateTime], FormControlNamed("lUpdateTime"));
    c.plUp = std::make_unique<Win32Control>(c[ControlId::plUp]);
    c.ProgressBar2 = std::make_unique<Win32Bar>(c[ControlId::ProgressBar2]);
    viewControls_.emplace(DrivenControls{*c.btOK, *c.btCancel, *c.lCurVer, *c.lActVer, *c.plUp, *c.lUpdate,
                                         *c.ProgressBar2, *c.lTextFile, *c.lFile, *c.lUpdateTime});

    // Docked to the client area the system gave the window (the frame's
    // metrics may differ from what was asked for).
    RECT client {};
    GetClientRect(window_, &client);
    PlaceControls(client.right, client.bottom);
}

void TForm1::PlaceControls(int width, int height)
{
    Controls& c = *controls_;
    const DockedRects r = DockControls(width, height, ChildRect(c[ControlId::lUpdateTime]).width);
    Place(c[ControlId::Panel2], r.Panel2);
    Place(c[ControlId::btOK], r.btOK);
    Place(c[ControlId::btCancel], r.btCancel);
    Place(c[ControlId::plUp], r.plUp);
    Place(c[ControlId::lUpdateTime], r.lUpdateTime);
    Place(c[ControlId::ProgressBar2], r.ProgressBar2);
    Place(c[ControlId::Panel3], r.Panel3);
    Place(c[ControlId::Panel4], r.Panel4);
    Place(c[ControlId::Panel5], r.Panel5);
    Place(c[ControlId::plInfo], r.plInfo);
    Place(c[ControlId::Memo2], r.Memo2);
}

HWND TForm1::Control(const std::string& name) const
{
    const std::size_t index = FormControlIndex(name);
    if (index < kFormControlCount)
        return controls_->windows[index];
    return nullptr;
}

void TForm1::Show()
{
    ShowWindow(window_, SW_SHOWNORMAL);
    // The focus on the first control that takes it (btCancel while btOK
    // is disabled), as in a dialog.
    if (HWND first = GetNextDlgTabItem(window_, nullptr, FALSE))
        SetFocus(first);
    UpdateWindow(window_);
}

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr || form->window_ != window)
        return DefWindowProcW(window, message, wParam, lParam);
    return form->OnMessage(message, wParam, lParam);
}

LRESULT TForm1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED)
            PlaceControls(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_SHOWWINDOW:
        if (wParam && QueueFormShow()) {
            // Runs once the window is on screen, so that the warning box has
            // its window.
            PostMessageW(window_, kFormShowMessage, 0, 0);
        }
        break;
    case kFormShowMessage:
        FormShow();
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            const auto id = static_cast<ControlId>(LOWORD(wParam));
            if (id == ControlId::btOK && IsWindowEnabled(controls_->Window(ControlId::btOK)) && !RunInProgress())
                btOKClick();
            else if (id == ControlId::btCancel)
                btCancelClick();
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CTLCOLOREDIT: {
        // The memo in the system's tooltip colour.
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, GetSysColor(COLOR_INFOBK));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_INFOBK));
    }
    case WM_CLOSE:
        CloseWindow();
        return 0;
    case WM_QUERYENDSESSION:
        // A session that ends during a run stops the run as a termination
        // request does: the statement in progress finishes, nothing further
        // runs, and the window closes when the run has returned. The session
        // waits for that.
        if (!RunInProgress())
            return TRUE;
        platform::RequestTermination();
        ShutdownBlockReasonCreate(window_, Wide("Оновлення бази даних завершується").c_str());
        return FALSE;
    case WM_ENDSESSION:
        // The session ends now. The run, if any, stops at its next safe
        // point, which follows this message at once.
        if (wParam && RunInProgress())
            platform::RequestTermination();
        else if (wParam)
            CloseWindow();
        return 0;
    case WM_NCDESTROY:
        window_ = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

bool TForm1::HandleKey(MSG& message)
{
    if (window_ == nullptr || (message.hwnd != window_ && !IsChild(window_, message.hwnd)))
        return false;
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
        // btCancel is the window's cancel button: Esc presses it wherever
        // the focus is.
        HWND cancel = controls_->Window(ControlId::btCancel);
        if (IsWindowEnabled(cancel) && IsWindowVisible(cancel))
            btCancelClick();
        return true;
    }
    return IsDialogMessageW(window_, &message) != 0;
}

void TForm1::RunReturned() { ShutdownBlockReasonDestroy(window_); }

void TForm1::CloseWindow()
{
    if (window_ != nullptr && MayClose())
        DestroyWindow(window_);
}

void TForm1::AddLine(const std::string& text) { app::AddLine(controls_->Window(ControlId::Memo2), text); }
void TForm1::AppendToLastLine(const std::string& text) { app::AppendToLastLine(controls_->Window(ControlId::Memo2), text); }
void TForm1::ProcessMessages() { ProcessPendingMessages(); }

void toolkit::ShowBox(BoxKind kind, const std::string& caption, const std::string& text)
{
    const UINT icon = kind == BoxKind::Warning ? MB_ICONWARNING : MB_ICONERROR;
    HWND owner = g_mainForm != nullptr ? g_mainForm->Handle() : nullptr;
    MessageBoxW(owner, Utf16FromText(text).c_str(), Utf16FromText(caption).c_str(), MB_OK | icon);
}

int toolkit::RunWindow(int, char**, const std::string& executablePath, const std::string& failure)
{
    if (!failure.empty()) {
        ShowErrorBox(failure);
        return 0;
    }
    std::unique_ptr<TForm1> form = CreateForm1(executablePath);
    if (!form)
        return 0;
    form->Show();
    RunMessageLoop(*form);
    return 0;
}

std::unique_ptr<TForm1> CreateForm1(const std::string& executablePath)
{
    return CreateMainWindow<TForm1>(executablePath);
}

}  // namespace app
