#pragma once
// The main window's form: every control with its parent, kind, designed
// place and initial state (one table that the Qt window, the Win32 window
// and the headless view all read), and where the docked and anchored
// controls go for a given client size: the button row, the progress area and
// the version rows are docked from the bottom up, the memo panel takes what
// is left, and anchored controls keep their distances to the anchored edges
// of the designed 635 x 456 client area.

#include <cstddef>
#include <string_view>

namespace app {

inline constexpr int kDesignedClientWidth = 635;
inline constexpr int kDesignedClientHeight = 456;

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect&) const = default;
};

enum class ControlKind { Panel, RaisedPanel, Button, Memo, Label, ProgressBar };

// One control of the form as designed.
struct FormControl {
    const char* name;
    const char* parent;  // null: the form itself
    ControlKind kind;
    Rect geometry;        // in the parent's client area
    const char* caption;  // code page 1251 bytes as compiled; null: none
    bool visible = true;
    bool enabled = true;
    bool bold = false;
    // Labels: fixedSize ones keep their width; the others grow to their
    // text, and a right-aligned one among them keeps its right edge.
    bool fixedSize = false;
    bool rightAligned = false;
};

// Parents come before their children; the Win32 window numbers its
// controls' IDs in this order.
inline constexpr FormControl kFormControls[] = {
    {"Panel2", nullptr, ControlKind::RaisedPanel, {0, 414, 635, 42}, nullptr},
    {"btOK", "Panel2", ControlKind::Button, {467, 9, 75, 25}, "Оновить", true, false},
    {"btCancel", "Panel2", ControlKind::Button, {555, 9, 75, 25}, "Зачинити"},
    {"plInfo", nullptr, ControlKind::Panel, {0, 0, 635, 256}, nullptr},
    {"Memo2", "plInfo", ControlKind::Memo, {46, 22, 564, 219}, nullptr},
    {"Panel3", nullptr, ControlKind::RaisedPanel, {0, 256, 635, 46}, nullptr},
    {"Panel4", "Panel3", ControlKind::Panel, {1, 1, 633, 22}, nullptr},
    {"Label1", "Panel4", ControlKind::Label, {16, 6, 90, 13}, "Поточна версія", true, true, true},
    {"lCurVer", "Panel4", ControlKind::Label, {143, 5, 191, 13}, "-", true, true, true, true, true},
    {"Panel5", "Panel3", ControlKind::Panel, {1, 23, 633, 22}, nullptr},
    {"Label2", "Panel5", ControlKind::Label, {16, 6, 98, 13}, "Доступна версія", true, true, true},
    {"lActVer", "Panel5", ControlKind::Label, {143, 6, 191, 13}, "-", true, true, true, true, true},
    {"plUp", nullptr, ControlKind::Panel, {0, 302, 635, 112}, nullptr},
    {"lUpdate", "plUp", ControlKind::Label, {17, 24, 149, 13}, "Встановлення оновлення", false, true, true},
    {"lUpdateTime", "plUp", ControlKind::Label, {601, 21, 20, 13}, "--:--", false, true, false, false, true},
    {"ProgressBar2", "plUp", ControlKind::ProgressBar, {17, 40, 604, 17}, nullptr},
    {"lTextFile", "plUp", ControlKind::Label, {17, 64, 89, 13}, "Обробока файла:", false},
    {"lFile", "plUp", ControlKind::Label, {17, 80, 18, 13}, "lFile", false},
};
inline constexpr std::size_t kFormControlCount = sizeof kFormControls / sizeof kFormControls[0];

// The position of the named control in kFormControls; kFormControlCount for
// a name the form does not have.
constexpr std::size_t FormControlIndex(std::string_view name)
{
    for (std::size_t i = 0; i < kFormControlCount; ++i) {
        if (name == kFormControls[i].name)
            return i;
    }
    return kFormControlCount;
}

// The named control's row. Throws std::out_of_range for a name the form
// does not have.
const FormControl& FormControlNamed(std::string_view name);

// The progress bar's range before the run sets its own.
inline constexpr int kInitialBarMaximum = 100;

struct DockedRects {
    Rect Panel2, btOK, btCancel;
    Rect plUp, lUpdateTime, ProgressBar2;
    Rect Panel3, Panel4, Panel5;
    Rect plInfo, Memo2;
};

// timeWidth: the width lUpdateTime has now (it sizes itself to its text and
// keeps its right edge).
DockedRects DockControls(int width, int height, int timeWidth);

}  // namespace app
