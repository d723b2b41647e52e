#include "platform/qt/FocusParking.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

namespace plat {

namespace {

// Qt passes the focus of a disabled control on at once (the control gets its focus-out while
// already disabled, then its enabled change). The focus then waits on the control's window
// itself, where keys reach no control but Tab still leads into them; it returns to the control
// when the control is enabled again, unless it has left the window meanwhile: the operator's
// click or Tab, or the program's own choice (a new page's first field) wins over the return.
class FocusParking : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::FocusOut && type != QEvent::EnabledChange) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget) return false;
        if (type == QEvent::EnabledChange)
            EnabledChanged(widget);
        else if (!widget->isEnabled())
            losing_ = widget;
        return false;
    }

private:
    void EnabledChanged(QWidget* widget) {
        if (!widget->isEnabled()) {
            if (widget == losing_) Park(widget);
        } else if (widget == parked_) {
            Return(widget);
        }
    }

    void Park(QWidget* widget) {
        losing_ = nullptr;
        parked_ = widget;
        widget->window()->setFocus(Qt::OtherFocusReason);
    }

    // Only a focus still waiting on the window returns; focus changes in other windows (the
    // dialog the request opened) do not count. A window that is not active gets the control as
    // the focus it gives when it is.
    void Return(QWidget* widget) {
        parked_ = nullptr;
        QWidget* window = widget->window();
        if (window->focusWidget() == window && widget->isVisible())
            widget->setFocus(Qt::OtherFocusReason);
    }

    QPointer<QWidget> losing_;
    QPointer<QWidget> parked_;
};

FocusParking* filter = nullptr;

} // namespace

void InstallFocusParking() {
    if (filter || !QCoreApplication::instance()) return;
    filter = new FocusParking;
    QCoreApplication::instance()->installEventFilter(filter);
}

void RemoveFocusParking() {
    if (!filter) return;
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(filter);
    delete filter;
    filter = nullptr;
}

} // namespace plat
