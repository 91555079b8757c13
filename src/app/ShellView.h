#pragma once
// What the updater's checks and update run need of the main window: the
// progress memo and pumping (platform::IUpdateView) and the controls by their
// window names.

#include "platform/UpdateView.h"

#include <string>

namespace app {

class IShellView : public platform::IUpdateView {
public:
    virtual platform::IButton& btOK() = 0;
    virtual platform::IButton& btCancel() = 0;
    virtual platform::ILabel& lCurVer() = 0;
    virtual platform::ILabel& lActVer() = 0;
    virtual platform::IControl& plUp() = 0;
    virtual platform::ILabel& lUpdate() = 0;
    virtual platform::IProgressBar& ProgressBar2() = 0;
    virtual platform::ILabel& lTextFile() = 0;
    virtual platform::ILabel& lFile() = 0;
    virtual platform::ILabel& lUpdateTime() = 0;
    // The modal warning box (warning icon, caption "Warning", one OK button);
    // returns when the user has closed it.
    virtual void ShowWarning(const std::string& text) = 0;
};

}  // namespace app
