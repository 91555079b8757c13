#include "app/MainWindow_posix.h"

#include "BoxCollector.h"
#include "DesignedLayout.h"
#include "UnattendedProcess_posix.h"
#include "TestSupport.h"

#include <QApplication>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <iostream>
#include <sstream>

namespace {

QApplication& Application()
{
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Never destroyed: Qt's own objects must not outlive it at exit.
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

using fixture::BoxCollector;

// Shows the window and lets its FormShow run.
void ShowWindow(app::TForm1& form)
{
    form.show();
    for (int i = 0; i < 100 && !form.FormShowDone(); ++i)
        QApplication::processEvents();
    ASSERT_TRUE(form.FormShowDone());
}

template <typename T>
T* Find(QWidget& form, const char* name)
{
    T* widget = form.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

}  // namespace

TEST(TForm1, HasTheDesignedLayout)
{
    Application();
    testsupport::TempDir dir;
    app::TForm1 form(dir / "updater");
    EXPECT_EQ(form.windowTitle().toStdString(), "Оновлення");
    EXPECT_EQ(form.geometry().size(), QSize(635, 456));

    for (const auto& c : fixture::kDesignedControls) {
        QWidget* widget = Find<QWidget>(form, c.name);
        if (!widget)
            continue;
        const QRect geometry = widget->geometry();
        fixture::ExpectDesignedGeometry(c, {geometry.x(), geometry.y(), geometry.width(), geometry.height()});
        EXPECT_EQ(widget->isHidden(), c.hidden) << c.name;
        EXPECT_EQ(widget->isEnabled(), c.enabled) << c.name;
        if (!c.text)
            continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget))
            text = label->text();
        else if (auto* button = qobject_cast<QPushButton*>(widget))
            text = button->text();
        else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget))
            text = memo->toPlainText();
        EXPECT_EQ(text.toStdString(), c.text) << c.name;
    }
    EXPECT_EQ(Find<QProgressBar>(form, "ProgressBar2")->value(), 0);
    for (const char* bold : {"Label1", "lCurVer", "Label2", "lActVer", "lUpdate"})
        EXPECT_TRUE(Find<QLabel>(form, bold)->font().bold()) << bold;
    EXPECT_TRUE(Find<QLabel>(form, "lCurVer")->alignment() & Qt::AlignRight);
    EXPECT_EQ(form.font().family().toStdString(), "Tahoma");
    EXPECT_EQ(QFontInfo(Find<QLabel>(form, "Label1")->font()).family().toStdString(), "Tahoma")
        << "the designed font is drawn, not a substitute";
}

TEST(TForm1, KeepsDockingAndAnchorsWhenResized)
{
    Application();
    testsupport::TempDir dir;
    BoxCollector boxes;  // FormShow finds no database here
    app::TForm1 form(dir / "updater");
    form.show();
    form.resize(835, 556);
    QApplication::processEvents();
    EXPECT_EQ(Find<QWidget>(form, "Panel2")->geometry(), QRect(0, 514, 835, 42));
    EXPECT_EQ(Find<QWidget>(form, "btOK")->geometry(), QRect(667, 9, 75, 25));
    EXPECT_EQ(Find<QWidget>(form, "btCancel")->geometry(), QRect(755, 9, 75, 25));
    EXPECT_EQ(Find<QWidget>(form, "plUp")->geometry(), QRect(0, 402, 835, 112));
    EXPECT_EQ(Find<QWidget>(form, "ProgressBar2")->geometry(), QRect(17, 40, 804, 17));
    EXPECT_EQ(Find<QWidget>(form, "lUpdateTime")->geometry(), QRect(801, 21, 20, 13));
    EXPECT_EQ(Find<QWidget>(form, "Panel3")->geometry(), QRect(0, 356, 835, 46));
    EXPECT_EQ(Find<QWidget>(form, "plInfo")->geometry(), QRect(0, 0, 835, 356));
    EXPECT_EQ(Find<QWidget>(form, "Memo2")->geometry(), QRect(46, 22, 764, 319));
}

