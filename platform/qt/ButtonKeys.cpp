#include "platform/qt/ButtonKeys.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace plat {

namespace {

class EnterPressesButton : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* button = qobject_cast<QPushButton*>(watched);
        if (!button || !button->hasFocus() || !button->isEnabled()) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        // A held key presses once: an operator leaning on Enter must not run through the pages.
        if (!enter || key->isAutoRepeat() ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        button->click();
        return true;
    }
};

EnterPressesButton* filter = nullptr;

} // namespace

void InstallButtonKeys() {
    if (filter || !QCoreApplication::instance()) return;
    filter = new EnterPressesButton;
    QCoreApplication::instance()->installEventFilter(filter);
}

void RemoveButtonKeys() {
    if (!filter) return;
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(filter);
    delete filter;
    filter = nullptr;
}

} // namespace plat
