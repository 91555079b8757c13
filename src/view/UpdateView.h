#pragma once
// What the update steps need of the window: the progress memo, labels, the
// progress bar and message pumping. The window implements these; so does the
// unattended runner, and tests use a recording implementation.

#include <string>

namespace view {

class IControl {
public:
    virtual ~IControl() = default;
    virtual void SetVisible(bool visible) = 0;
};

class ILabel : public virtual IControl {
public:
    virtual void SetCaption(const std::string& text) = 0;
};

class IButton : public virtual IControl {
public:
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetEnabled(bool enabled) = 0;
};

// A progress bar keeps its position within its range: a position above the
// maximum reads back as the maximum.
class IProgressBar : public virtual IControl {
public:
    virtual void SetMinimum(int value) = 0;
    virtual void SetMaximum(int value) = 0;
    virtual void SetPosition(int value) = 0;
    virtual int Minimum() const = 0;
    virtual int Maximum() const = 0;
    virtual int Position() const = 0;
};

class IUpdateView {
public:
    virtual ~IUpdateView() = default;
    // Appends text as a new last line of the progress memo.
    virtual void AddLine(const std::string& text) = 0;
    // Puts text at the end of the memo's last line.
    virtual void AppendToLastLine(const std::string& text) = 0;
    // Processes pending window messages, then returns.
    virtual void ProcessMessages() = 0;
};

}  // namespace view
