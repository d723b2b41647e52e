// The averaging wait.
#include "verification/progress.h"

#include "verification/main.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

int TFormProgress::TickInterval = 1000;

TFormProgress::TFormProgress(QWidget* owner) : QDialog(owner) {
    // A dialog border without buttons in its caption: only the wait or the abort ends it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(312, 132);
    setVisible(false);
    setWindowTitle("Интервал усреднения...");
    Button = new QPushButton("Прервать", this);
    Button->setGeometry(119, 93, 75, 25);
    connect(Button, &QPushButton::clicked, this, [this] { ButtonClick(); });
    ProgressBar = new QProgressBar(this);
    ProgressBar->setGeometry(31, 32, 250, 30);
    ProgressBar->setRange(0, TickCount);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    ProgressBar->setEnabled(true);
    Timer1 = new QTimer(this);
    Timer1->setInterval(TickInterval);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
    FAborted = false;
}

int TFormProgress::ShowModal() {
    if (MainForm && MainForm->isVisible()) move(MainForm->geometry().center() - rect().center());
    return exec();
}

void TFormProgress::Timer1Timer() {
    ProgressBar->setValue(ProgressBar->value() + 1);
    repaint();
    if (ProgressBar->value() == ProgressBar->maximum()) FormClose();
}

void TFormProgress::ButtonClick() {
    FAborted = true;
    // The next start opens the port again.
    if (MainForm) {
        MainForm->CommPort1->ClosePort();
        MainForm->FPortClosed = 1;
    }
    FormClose();
}

void TFormProgress::FormClose() {
    Timer1->stop();
    done(FAborted ? mrAbort : mrOk);
}

// Only the abort button and the end of the wait close the dialog: a window manager's close or
// Esc taken for a completed wait would read the measurements before the recorder has averaged.
void TFormProgress::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void TFormProgress::reject() {}
