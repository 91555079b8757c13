#include "app/MainWindow_posix.h"

#include "app/Layout.h"
#include "app/Unattended.h"
#include "platform/Termination.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QSessionManager>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <iostream>

namespace app {

namespace {

QString ToQt(const std::string& text) { return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())); }

class QtButton final : public view::IButton {
public:
    explicit QtButton(QPushButton* button) : button_(button) {}
    void SetCaption(const std::string& text) override { button_->setText(ToQt(text)); }
    void SetVisible(bool visible) override { button_->setVisible(visible); }
    void SetEnabled(bool enabled) override { button_->setEnabled(enabled); }

private:
    QPushButton* button_;
};

// A label that, unless its size is fixed, grows with its text as the
// auto-sized labels of the form do; a right-anchored one keeps its right edge.
class QtLabel final : public view::ILabel {
public:
    // The form's row says whether the label keeps its size or its right edge.
    QtLabel(QLabel* label, const FormControl& row)
        : label_(label), fixedSize_(row.fixedSize), keepRightEdge_(row.rightAligned) {}
    void SetCaption(const std::string& text) override
    {
        label_->setText(ToQt(text));
        if (fixedSize_)
            return;
        const QRect old = label_->geometry();
        const int width = label_->sizeHint().width();
        label_->setGeometry(keepRightEdge_ ? old.right() + 1 - width : old.left(), old.top(), width, old.height());
    }
    void SetVisible(bool visible) override { label_->setVisible(visible); }

private:
    QLabel* label_;
    bool fixedSize_;
    bool keepRightEdge_;
};

class QtPanel final : public view::IControl {
public:
    explicit QtPanel(QWidget* panel) : panel_(panel) {}
    void SetVisible(bool visible) override { panel_->setVisible(visible); }

private:
    QWidget* panel_;
};

class QtBar final : public view::IProgressBar {
public:
    explicit QtBar(QProgressBar* bar) : bar_(bar) {}
    void SetMinimum(int value) override { bar_->setMinimum(value); }
    void SetMaximum(int value) override { bar_->setMaximum(value); }
    // QProgressBar ignores values outside its range; the form's bar keeps
    // its position inside it instead.
    void SetPosition(int value) override { bar_->setValue(std::clamp(value, bar_->minimum(), bar_->maximum())); }
    int Minimum() const override { return bar_->minimum(); }
    int Maximum() const override { return bar_->maximum(); }
    int Position() const override { return std::max(bar_->value(), bar_->minimum()); }
    void SetVisible(bool visible) override { bar_->setVisible(visible); }

private:
    QProgressBar* bar_;
};

// The designed font. Linux systems rarely have Tahoma; wine's own copy
// (Debian's fonts-wine, Cyrillic covered) is loaded for the application when
// it is there, so that the labels keep their designed sizes. Only its
// regular face: fontconfig reads no character map from wine's bold face, and
// Qt then draws bold texts with it unbolded; without it Qt emboldens the
// regular face, as the bold labels need. Without either, Qt's substitute for
// Tahoma stands in.
void LoadTahoma()
{
    static const bool done = [] {
        if (!QFontDatabase::families().contains(QStringLiteral("Tahoma")))
            QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
        return true;
    }();
    (void)done;
}

QFrame* MakePanel(QWidget* parent, const char* name, bool raised)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
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

}  // namespace

void AddLine(QPlainTextEdit& memo, const std::string& text)
{
    QTextCursor cursor(memo.document());
    cursor.movePosition(QTextCursor::End);
    // Text the user typed after the last line break stays a line of its own.
    if (!cursor.block().text().isEmpty())
        cursor.insertBlock();
    cursor.insertText(ToQt(text));
    cursor.insertBlock();
    memo.setTextCursor(cursor);
}

void AppendToLastLine(QPlainTextEdit& memo, const std::string& text)
{
    // The mark goes to the end of the last line, never to where the user
    // has clicked: a cursor of our own, not the memo's caret.
    QTextCursor cursor(memo.document());
    cursor.movePosition(QTextCursor::End);
    if (memo.document()->blockCount() > 1 && cursor.block().text().isEmpty()) {
        cursor.movePosition(QTextCursor::PreviousBlock);
        cursor.movePosition(QTextCursor::EndOfBlock);
    }
    cursor.insertText(ToQt(text));
}

