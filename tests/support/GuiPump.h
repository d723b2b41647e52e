// The application object, event pumping, keys and the program folder shared by the GUI tests of
// both programs.
// Header-only, so the support library itself stays free of the GUI toolkit for the builds
// without it.
#pragma once

#include "platform/qt/Application.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace guitest {

// One application object for the whole test program, with the Qt hooks of the real programs;
// made at once where a test needs it before the test environment is set up.
inline void EnsureApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "guitest";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    plat::InstallQtHooks();
}

// Registered once per test program: the application lives until the program ends.
class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override { EnsureApplication(); }
    void TearDown() override {
        plat::RemoveQtHooks();
        delete QCoreApplication::instance();
    }
};

// Runs the toolkit's loop alone, as the programs do, until done() or ms pass: what other threads
// queue for the GUI thread must reach it through the platform's wake hook.
inline bool PumpUntil(const std::function<bool()>& done, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

// Shows the window and waits until it is the active one, as the operator's click makes it.
inline void ShowActive(QWidget& window) {
    window.show();
    window.activateWindow();
    PumpUntil([&] { return window.isActiveWindow(); }, 1000);
}

// A key pressed on the widget, with the text the keyboard gives it (a text widget types that
// text; without it the key would pass on to the parent).
inline void Press(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QString text = key == Qt::Key_Tab || key == Qt::Key_Backtab    ? QStringLiteral("\t")
                         : key == Qt::Key_Return || key == Qt::Key_Enter ? QStringLiteral("\r")
                         : key == Qt::Key_Escape                         ? QStringLiteral("\x1b")
                                                                         : QString();
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    Pump(5);
}

// Holds a key down as a desktop keyboard with auto-repeat does under X: the press now, then
// every 30 ms a repeated release and press sharing one timestamp, `repeats` times, then the
// release. Each event goes to the widget that has the focus at its moment, so that a window the
// press opened takes the rest; the first pair after the focus moved to another window comes
// without the repeat flag, as the toolkit delivers it there. The repeats run from timers, inside
// any modal loop the press starts; released() runs right after the release, there too (to look
// at an open question and answer it). Returns once the release was sent and the press returned.
// Keypad Enter comes with the keypad's modifier, as the keyboard gives it.
inline void Hold(int key, int repeats, const std::function<void()>& released = {}) {
    const QString text = key == Qt::Key_Space ? QStringLiteral(" ") : QStringLiteral("\r");
    const Qt::KeyboardModifiers modifiers =
        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
    static quint64 clock = 1000; // the keyboard's timestamps, in ms
    const QWidget* lastWindow = QApplication::activeWindow();
    const auto send = [key, text, modifiers](QEvent::Type type, bool repeat, quint64 time) {
        QWidget* target = QApplication::focusWidget();
        if (!target) target = QApplication::activeWindow();
        if (!target) return;
        QKeyEvent event(type, key, modifiers, text, repeat);
        event.setTimestamp(time);
        QApplication::sendEvent(target, &event);
    };
    int sent = 0;
    bool done = false;
    QTimer timer;
    timer.setInterval(30);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        clock += 30;
        if (sent++ < repeats) {
            const bool moved = QApplication::activeWindow() != lastWindow;
            lastWindow = QApplication::activeWindow();
            send(QEvent::KeyRelease, !moved, clock);
            send(QEvent::KeyPress, !moved, clock);
            return;
        }
        timer.stop();
        send(QEvent::KeyRelease, false, clock);
        if (released) released();
        done = true;
    });
    timer.start();
    clock += 30;
    send(QEvent::KeyPress, false, clock);
    PumpUntil([&] { return done; }, 30 * repeats + 10000);
}

// Tab from the list goes on to another control, and Shift+Tab back to another: neither moves
// the list's current cell or changes its selected rows.
inline void ExpectTabLeavesList(QAbstractItemView& list) {
    for (const int key : {int{Qt::Key_Tab}, int{Qt::Key_Backtab}}) {
        list.setFocus();
        const QPersistentModelIndex current = list.currentIndex();
        const QModelIndexList rows = list.selectionModel()->selectedRows();
        Press(&list, key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        EXPECT_FALSE(list.hasFocus()) << (key == Qt::Key_Tab ? "Tab" : "Shift+Tab");
        EXPECT_EQ(QModelIndex(current), list.currentIndex());
        EXPECT_EQ(rows, list.selectionModel()->selectedRows());
    }
}

// Where the test program lies: files copied beside the program are there.
inline std::filesystem::path ArtefactDir() {
    return QCoreApplication::applicationDirPath().toStdString();
}

} // namespace guitest
