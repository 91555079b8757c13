#include "app/Win32Controls_win.h"

#include <stdexcept>
#include <string>

namespace app {

namespace {

// Panels: the button-face background, a one-pixel raised bevel where the
// layout has one; they pass their children's notifications on to the form.
LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
        return SendMessageW(GetAncestor(panel, GA_ROOT), message, wParam, lParam);
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(panel, &paint);
        RECT r;
        GetClientRect(panel, &r);
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        if (GetWindowLongPtrW(panel, GWLP_USERDATA) != 0)
            DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
        EndPaint(panel, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProcW(panel, message, wParam, lParam);
    }
}

}  // namespace

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

UniqueFont MakeFont(bool bold)
{
    HFONT font = CreateFontW(-11, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             L"Tahoma");
    if (font == nullptr)
        throw std::runtime_error("Cannot create the window's font");
    return UniqueFont(font);
}

Rect ChildRect(HWND control)
{
    RECT r {};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void Place(HWND control, const Rect& r) { MoveWindow(control, r.left, r.top, r.width, r.height, TRUE); }

int TextWidth(HWND control, const std::wstring& text)
{
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

namespace {

// The texts of the form are compiled as code page 1251 bytes.
std::wstring Wide(const char* text) { return platform::Utf16FromText(text); }

const char* Caption(const FormControl& row) { return row.caption ? row.caption : ""; }

// The row's control with text (its caption, or none for a panel).
HWND MakeWindow(DWORD exStyle, const wchar_t* windowClass, const FormControl& row, const char* text, DWORD style,
                HWND parent, int id, HFONT font)
{
    const Rect& r = row.geometry;
    HWND control = CreateWindowExW(exStyle, windowClass, Wide(text).c_str(), WS_CHILD | style, r.left, r.top,
                                   r.width, r.height, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    if (control == nullptr)
        throw std::runtime_error(std::string("Cannot create the control ") + row.name);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

// Labels whose size is not fixed size themselves to their text, so where
// another font stands in for Tahoma the text still shows whole; grown to its
// text, a right-aligned one keeps its right edge.
HWND MakeLabel(HWND parent, const FormControl& row, int id, HFONT font)
{
    const DWORD style = SS_NOPREFIX | (row.rightAligned ? SS_RIGHT : SS_LEFT) | (row.visible ? WS_VISIBLE : 0);
    HWND control = MakeWindow(0, L"STATIC", row, Caption(row), style, parent, id, font);
    Rect r = row.geometry;
    if (!row.fixedSize) {
        r.width = std::max(r.width, TextWidth(control, Wide(Caption(row))));
        if (row.rightAligned)
            r.left = row.geometry.left + row.geometry.width - r.width;
    }
    Place(control, r);
    return control;
}

}  // namespace

HWND MakeControl(HWND parent, const FormControl& row, int id, HFONT plain, HFONT bold)
{
    const DWORD state = (row.visible ? WS_VISIBLE : 0) | (row.enabled ? 0 : WS_DISABLED);
    switch (row.kind) {
    case ControlKind::Panel:
    case ControlKind::RaisedPanel: {
        HWND control =
            MakeWindow(WS_EX_CONTROLPARENT, kPanelClass, row, "", WS_VISIBLE | WS_CLIPSIBLINGS, parent, id, plain);
        SetWindowLongPtrW(control, GWLP_USERDATA, row.kind == ControlKind::RaisedPanel ? 1 : 0);
        return control;
    }
    case ControlKind::Button:
        return MakeWindow(0, L"BUTTON", row, Caption(row), state | WS_TABSTOP | BS_PUSHBUTTON, parent, id, plain);
    case ControlKind::Memo: {
        HWND memo = MakeWindow(WS_EX_CLIENTEDGE, L"EDIT", row, Caption(row),
                               state | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_NOHIDESEL,
                               parent, id, plain);
        SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);  // no limit: the memo keeps every line of a long run
        return memo;
    }
    case ControlKind::Label:
        return MakeLabel(parent, row, id, row.bold ? bold : plain);
    case ControlKind::ProgressBar: {
        HWND bar = MakeWindow(0, PROGRESS_CLASSW, row, Caption(row), state, parent, id, plain);
        SendMessageW(bar, PBM_SETRANGE32, 0, kInitialBarMaximum);
        SendMessageW(bar, PBM_SETPOS, 0, 0);
        return bar;
    }
    }
    throw std::runtime_error(std::string("Cannot create the control ") + row.name);
}

void RegisterClasses()
{
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls {sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW form {};
        form.cbSize = sizeof(form);
        form.lpfnWndProc = DefWindowProcW;  // replaced per window (TForm1::WindowProc)
        form.hInstance = Instance();
        form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        form.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        form.lpszClassName = kFormClass;
        WNDCLASSEXW panel = form;
        panel.lpfnWndProc = PanelProc;
        panel.style = CS_HREDRAW | CS_VREDRAW;  // the bevel follows the panel's edges when it is resized
        panel.hIcon = nullptr;
        panel.lpszClassName = kPanelClass;
        return RegisterClassExW(&form) != 0 && RegisterClassExW(&panel) != 0;
    }();
    if (!registered)
        throw std::runtime_error("Cannot register the window classes");
}

namespace {

std::wstring WideWindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

void InsertAt(HWND memo, std::size_t position, const std::wstring& text)
{
    SendMessageW(memo, EM_SETSEL, position, position);
    SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

bool EndsWithLineBreak(const std::wstring& text) { return text.ends_with(L"\r\n"); }

}  // namespace

std::string WindowText(HWND window) { return platform::TextFromUtf16(WideWindowText(window)); }

void AddLine(HWND memo, const std::string& text)
{
    const std::wstring current = WideWindowText(memo);
    // Text the user typed after the last line break stays a line of its own.
    std::wstring line = current.empty() || EndsWithLineBreak(current) ? L"" : L"\r\n";
    line += platform::Utf16FromText(text) + L"\r\n";
    InsertAt(memo, current.size(), line);
}

void AppendToLastLine(HWND memo, const std::string& text)
{
    // The mark goes to the end of the last line, never to where the user
    // has clicked; the caret then returns to the end of the memo.
    const std::wstring current = WideWindowText(memo);
    const std::wstring mark = platform::Utf16FromText(text);
    InsertAt(memo, current.size() - (EndsWithLineBreak(current) ? 2 : 0), mark);
    const std::size_t end = current.size() + mark.size();
    SendMessageW(memo, EM_SETSEL, end, end);
}

}  // namespace app
