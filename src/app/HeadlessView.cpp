#include "app/HeadlessView.h"

#include "app/Shell.h"

#include <algorithm>

namespace app {

HeadlessView::HeadlessView(std::ostream* lines, std::ostream* boxes) : lines_(lines), boxes_(boxes)
{
    ok.caption = "Оновить";
    ok.enabled = false;
    cancel.caption = "Зачинити";
    curVer.caption = "-";
    actVer.caption = "-";
    update.caption = "Встановлення оновлення";
    update.visible = false;
    textFile.caption = "Обробока файла:";
    textFile.visible = false;
    file.caption = "lFile";
    file.visible = false;
    updateTime.caption = "--:--";
    updateTime.visible = false;
    bar.maximum = 100;
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
