#include "app/Unattended.h"

#include "app/HeadlessView.h"
#include "app/Shell.h"

#include <memory>
#include <ostream>

namespace app {

int RunUnattended(const std::string& executablePath, std::ostream& out, std::ostream& err)
{
    HeadlessView view(&out, &err);
    auto fail = [&](const std::string& message) {
        view.Finish();
        view.ShowError(message);
        return kExitError;
    };
    try {
        CUpdaterShell shell(view, executablePath);
        const CheckResult check = shell.FormShow();
        if (check != CheckResult::UpdatePossible) {
            view.Finish();
            return check == CheckResult::DatabaseCurrent ? kExitApplied : kExitRefused;
        }
        const RunResult run = shell.btOKClick();
        view.Finish();
        return run == RunResult::Completed ? kExitApplied : kExitRefused;
    } catch (const std::exception& error) {
        return fail(error.what());
    } catch (...) {
        return fail("");
    }
}

}  // namespace app
