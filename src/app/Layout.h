#pragma once
// Where the docked and anchored controls of the main window go for a given
// client size: the button row, the progress area and the version rows are
// docked from the bottom up, the memo panel takes what is left, and anchored
// controls keep their distances to the anchored edges of the designed
// 635 x 456 client area. Both windows place their controls with it.

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
