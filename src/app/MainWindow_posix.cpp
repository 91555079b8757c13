#include "app/MainWindow_posix.h"

#include "app/Layout.h"
#include "app/QtControls_posix.h"
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

// The form's widgets in the order of its table, and the adapters of those
// the checks and the run drive.
struct TForm1::Controls {
    explicit Controls(const std::array<QWidget*, kFormControlCount>& made) : widgets(made) {}
    template <typename Widget>
    Widget* Named(const char* name) const
    {
        return static_cast<Widget*>(widgets[FormControlIndex(name)]);
    }

    const std::array<QWidget*, kFormControlCount> widgets;
    QPlainTextEdit* const Memo2 = Named<QPlainTextEdit>("Memo2");
    QPushButton* const btOK = Named<QPushButton>("btOK");
    QPushButton* const btCancel = Named<QPushButton>("btCancel");

    QtButton btOKAdapter {Named<QPushButton>("btOK")};
    QtButton btCancelAdapter {Named<QPushButton>("btCancel")};
    QtLabel lCurVerAdapter {Named<QLabel>("lCurVer"), FormControlNamed("lCurVer")};
    QtLabel lActVerAdapter {Named<QLabel>("lActVer"), FormControlNamed("lActVer")};
    QtPanel plUpAdapter {Named<QWidget>("plUp")};
    QtLabel lUpdateAdapter {Named<QLabel>("lUpdate"), FormControlNamed("lUpdate")};
    QtBar ProgressBar2Adapter {Named<QProgressBar>("ProgressBar2")};
    QtLabel lTextFileAdapter {Named<QLabel>("lTextFile"), FormControlNamed("lTextFile")};
    QtLabel lFileAdapter {Named<QLabel>("lFile"), FormControlNamed("lFile")};
    QtLabel lUpdateTimeAdapter {Named<QLabel>("lUpdateTime"), FormControlNamed("lUpdateTime")};
};

TForm1::TForm1(const std::string& executablePath)
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

    // Parents come before their children in the form's table.
    std::array<QWidget*, kFormControlCount> widgets {};
    for (std::size_t index = 0; index < kFormControlCount; ++index) {
        const FormControl& row = kFormControls[index];
        widgets[index] = MakeWidget(row.parent ? widgets[FormControlIndex(row.parent)] : this, row);
    }
    controls_ = std::make_unique<Controls>(widgets);
    Controls& c = *controls_;
    viewControls_.emplace(DrivenControls{c.btOKAdapter, c.btCancelAdapter, c.lCurVerAdapter, c.lActVerAdapter,
                                         c.plUpAdapter, c.lUpdateAdapter, c.ProgressBar2Adapter, c.lTextFileAdapter,
                                         c.lFileAdapter, c.lUpdateTimeAdapter});

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
    const Controls& c = *controls_;
    const DockedRects r = DockControls(width(), height(), c.Named<QWidget>("lUpdateTime")->width());
    const auto place = [&c](const char* name, const Rect& rect) {
        c.Named<QWidget>(name)->setGeometry(rect.left, rect.top, rect.width, rect.height);
    };
    place("Panel2", r.Panel2);
    place("btOK", r.btOK);
    place("btCancel", r.btCancel);
    place("plUp", r.plUp);
    place("lUpdateTime", r.lUpdateTime);
    place("ProgressBar2", r.ProgressBar2);
    place("Panel3", r.Panel3);
    place("Panel4", r.Panel4);
    place("Panel5", r.Panel5);
    place("plInfo", r.plInfo);
    place("Memo2", r.Memo2);
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (controls_)
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
