// The application object, event pumping, keys and the program folder shared by the GUI tests of
// both programs.
// Header-only, so the support library itself stays free of the GUI toolkit for the builds
// without it.
#pragma once

#include "platform/qt/Application.h"

#include <QApplication>
#include <QKeyEvent>
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

// Where the test program lies: files copied beside the program are there.
inline std::filesystem::path ArtefactDir() {
    return QCoreApplication::applicationDirPath().toStdString();
}

} // namespace guitest
