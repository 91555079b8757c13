#pragma once
// Controls that only keep their state: the window's controls where there is
// no window (unattended mode, tests).

#include "view/UpdateView.h"

#include <algorithm>
#include <string>

namespace view {

struct ControlState : IButton, ILabel {
    std::string caption;
    bool visible = true;
    bool enabled = true;

    void SetCaption(const std::string& text) override { caption = text; }
    void SetVisible(bool value) override { visible = value; }
    void SetEnabled(bool value) override { enabled = value; }
};

// Keeps its position within its range, as a progress bar does.
struct BarState : IProgressBar {
    int minimum = 0;
    int maximum = 100;
    int position = 0;
    bool visible = true;

    void SetMinimum(int value) override
    {
        minimum = value;
        maximum = std::max(maximum, minimum);
        position = std::clamp(position, minimum, maximum);
    }
    void SetMaximum(int value) override
    {
        maximum = value;
        minimum = std::min(minimum, maximum);
        position = std::clamp(position, minimum, maximum);
    }
    void SetPosition(int value) override { position = std::clamp(value, minimum, maximum); }
    int Minimum() const override { return minimum; }
    int Maximum() const override { return maximum; }
    int Position() const override { return position; }
    void SetVisible(bool value) override { visible = value; }
};

}  // namespace view
