// What the two programs' main forms have in common: each opens centred, counts as activated once
// it is on screen, and its closing alone ends the program; and the link thread, which runs
// outside the GUI thread, enables the form's timer.
#pragma once

#include <QWidget>

class QTimer;

namespace plat {

class TMainFormBase : public QWidget {
public:
    explicit TMainFormBase(QWidget* owner);

protected:
    // Runs once, just after the form first comes on screen. A desktop without a window manager,
    // or one that keeps the focus from new windows, never hands the form the focus, so the form
    // may not wait for a focus change to start.
    virtual void ShownActivation() = 0;
    // Whether this form is the program's main form (tests build forms that are not).
    virtual bool IsMainForm() const = 0;

    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    bool shownOnce_ = false;
};

// Starts a timer of the GUI thread from any thread. The start is queued to the timer's thread
// and dropped when the timer is gone by then.
void StartTimerQueued(QTimer* timer);

} // namespace plat
