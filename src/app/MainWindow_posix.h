#pragma once
// The Linux main window TForm1 (Qt Widgets) and its progress memo.

#include "app/Main.h"
#include "app/Shell.h"
#include "app/ShellView.h"
#include "platform/Paths.h"

#include <QWidget>
#include <memory>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace app {

class TForm1;

// Creates the main window; an error while it is built is shown in the
// standard error box and gives null (the window is then never shown).
std::unique_ptr<TForm1> CreateForm1(const std::string& executablePath);

// Memo operations on a QPlainTextEdit.
// Appends text as a new last line, also after text the user typed at the
// end of the memo; the text then ends in a line break.
void AddLine(QPlainTextEdit& memo, const std::string& text);
// Puts text at the end of the memo's last line (before its line break),
// wherever the user has put the caret.
void AppendToLastLine(QPlainTextEdit& memo, const std::string& text);

class TForm1 : public QWidget, public Form1Handlers {
public:
    // Builds the window's layout and starts the shell (Form1Handlers). Throws
    // when that fails (the window is then never shown).
    explicit TForm1(const std::string& executablePath = platform::ExecutablePath());
    ~TForm1() override;

    // IShellView: the memo and the message pump.
    void AddLine(const std::string& text) override;
    void AppendToLastLine(const std::string& text) override;
    void ProcessMessages() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void CloseWindow() override { close(); }

private:
    struct Controls;
    void BuildLayout();
    void PlaceControls();
    std::unique_ptr<Controls> controls_;
};

}  // namespace app
