// Event pumping and the program folder shared by the GUI tests of both programs. Header-only, so
// the support library itself stays free of the GUI toolkit for the builds without it.
#pragma once

#include <QCoreApplication>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace guitest {

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

// Where the test program lies: files copied beside the program are there.
inline std::filesystem::path ArtefactDir() {
    return QCoreApplication::applicationDirPath().toStdString();
}

} // namespace guitest
