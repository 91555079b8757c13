#pragma once
// The main window's state without a window: used by the unattended mode and
// by tests of the checks and the update run. Memo lines can be mirrored to a
// stream as they complete; boxes go to another stream.

#include "app/ShellView.h"
#include "view/RecordedControls.h"

#include <ostream>
#include <string>
#include <vector>

namespace app {

using view::BarState;
using view::ControlState;

class HeadlessView : public IShellView {
public:
    // lines, when given, receives each memo line once it is complete;
    // boxes receives the texts of message boxes.
    explicit HeadlessView(std::ostream* lines = nullptr, std::ostream* boxes = nullptr);

    void AddLine(const std::string& text) override;
    void AppendToLastLine(const std::string& text) override;
    void ProcessMessages() override {}
    DrivenControls Controls() override
    {
        return {ok, cancel, curVer, actVer, panelUp, update, bar, textFile, file, updateTime};
    }
    void ShowWarning(const std::string& text) override;
    // Shows an error as the standard error box would.
    void ShowError(const std::string& text);
    // Writes the last memo line out; call when the run has ended.
    void Finish();

    std::vector<std::string> memo;
    std::vector<std::string> warnings;
    std::vector<std::string> errors;
    // Controls in the state the window's layout gives them before FormShow.
    ControlState ok, cancel, curVer, actVer, panelUp, update, textFile, file, updateTime;
    BarState bar;

private:
    void FlushPending();
    std::ostream* lines_;
    std::ostream* boxes_;
    bool pending_ = false;
};

}  // namespace app
