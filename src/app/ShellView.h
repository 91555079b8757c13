#pragma once
// What the updater's checks and update run need of the main window: the
// progress memo and pumping (view::IUpdateView) and the controls by their
// window names.

#include "view/UpdateView.h"

#include <string>

namespace app {

class IShellView : public view::IUpdateView {
public:
    virtual view::IButton& btOK() = 0;
    virtual view::IButton& btCancel() = 0;
    virtual view::ILabel& lCurVer() = 0;
    virtual view::ILabel& lActVer() = 0;
    virtual view::IControl& plUp() = 0;
    virtual view::ILabel& lUpdate() = 0;
    virtual view::IProgressBar& ProgressBar2() = 0;
    virtual view::ILabel& lTextFile() = 0;
    virtual view::ILabel& lFile() = 0;
    virtual view::ILabel& lUpdateTime() = 0;
    // The modal warning box (warning icon, caption "Warning", one OK button);
    // returns when the user has closed it.
    virtual void ShowWarning(const std::string& text) = 0;
};

}  // namespace app
