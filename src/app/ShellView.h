#pragma once
// What the updater's checks and update run need of the main window: the
// progress memo and pumping (view::IUpdateView), the controls they drive and
// the warning box.

#include "view/UpdateView.h"

#include <string>

namespace app {

// The controls the checks and the run drive, by their window names; each
// view gives its own.
struct DrivenControls {
    view::IButton& btOK;
    view::IButton& btCancel;
    view::ILabel& lCurVer;
    view::ILabel& lActVer;
    view::IControl& plUp;
    view::ILabel& lUpdate;
    view::IProgressBar& ProgressBar2;
    view::ILabel& lTextFile;
    view::ILabel& lFile;
    view::ILabel& lUpdateTime;
};

class IShellView : public view::IUpdateView {
public:
    virtual DrivenControls Controls() = 0;
    // The modal warning box (warning icon, caption "Warning", one OK button);
    // returns when the user has closed it.
    virtual void ShowWarning(const std::string& text) = 0;
};

}  // namespace app
