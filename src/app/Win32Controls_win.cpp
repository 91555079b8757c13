#include "app/Win32Controls_win.h"

#include <stdexcept>

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
