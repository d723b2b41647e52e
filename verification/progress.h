// The averaging wait: a modal dialog that holds the operator while the recorder averages the
// test signal, 125 ticks of one second, with a button that aborts the wait.
#pragma once

#include <QDialog>

class QProgressBar;
class QPushButton;
class QTimer;

// Modal results of the wait.
constexpr int mrOk = 1;
constexpr int mrAbort = 3;

class TFormProgress : public QDialog {
public:
    explicit TFormProgress(QWidget* owner = nullptr);

    QPushButton* Button = nullptr; // "Прервать"
    QProgressBar* ProgressBar = nullptr;
    QTimer* Timer1 = nullptr;
    bool FAborted = false;

    // The tick of the wait in ms; tests shorten it before the dialog is made.
    static int TickInterval;
    static constexpr int TickCount = 125;

    // Runs the modal loop; mrOk after a completed wait, mrAbort after the abort button.
    int ShowModal();
    void ButtonClick();
    void Timer1Timer();
    // Both ways of closing come here: the abort button gives mrAbort, the end of the wait mrOk.
    void FormClose();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
};
