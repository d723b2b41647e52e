#include "platform/qt/MainForm.h"

#include "platform/qt/Application.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMetaObject>
#include <QTimer>

namespace plat {

TMainFormBase::TMainFormBase(QWidget* owner) : QWidget(owner) {
    // Only the main form's closing ends the program. Qt's own quit on the last window closed
    // would come as a second quit when message boxes or dialogs close, delivered after the loop
    // has ended, and would then end every later modal loop at once.
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

bool TMainFormBase::event(QEvent* e) {
    if (e->type() == QEvent::Show && !shownOnce_) {
        shownOnce_ = true;
        CenterOnScreen(*this);
        QTimer::singleShot(0, this, [this] { ShownActivation(); });
    }
    return QWidget::event(e);
}

void TMainFormBase::closeEvent(QCloseEvent* e) {
    QWidget::closeEvent(e);
    // The main form's closing ends the program, whatever other window is still open.
    if (IsMainForm()) QCoreApplication::quit();
}

void StartTimerQueued(QTimer* timer) {
    QMetaObject::invokeMethod(
        timer,
        [timer] {
            if (!timer->isActive()) timer->start();
        },
        Qt::QueuedConnection);
}

} // namespace plat
