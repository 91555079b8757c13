#pragma once
// The Qt pieces of the Linux main window: the widget of each control of the
// form, the adapters that give the controls to the update steps
// (view::IButton, ILabel, IProgressBar) and the designed font.

#include "app/Layout.h"
#include "view/UpdateView.h"

#include <QString>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace app {

// Text in the user's encoding as Qt holds it.
QString ToQt(const std::string& text);

class QtButton final : public view::IButton {
public:
    explicit QtButton(QPushButton* button) : button_(button) {}
    void SetCaption(const std::string& text) override;
    void SetVisible(bool visible) override;
    void SetEnabled(bool enabled) override;

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
    void SetCaption(const std::string& text) override;
    void SetVisible(bool visible) override;

private:
    QLabel* label_;
    bool fixedSize_;
    bool keepRightEdge_;
};

class QtPanel final : public view::IControl {
public:
    explicit QtPanel(QWidget* panel) : panel_(panel) {}
    void SetVisible(bool visible) override;

private:
    QWidget* panel_;
};

// QProgressBar ignores values outside its range; the form's bar keeps its
// position inside it instead.
class QtBar final : public view::IProgressBar {
public:
    explicit QtBar(QProgressBar* bar) : bar_(bar) {}
    void SetMinimum(int value) override;
    void SetMaximum(int value) override;
    void SetPosition(int value) override;
    int Minimum() const override;
    int Maximum() const override;
    int Position() const override;
    void SetVisible(bool visible) override;

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
void LoadTahoma();

// The widget of one control of the form, made as designed inside parent:
// its kind, name, caption, place (labels by their size), enabled state and
// visibility.
QWidget* MakeWidget(QWidget* parent, const FormControl& row);

}  // namespace app
