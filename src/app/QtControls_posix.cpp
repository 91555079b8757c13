#include "app/QtControls_posix.h"

#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

namespace app {

QString ToQt(const std::string& text) { return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())); }

void QtButton::SetCaption(const std::string& text) { button_->setText(ToQt(text)); }
void QtButton::SetVisible(bool visible) { button_->setVisible(visible); }
void QtButton::SetEnabled(bool enabled) { button_->setEnabled(enabled); }

void QtLabel::SetCaption(const std::string& text)
{
    label_->setText(ToQt(text));
    if (fixedSize_)
        return;
    const QRect old = label_->geometry();
    const int width = label_->sizeHint().width();
    label_->setGeometry(keepRightEdge_ ? old.right() + 1 - width : old.left(), old.top(), width, old.height());
}
void QtLabel::SetVisible(bool visible) { label_->setVisible(visible); }

void QtPanel::SetVisible(bool visible) { panel_->setVisible(visible); }

void QtBar::SetMinimum(int value) { bar_->setMinimum(value); }
void QtBar::SetMaximum(int value) { bar_->setMaximum(value); }
void QtBar::SetPosition(int value) { bar_->setValue(std::clamp(value, bar_->minimum(), bar_->maximum())); }
int QtBar::Minimum() const { return bar_->minimum(); }
int QtBar::Maximum() const { return bar_->maximum(); }
int QtBar::Position() const { return std::max(bar_->value(), bar_->minimum()); }
void QtBar::SetVisible(bool visible) { bar_->setVisible(visible); }

void LoadTahoma()
{
    static const bool done = [] {
        if (!QFontDatabase::families().contains(QStringLiteral("Tahoma")))
            QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
        return true;
    }();
    (void)done;
}

namespace {

QFrame* MakePanel(QWidget* parent, bool raised)
{
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(raised ? (QFrame::Panel | QFrame::Raised) : QFrame::NoFrame);
    panel->setLineWidth(1);
    return panel;
}

// A label at its designed place. Labels whose size is not fixed size
// themselves to their text, so where the designed font is missing and a wider
// one stands in, the text still shows whole; a right-aligned one among them
// keeps its right edge.
QLabel* MakeLabel(QWidget* parent, const FormControl& f)
{
    auto* label = new QLabel(QString::fromUtf8(f.caption), parent);
    label->setAlignment((f.rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    if (f.bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    QRect geometry(f.geometry.left, f.geometry.top, f.geometry.width, f.geometry.height);
    if (!f.fixedSize) {
        const int width = std::max(geometry.width(), label->sizeHint().width());
        if (f.rightAligned)
            geometry.setLeft(geometry.right() + 1 - width);
        geometry.setWidth(width);
    }
    label->setGeometry(geometry);
    return label;
}

QPlainTextEdit* MakeMemo(QWidget* parent, const QString& caption)
{
    auto* memo = new QPlainTextEdit(caption, parent);
    memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette memoPalette = memo->palette();
    memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::ToolTipBase));
    memo->setPalette(memoPalette);
    return memo;
}

QProgressBar* MakeBar(QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, kInitialBarMaximum);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

}  // namespace

QWidget* MakeWidget(QWidget* parent, const FormControl& f)
{
    const QString caption = QString::fromUtf8(f.caption ? f.caption : "");
    QWidget* widget = nullptr;
    switch (f.kind) {
    case ControlKind::Panel:
    case ControlKind::RaisedPanel:
        widget = MakePanel(parent, f.kind == ControlKind::RaisedPanel);
        break;
    case ControlKind::Button:
        widget = new QPushButton(caption, parent);
        break;
    case ControlKind::Memo:
        widget = MakeMemo(parent, caption);
        break;
    case ControlKind::Label:
        widget = MakeLabel(parent, f);
        break;
    case ControlKind::ProgressBar:
        widget = MakeBar(parent);
        break;
    }
    widget->setObjectName(f.name);
    if (f.kind != ControlKind::Label)  // labels are placed by their size
        widget->setGeometry(f.geometry.left, f.geometry.top, f.geometry.width, f.geometry.height);
    widget->setEnabled(f.enabled);
    if (!f.visible)
        widget->hide();
    return widget;
}

}  // namespace app
