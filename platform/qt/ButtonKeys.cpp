#include "platform/qt/ButtonKeys.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

namespace plat {

namespace {

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// The keys that press a button. Their repeats reach whatever has the focus while the key is
// held, a window opened by the first press included.
bool PressesButtons(int key) {
    return IsEnter(key) || key == Qt::Key_Space;
}

// A held key goes on typing where it types: new lines in a memo, spaces in a one-line field too.
// Enter in a one-line field passes on to its window's buttons, so its repeats stop there.
bool TypesRepeats(const QWidget* widget, int key) {
    if (const auto* memo = qobject_cast<const QPlainTextEdit*>(widget)) return !memo->isReadOnly();
    if (IsEnter(key)) return false;
    const auto* edit = qobject_cast<const QLineEdit*>(widget);
    return edit && !edit->isReadOnly();
}

// The window system sends a held key's repeats as release and press pairs that share one
// timestamp. The toolkit flags them as repeats, but not always the pair that arrives while the
// focus moves to a window the first press opened: that pair is known by its shared timestamp.
class RepeatDetector {
public:
    bool IsRepeat(const QKeyEvent& key) {
        if (key.isAutoRepeat()) return true;
        if (key.timestamp() == 0) return false; // made by the program, not by a keyboard
        if (key.type() == QEvent::KeyRelease) {
            releasedKey_ = key.key();
            releasedAt_ = key.timestamp();
            return false;
        }
        return key.key() == releasedKey_ && key.timestamp() == releasedAt_;
    }

private:
    int releasedKey_ = 0;
    quint64 releasedAt_ = 0;
};

// Where the held key went down. Once its press has moved the focus (the wizard's next page, a
// window it opened), the rest of the hold is no longer the operator's: its repeats would type
// into the field the new page focuses, or act there, before the operator has seen it. Tab is no
// such key: a held Tab walking on through the controls is what the operator holds it for.
class HeldKey {
public:
    void Down(int key) {
        key_ = key;
        origin_ = QApplication::focusWidget();
    }
    bool Moved(int key) const { return key == key_ && QApplication::focusWidget() != origin_; }

private:
    int key_ = 0;
    QPointer<QWidget> origin_;
};

class ButtonKeys : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return FilterKey(watched, static_cast<QKeyEvent*>(event));
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            MarkDefault(watched, event->type() == QEvent::FocusIn);
            return false;
        default:
            return false;
        }
    }

private:
    // A held key presses once: its repeats would answer the question a first press opened,
    // abort the wait it started, or close the dialog it showed, without the operator choosing.
    // It types on only where it went down.
    bool FilterKey(QObject* watched, QKeyEvent* key) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !PressesButtons(key->key())) return false;
        if (repeats_.IsRepeat(*key))
            return held_.Moved(key->key()) || !TypesRepeats(widget, key->key());
        if (key->type() != QEvent::KeyPress) return false;
        held_.Down(key->key());
        return IsEnter(key->key()) && PressFocused(widget, *key);
    }

    static bool PressFocused(QWidget* widget, const QKeyEvent& key) {
        auto* button = qobject_cast<QPushButton*>(widget);
        if (!button || !button->hasFocus() || !button->isEnabled() ||
            (key.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        button->click();
        return true;
    }

    // Outside dialogs Enter presses the focused button, so that button carries the default
    // button's mark while it has the focus; dialogs mark their own default buttons.
    static void MarkDefault(QObject* watched, bool focused) {
        auto* button = qobject_cast<QPushButton*>(watched);
        if (!button || qobject_cast<QDialog*>(button->window())) return;
        button->setDefault(focused);
    }

    RepeatDetector repeats_;
    HeldKey held_;
};

ButtonKeys* filter = nullptr;

} // namespace

void InstallButtonKeys() {
    if (filter || !QCoreApplication::instance()) return;
    filter = new ButtonKeys;
    QCoreApplication::instance()->installEventFilter(filter);
}

void RemoveButtonKeys() {
    if (!filter) return;
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(filter);
    delete filter;
    filter = nullptr;
}

} // namespace plat
