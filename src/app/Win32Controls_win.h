#pragma once
// The Win32 pieces of the Windows main window: its window classes and font,
// the adapters that give its controls to the update steps (view::IButton,
// ILabel, IProgressBar), and the progress memo's operations.

#include "app/Layout.h"
#include "platform/Utf16_win.h"
#include "view/UpdateView.h"

#include <algorithm>
#include <memory>
#include <string>
#include <type_traits>
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

namespace app {

inline constexpr wchar_t kFormClass[] = L"TForm1";
inline constexpr wchar_t kPanelClass[] = L"TPanel";

HINSTANCE Instance();

struct FontDeleter {
    void operator()(std::remove_pointer_t<HFONT>* font) const { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// Tahoma 8 points: 11 pixels high at 96 dots per inch. Throws
// std::runtime_error when it cannot be made.
UniqueFont MakeFont(bool bold);

// A child window's place in its parent's client area.
Rect ChildRect(HWND control);
void Place(HWND control, const Rect& r);
// The width of text in the control's font.
int TextWidth(HWND control, const std::wstring& text);

// The window of one control of the form, made as designed inside parent
// with the control ID id: its class, caption, place (labels by their text),
// font (bold where designed), enabled state and visibility. Throws
// std::runtime_error when it cannot be made.
HWND MakeControl(HWND parent, const FormControl& row, int id, HFONT plain, HFONT bold);

// Registers the form's and the panels' window classes once (and the common
// controls). Throws std::runtime_error when that fails.
void RegisterClasses();

class Win32Control : public virtual view::IControl {
public:
    explicit Win32Control(HWND control) : control_(control) {}
    void SetVisible(bool visible) override { ShowWindow(control_, visible ? SW_SHOW : SW_HIDE); }

protected:
    HWND control_;
};

class Win32Button final : public Win32Control, public view::IButton {
public:
    using Win32Control::Win32Control;
    void SetCaption(const std::string& text) override { SetWindowTextW(control_, platform::Utf16FromText(text).c_str()); }
    void SetEnabled(bool enabled) override { EnableWindow(control_, enabled); }
};

// A label that, unless its size is fixed, sizes itself to its text as the
// auto-sized labels of the form do; a right-anchored one keeps its right edge.
class Win32Label final : public Win32Control, public view::ILabel {
public:
    // The form's row says whether the label keeps its size or its right edge.
    Win32Label(HWND control, const FormControl& row)
        : Win32Control(control), fixedSize_(row.fixedSize), keepRightEdge_(row.rightAligned)
    {
    }
    void SetCaption(const std::string& text) override
    {
        const std::wstring wide = platform::Utf16FromText(text);
        SetWindowTextW(control_, wide.c_str());
        if (fixedSize_)
            return;
        const Rect old = ChildRect(control_);
        const int width = TextWidth(control_, wide);
        Place(control_, {keepRightEdge_ ? old.left + old.width - width : old.left, old.top, width, old.height});
    }

private:
    bool fixedSize_;
    bool keepRightEdge_;
};

class Win32Bar final : public Win32Control, public view::IProgressBar {
public:
    using Win32Control::Win32Control;
    void SetMinimum(int value) override { SendMessageW(control_, PBM_SETRANGE32, value, std::max(value, Maximum())); }
    void SetMaximum(int value) override { SendMessageW(control_, PBM_SETRANGE32, std::min(value, Minimum()), value); }
    // The bar keeps its position inside its range.
    void SetPosition(int value) override
    {
        SendMessageW(control_, PBM_SETPOS, std::clamp(value, Minimum(), Maximum()), 0);
    }
    int Minimum() const override { return static_cast<int>(SendMessageW(control_, PBM_GETRANGE, TRUE, 0)); }
    int Maximum() const override { return static_cast<int>(SendMessageW(control_, PBM_GETRANGE, FALSE, 0)); }
    int Position() const override { return static_cast<int>(SendMessageW(control_, PBM_GETPOS, 0, 0)); }
};

// Memo operations on a multi-line EDIT control.
// Appends text as a new last line, also after text the user typed at the
// end of the memo; the text then ends in CR LF and the caret stands at its
// end.
void AddLine(HWND memo, const std::string& text);
// Puts text at the end of the memo's last line (before its line break),
// wherever the user has put the caret.
void AppendToLastLine(HWND memo, const std::string& text);
// A window's text as the updater's texts (code page 1251).
std::string WindowText(HWND window);

}  // namespace app