TEST(TForm1, EscClosesTheWindowLikeTheCloseButton)
{
    Application();
    BoxCollector boxes;  // FormShow finds no database here
    testsupport::TempDir dir;
    app::TForm1 form(dir / "updater");
    form.show();
    QApplication::processEvents();
    ASSERT_TRUE(form.isVisible());
    Find<QPushButton>(form, "btCancel")->setFocus();
    QTest::keyClick(Find<QPushButton>(form, "btCancel"), Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());

    form.show();
    QApplication::processEvents();
    QTest::mouseClick(Find<QPushButton>(form, "btCancel"), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
}

TEST(Memo, AddLineAndAppendToLastLine)
{
    Application();
    QPlainTextEdit memo;
    app::AddLine(memo, "a");
    app::AppendToLastLine(memo, "OK");
    EXPECT_EQ(memo.toPlainText().toStdString(), "aOK\n");
    app::AddLine(memo, "b");
    EXPECT_EQ(memo.toPlainText().toStdString(), "aOK\nb\n");
    EXPECT_EQ(memo.textCursor().position(), memo.toPlainText().size());
    QTest::keyClicks(&memo, "xyz");  // typed at the end of the memo
    app::AddLine(memo, "122.007.sql");
    EXPECT_EQ(memo.toPlainText().toStdString(), "aOK\nb\nxyz\n122.007.sql\n");
}

TEST(Memo, TheMarkGoesToTheLastLineWhereverTheCaretIs)
{
    Application();
    QPlainTextEdit memo;
    app::AddLine(memo, "Перевірка запущенної програми...");
    app::AddLine(memo, "Наявність архиватора RAR...");
    QTextCursor caret = memo.textCursor();
    caret.setPosition(3);  // the user clicked into the first line
    memo.setTextCursor(caret);
    app::AppendToLastLine(memo, "[OK]");
    EXPECT_EQ(memo.toPlainText().toStdString(),
              "Перевірка запущенної програми...\nНаявність архиватора RAR...[OK]\n");
}

TEST(CreateForm1, ShowsTheErrorBoxWhenTheClientLibraryIsMissing)
{
    Application();
    // Needs a process that has not loaded the client library yet (ctest runs
    // every test case as its own process).
    ::setenv("UPDATER_FBCLIENT", "/nonexistent/libfbclient.so.2", 1);
    struct Restore {
        ~Restore() { ::unsetenv("UPDATER_FBCLIENT"); }
    } restore;
    BoxCollector collector;
    testsupport::TempDir dir;
    EXPECT_EQ(app::CreateForm1(dir / "UPDATER.EXE"), nullptr);
    ASSERT_EQ(collector.boxes.size(), 1u);
    EXPECT_EQ(collector.boxes[0].kind, app::BoxKind::Error);
    EXPECT_EQ(collector.boxes[0].caption, "Updater");
    EXPECT_EQ(collector.boxes[0].text.rfind("Cannot load the Firebird client library /nonexistent/libfbclient.so.2", 0),
              0u);
    EXPECT_EQ(collector.boxes[0].text.back(), '.');
}

// A program that cannot tell its own path ends with that error reported, as
// every other failure at the entry is, never with an uncaught exception.
TEST(RunProgram, ReportsAnErrorBeforeTheWindowIsMade)
{
    static char name[] = "updater";
    static char option[] = "--unattended";
    char* argv[] = {name, option, nullptr};
    std::ostringstream err;
    std::streambuf* const original = std::cerr.rdbuf(err.rdbuf());
    const int code = app::RunProgram(2, argv, [] () -> std::string {
        throw std::runtime_error("Cannot determine the executable's path: No such file or directory");
    });
    std::cerr.rdbuf(original);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(err.str(), "Cannot determine the executable's path: No such file or directory.\n");
}

TEST(ErrorBoxText, AppendsAFullStopAfterCharactersAboveIt)
{
    EXPECT_EQ(app::ErrorBoxText("Stream write error"), "Stream write error.");
    EXPECT_EQ(app::ErrorBoxText("ends."), "ends.");
    EXPECT_EQ(app::ErrorBoxText("ends-"), "ends-");
    EXPECT_EQ(app::ErrorBoxText("ends)"), "ends)");
    EXPECT_EQ(app::ErrorBoxText("число 5"), "число 5.");
    EXPECT_EQ(app::ErrorBoxText(""), "");
}

// A packed updater started beside a database at version 121 shows the check
// lines and enables "Оновить".
TEST(TForm1, FormShowOffersThePackagedUpdate)
{
    Application();
    BoxCollector boxes;
    testsupport::TempDir dir;
    testsupport::CreateVersionDatabase(dir / "norvexlib.fdb");
    testsupport::AddVersion(dir / "norvexlib.fdb", "121", "2020-01-01");
    testsupport::MakePackedUpdater(dir / "updater", {{"122_RAR", testsupport::FakePackage()}});
    app::TForm1 form(dir / "updater");
    ShowWindow(form);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(Find<QPlainTextEdit>(form, "Memo2")->toPlainText().toStdString(),
              "Перевірка запущенної програми...OK\nПідключення до бази даних\n" + (dir / "norvexlib.fdb") +
                  "\nВерсія бази даних: 121\nНаявні пакети оновлення:\n122_RAR [OK]\n");
    EXPECT_TRUE(Find<QPushButton>(form, "btOK")->isEnabled());
    EXPECT_EQ(Find<QLabel>(form, "lCurVer")->text().toStdString(), "121");
    EXPECT_EQ(Find<QLabel>(form, "lActVer")->text().toStdString(), "122");
}

TEST(TForm1, AnErrorInFormShowGoesToTheErrorBox)
{
    Application();
    BoxCollector boxes;
    testsupport::TempDir dir;
    app::TForm1 form(dir / "updater");
    ShowWindow(form);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, app::BoxKind::Error);
    EXPECT_EQ(boxes.boxes[0].caption, "updater");
    EXPECT_NE(boxes.boxes[0].text.find("norvexlib.fdb"), std::string::npos);
    EXPECT_TRUE(form.isVisible()) << "the window stays open";
    EXPECT_EQ(Find<QLabel>(form, "lCurVer")->text().toStdString(), "-");
    EXPECT_FALSE(Find<QPushButton>(form, "btOK")->isEnabled());
}