struct TForm1::Controls {
    QFrame* Panel2;
    QPushButton* btOK;
    QPushButton* btCancel;
    QFrame* plInfo;
    QPlainTextEdit* Memo2;
    QFrame* Panel3;
    QFrame* Panel4;
    QLabel* Label1;
    QLabel* lCurVer;
    QFrame* Panel5;
    QLabel* Label2;
    QLabel* lActVer;
    QFrame* plUp;
    QLabel* lUpdate;
    QLabel* lUpdateTime;
    QProgressBar* ProgressBar2;
    QLabel* lTextFile;
    QLabel* lFile;

    std::unique_ptr<QtButton> okAdapter, cancelAdapter;
    std::unique_ptr<QtLabel> curVerAdapter, actVerAdapter, updateAdapter, textFileAdapter, fileAdapter, timeAdapter;
    std::unique_ptr<QtPanel> upAdapter;
    std::unique_ptr<QtBar> barAdapter;
};

TForm1::TForm1(const std::string& executablePath) : controls_(std::make_unique<Controls>())
{
    SetApplicationTitle(executablePath);
    BuildLayout();
    StartShell(executablePath);
}

TForm1::~TForm1() = default;

void TForm1::BuildLayout()
{
    setObjectName("Form1");
    setWindowTitle(QString::fromUtf8("Оновлення"));
    LoadTahoma();
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, windowPalette.color(QPalette::Button));
    windowPalette.setColor(QPalette::WindowText, windowPalette.color(QPalette::WindowText));
    setPalette(windowPalette);
    setAutoFillBackground(true);

    Controls& c = *controls_;
    std::array<QWidget*, kFormControlCount> widgets {};
    for (std::size_t index = 0; index < kFormControlCount; ++index) {
        const FormControl& f = kFormControls[index];
        QWidget* parent = f.parent ? widgets[FormControlIndex(f.parent)] : this;
        const QString caption = QString::fromUtf8(f.caption ? f.caption : "");
        QWidget* widget = nullptr;
        switch (f.kind) {
        case ControlKind::Panel:
        case ControlKind::RaisedPanel:
            widget = MakePanel(parent, f.name, f.kind == ControlKind::RaisedPanel);
            break;
        case ControlKind::Button:
            widget = new QPushButton(caption, parent);
            break;
        case ControlKind::Memo: {
            auto* memo = new QPlainTextEdit(caption, parent);
            memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            QPalette memoPalette = memo->palette();
            memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::ToolTipBase));
            memo->setPalette(memoPalette);
            widget = memo;
            break;
        }
        case ControlKind::Label:
            widget = MakeLabel(parent, f);
            break;
        case ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(0, kInitialBarMaximum);
            bar->setValue(0);
            bar->setTextVisible(false);
            widget = bar;
            break;
        }
        }
        widget->setObjectName(f.name);
        if (f.kind != ControlKind::Label)  // labels are placed by their size
            widget->setGeometry(f.geometry.left, f.geometry.top, f.geometry.width, f.geometry.height);
        widget->setEnabled(f.enabled);
        if (!f.visible)
            widget->hide();
        widgets[index] = widget;
    }
    const auto named = [&widgets]<typename Widget>(const char* name, Widget*& target) {
        target = static_cast<Widget*>(widgets[FormControlIndex(name)]);
    };
    named("Panel2", c.Panel2);
    named("btOK", c.btOK);
    named("btCancel", c.btCancel);
    named("plInfo", c.plInfo);
    named("Memo2", c.Memo2);
    named("Panel3", c.Panel3);
    named("Panel4", c.Panel4);
    named("Label1", c.Label1);
    named("lCurVer", c.lCurVer);
    named("Panel5", c.Panel5);
    named("Label2", c.Label2);
    named("lActVer", c.lActVer);
    named("plUp", c.plUp);
    named("lUpdate", c.lUpdate);
    named("lUpdateTime", c.lUpdateTime);
    named("ProgressBar2", c.ProgressBar2);
    named("lTextFile", c.lTextFile);
    named("lFile", c.lFile);

    c.okAdapter = std::make_unique<QtButton>(c.btOK);
    c.cancelAdapter = std::make_unique<QtButton>(c.btCancel);
    c.curVerAdapter = std::make_unique<QtLabel>(c.lCurVer, FormControlNamed("lCurVer"));
    c.actVerAdapter = std::make_unique<QtLabel>(c.lActVer, FormControlNamed("lActVer"));
    c.updateAdapter = std::make_unique<QtLabel>(c.lUpdate, FormControlNamed("lUpdate"));
    c.textFileAdapter = std::make_unique<QtLabel>(c.lTextFile, FormControlNamed("lTextFile"));
    c.fileAdapter = std::make_unique<QtLabel>(c.lFile, FormControlNamed("lFile"));
    c.timeAdapter = std::make_unique<QtLabel>(c.lUpdateTime, FormControlNamed("lUpdateTime"));
    c.upAdapter = std::make_unique<QtPanel>(c.plUp);
    c.barAdapter = std::make_unique<QtBar>(c.ProgressBar2);
    viewControls_.emplace(DrivenControls{*c.okAdapter, *c.cancelAdapter, *c.curVerAdapter, *c.actVerAdapter,
                                         *c.upAdapter, *c.updateAdapter, *c.barAdapter, *c.textFileAdapter,
                                         *c.fileAdapter, *c.timeAdapter});

    QObject::connect(c.btOK, &QPushButton::clicked, this, [this] { btOKClick(); });
    QObject::connect(c.btCancel, &QPushButton::clicked, this, [this] { btCancelClick(); });
    // btCancel is the window's cancel button: Esc presses it wherever the focus is.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    QObject::connect(escape, &QShortcut::activated, this, [this] {
        if (controls_->btCancel->isEnabled())
            controls_->btCancel->click();
    });

    move(0, 0);
    resize(kDesignedClientWidth, kDesignedClientHeight);
    PlaceControls();
}

