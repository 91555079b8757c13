#pragma once
// A view for the tests of the update steps: it records the memo's lines and
// keeps the state of the labels and the progress bar the steps are given.

#include "view/RecordedControls.h"
#include "view/UpdateView.h"

#include <string>
#include <vector>

namespace testsupport {

struct RecordingView : view::IUpdateView {
    std::vector<std::string> memo;
    view::ControlState file, updateTime;
    view::BarState bar;

    void AddLine(const std::string& text) override { memo.push_back(text); }
    void AppendToLastLine(const std::string& text) override
    {
        if (memo.empty())
            memo.emplace_back();
        memo.back() += text;
    }
    void ProcessMessages() override {}
};

}  // namespace testsupport