// The window's own run: "Оновить" pressed in the real window applies the
// packages and leaves only the close button.
TEST(TForm1, TheUpdateButtonAppliesThePackages)
{
    Application();
    BoxCollector boxes;
    testsupport::Installation installation(120, {{"121_RAR", testsupport::Package121()}, {"122_RAR", testsupport::Package122()}});
    app::TForm1 form(installation.updater);
    ShowWindow(form);
    auto* ok = Find<QPushButton>(form, "btOK");
    ASSERT_TRUE(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_TRUE(boxes.boxes.empty());

    const std::string memo = Find<QPlainTextEdit>(form, "Memo2")->toPlainText().toStdString();
    const std::string work = installation.workDir;
    const std::string expected = "Перевірка запущенної програми...OK\nПідключення до бази даних\n" +
                                 installation.database +
                                 "\nВерсія бази даних: 120\nНаявні пакети оновлення:\n121_RAR\n122_RAR [OK]\n"
                                 "Створення тимчасового каталога\n" + work +
                                 "\nНаявність архиватора RAR...[OK]\n" + installation.BackupLines(120) +
                                 "Копіювання пакету\n" + installation.InWorkDir("121.rar") + "\nРозпаковка пакету...[OK]\n"
                                 "Встановлення оновлення\n121.001.sql\n121.099.sql\nnvlib.exe...[OK]\na.fr3...[OK]\n"
                                 "Копіювання пакету\n" + installation.InWorkDir("122.rar") + "\nРозпаковка пакету...[OK]\n"
                                 "Встановлення оновлення\n122.001.sql\n122.099.sql\nnvlib.exe...[OK]\na.fr3...[OK]\n"
                                 "b.fr3...[OK]\n";
    EXPECT_EQ(memo, expected);
    EXPECT_EQ(installation.Version(), 122);
    EXPECT_TRUE(ok->isHidden());
    auto* cancel = Find<QPushButton>(form, "btCancel");
    EXPECT_EQ(cancel->text().toStdString(), "Зачинити");
    EXPECT_TRUE(cancel->isEnabled());
    for (const char* hidden : {"lUpdate", "ProgressBar2", "lTextFile", "lFile", "lUpdateTime"})
        EXPECT_TRUE(Find<QWidget>(form, hidden)->isHidden()) << hidden;
    EXPECT_FALSE(Find<QWidget>(form, "plUp")->isHidden());
    EXPECT_EQ(Find<QLabel>(form, "lFile")->text().toStdString(), "b.fr3 (3/3)");
    EXPECT_EQ(Find<QProgressBar>(form, "ProgressBar2")->value(), 3);
    EXPECT_EQ(Find<QLabel>(form, "lCurVer")->text().toStdString(), "120");
    EXPECT_EQ(Find<QLabel>(form, "lActVer")->text().toStdString(), "121 - 122");
}

// A close asked for during the run (the close box, Alt+F4) leaves the window
// on screen until the run has returned, and is carried out then.
TEST(TForm1, ACloseDuringTheRunWaitsForItsEnd)
{
    Application();
    BoxCollector boxes;
    testsupport::Installation installation(121, {{"122_RAR", testsupport::Package122()}});
    app::TForm1 form(installation.updater);
    ShowWindow(form);
    bool closed = true;
    bool visible = false;
    QTimer::singleShot(0, &form, [&] {
        closed = form.close();
        visible = form.isVisible();
    });
    QTest::mouseClick(Find<QPushButton>(form, "btOK"), Qt::LeftButton);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(visible);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(installation.Version(), 122);
    EXPECT_EQ(testsupport::ReadFile(installation.InExeDir("nvlib.exe")), "program 122");
}

// SIGTERM during the run (here at its first pump, while the database is
// backed up): nothing of the package is installed, and the window closes
// once the run has returned.
TEST(TForm1, ATerminationRequestEndsTheRunAndClosesTheWindow)
{
    Application();
    BoxCollector boxes;
    testsupport::Installation installation(121, {{"122_RAR", testsupport::Package122()}});
    app::TForm1 form(installation.updater);
    ShowWindow(form);
    QTimer::singleShot(0, &form, [] { std::raise(SIGTERM); });
    QTest::mouseClick(Find<QPushButton>(form, "btOK"), Qt::LeftButton);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_FALSE(form.isVisible());
    const std::string memo = Find<QPlainTextEdit>(form, "Memo2")->toPlainText().toStdString();
    EXPECT_TRUE(memo.ends_with(installation.BackupLines(121) + "error\n")) << memo;
    EXPECT_EQ(installation.Version(), 121);
    EXPECT_EQ(testsupport::ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
}

// An error that ends the run goes to the error box; the window keeps the state
// the run had reached and the lower package stays installed.
TEST(TForm1, AMissingPackageEndsTheRunInTheErrorBox)
{
    Application();
    BoxCollector boxes;
    testsupport::Installation installation(120, {{"121_RAR", testsupport::Package121()}, {"123_RAR", testsupport::Package122()}});
    app::TForm1 form(installation.updater);
    ShowWindow(form);
    QTest::mouseClick(Find<QPushButton>(form, "btOK"), Qt::LeftButton);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, app::BoxKind::Error);
    EXPECT_EQ(boxes.boxes[0].text, "Resource 122_RAR not found.");
    const std::string memo = Find<QPlainTextEdit>(form, "Memo2")->toPlainText().toStdString();
    EXPECT_EQ(memo.substr(memo.size() - std::string("Копіювання пакету\n").size()), "Копіювання пакету\n");
    EXPECT_EQ(installation.Version(), 121);
    EXPECT_FALSE(Find<QPushButton>(form, "btOK")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(form, "btOK")->isHidden());
    EXPECT_EQ(Find<QPushButton>(form, "btCancel")->text().toStdString(), "Відмінити");
    EXPECT_TRUE(Find<QPushButton>(form, "btCancel")->isEnabled());
    EXPECT_TRUE(form.isVisible());
}

// Without a display the window does not start: one line names the unattended
// mode, and the exit code is 2 (Qt aborted with its plugin message).
TEST(TForm1, WithoutADisplayItSaysSoAndExits)
{
    testsupport::Installation installation(121, {{"122_RAR", testsupport::Package122()}});
    const std::string errPath = installation.dir / "stderr";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, 2);
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            ::unsetenv(name);
        ::execl(installation.updater.c_str(), installation.updater.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const std::string err = testsupport::ReadFile(errPath);
    EXPECT_NE(err.find("there is no display"), std::string::npos) << err;
    EXPECT_NE(err.find("--unattended"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}
