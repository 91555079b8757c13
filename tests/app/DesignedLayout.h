#pragma once
// The main window's layout as designed, control by control, for the tests of
// both windows (Qt and Win32), and the comparison of a control's geometry
// with it.

#include "app/Layout.h"

#include <gtest/gtest.h>
#include <ostream>

namespace app {
inline void PrintTo(const Rect& r, std::ostream* out)
{
    *out << "{" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << "}";
}
}  // namespace app

namespace fixture {

struct DesignedControl {
    const char* name;
    app::Rect geometry;  // in the parent's client area
    const char* text;    // null: no text to check (panels, the bar)
    bool hidden;
    bool enabled;
    bool autoSize = false;  // a label that sizes itself to its text
};

inline constexpr DesignedControl kDesignedControls[] = {
    {"Panel2", {0, 414, 635, 42}, nullptr, false, true},
    {"btOK", {467, 9, 75, 25}, "Оновить", false, false},
    {"btCancel", {555, 9, 75, 25}, "Зачинити", false, true},
    {"plInfo", {0, 0, 635, 256}, nullptr, false, true},
    {"Memo2", {46, 22, 564, 219}, "", false, true},
    {"Panel3", {0, 256, 635, 46}, nullptr, false, true},
    {"Panel4", {1, 1, 633, 22}, nullptr, false, true},
    {"Label1", {16, 6, 90, 13}, "Поточна версія", false, true, true},
    {"lCurVer", {143, 5, 191, 13}, "-", false, true},
    {"Panel5", {1, 23, 633, 22}, nullptr, false, true},
    {"Label2", {16, 6, 98, 13}, "Доступна версія", false, true, true},
    {"lActVer", {143, 6, 191, 13}, "-", false, true},
    {"plUp", {0, 302, 635, 112}, nullptr, false, true},
    {"lUpdate", {17, 24, 149, 13}, "Встановлення оновлення", true, true, true},
    {"lUpdateTime", {601, 21, 20, 13}, "--:--", true, true},
    {"ProgressBar2", {17, 40, 604, 17}, nullptr, false, true},
    {"lTextFile", {17, 64, 89, 13}, "Обробока файла:", true, true, true},
    {"lFile", {17, 80, 18, 13}, "lFile", true, true, true},
};

// A control's geometry against its design. Labels sized to their texts in
// Tahoma keep their designed sizes, give or take a pixel or two of the
// font's version.
inline void ExpectDesignedGeometry(const DesignedControl& c, const app::Rect& geometry)
{
    if (!c.autoSize) {
        EXPECT_EQ(geometry, c.geometry) << c.name;
        return;
    }
    EXPECT_EQ(geometry.left, c.geometry.left) << c.name;
    EXPECT_EQ(geometry.top, c.geometry.top) << c.name;
    EXPECT_EQ(geometry.height, c.geometry.height) << c.name;
    EXPECT_GE(geometry.width, c.geometry.width) << c.name;
    EXPECT_LE(geometry.width, c.geometry.width + 2) << c.name;
}

}  // namespace fixture
