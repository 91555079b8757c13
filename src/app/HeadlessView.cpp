#include "app/HeadlessView.h"

#include "app/Layout.h"
#include "app/UserTexts.h"

#include <algorithm>
#include <utility>

namespace app {

HeadlessView::HeadlessView(std::ostream* lines, std::ostream* boxes) : lines_(lines), boxes_(boxes)
{
    const std::pair<const char*, ControlState*> controls[] = {
        {"btOK", &ok},         {"btCancel", &cancel},  {"lCurVer", &curVer}, {"lActVer", &actVer},
        {"plUp", &panelUp},    {"lUpdate", &update},   {"lTextFile", &textFile}, {"lFile", &file},
        {"lUpdateTime", &updateTime},
    };
    for (const auto& [name, state] : controls) {
        const FormControl& control = FormControlNamed(name);
        state->caption = control.caption ? control.caption : "";
        state->visible = control.visible;
        state->enabled = control.enabled;
    }
    bar.maximum = kInitialBarMaximum;
}

void HeadlessView::FlushPending()
{
    if (pending_ && lines_) {
        *lines_ << memo.back() << '\n';
        lines_->flush();
    }
    pending_ = false;
}

void HeadlessView::AddLine(const std::string& text)
{
    FlushPending();
    memo.push_back(text);
    pending_ = true;
}

void HeadlessView::AppendToLastLine(const std::string& text)
{
    if (memo.empty()) {
        memo.push_back(text);
        pending_ = true;
        return;
    }
    memo.back() += text;
}

void HeadlessView::ShowWarning(const std::string& text)
{
    warnings.push_back(text);
    if (boxes_)
        *boxes_ << "Warning: " << text << '\n';
}

void HeadlessView::ShowError(const std::string& text)
{
    errors.push_back(ErrorBoxText(text));
    if (boxes_)
        *boxes_ << errors.back() << '\n';
}

void HeadlessView::Finish() { FlushPending(); }

}  // namespace app