void TForm1::PlaceControls()
{
    Controls& c = *controls_;
    const DockedRects r = DockControls(width(), height(), c.lUpdateTime->width());
    const auto place = [](QWidget* widget, const Rect& rect) {
        widget->setGeometry(rect.left, rect.top, rect.width, rect.height);
    };
    place(c.Panel2, r.Panel2);
    place(c.btOK, r.btOK);
    place(c.btCancel, r.btCancel);
    place(c.plUp, r.plUp);
    place(c.lUpdateTime, r.lUpdateTime);
    place(c.ProgressBar2, r.ProgressBar2);
    place(c.Panel3, r.Panel3);
    place(c.Panel4, r.Panel4);
    place(c.Panel5, r.Panel5);
    place(c.plInfo, r.plInfo);
    place(c.Memo2, r.Memo2);
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    PlaceControls();
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!QueueFormShow())
        return;
    // Runs once the window is on screen, so that the warning box has its window.
    QTimer::singleShot(0, this, [this] { FormShow(); });
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!MayClose()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TForm1::AddLine(const std::string& text) { app::AddLine(*controls_->Memo2, text); }
void TForm1::AppendToLastLine(const std::string& text) { app::AppendToLastLine(*controls_->Memo2, text); }
void TForm1::ProcessMessages() { QCoreApplication::processEvents(); }

void toolkit::ShowBox(BoxKind kind, const std::string& caption, const std::string& text)
{
    QMessageBox box(kind == BoxKind::Warning ? QMessageBox::Warning : QMessageBox::Critical, ToQt(caption),
                    ToQt(text), QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

namespace {

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// Whether Qt has a display to open the window on: without one it aborts with
// its plugin message. A platform chosen by name (offscreen, vnc...) needs
// none of X or Wayland.
bool HasDisplay()
{
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    const std::string platform = chosen ? chosen : "";
    if (platform.starts_with("xcb"))
        return IsSet("DISPLAY");
    if (platform.starts_with("wayland"))
        return IsSet("WAYLAND_DISPLAY");
    return !platform.empty() || IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

}  // namespace

int toolkit::RunWindow(int argc, char** argv, const std::string& executablePath, const std::string& failure)
{
    if (!HasDisplay()) {
        std::cerr << "updater: there is no display to open the window on (DISPLAY is not set); "
                     "run `updater --unattended` to update without a window"
                  << std::endl;
        return kExitError;
    }
    QApplication application(argc, argv);
    if (!failure.empty()) {
        ShowErrorBox(failure);
        return 0;
    }
    QApplication::setApplicationName(ToQt(platform::ApplicationTitle(executablePath)));
    std::unique_ptr<TForm1> form = CreateForm1(executablePath);
    if (!form)
        return 0;
    // A session that ends during a run stops it as a termination request
    // does; the window then closes once the run has returned.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, form.get(), [&form](QSessionManager&) {
        if (form->RunInProgress())
            platform::RequestTermination();
    });
    form->show();
    QApplication::exec();
    return 0;
}

std::unique_ptr<TForm1> CreateForm1(const std::string& executablePath)
{
    return CreateMainWindow<TForm1>(executablePath);
}

}  // namespace app
