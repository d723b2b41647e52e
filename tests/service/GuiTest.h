// Shared pieces of the service program's tests: the application object, pumping its loop,
// scoped environment variables and folders, recorded message boxes and a small language module.
#pragma once

#include "platform/MessageBox.h"

#include <QApplication>

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace guitest {

// Runs the event loop (and the calls queued to the GUI thread) until done() or ms pass.
bool PumpUntil(const std::function<bool()>& done, int ms);
// Runs the event loop for ms.
void Pump(int ms);

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Message boxes answered with IDOK and recorded while it lives.
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;
    std::vector<std::string> Texts() const;

private:
    mutable std::mutex m_;
    std::vector<std::string> texts_;
    plat::MessageBoxHook previous_;
};

// A language module's lines: key k gives "T<k>", 9001 "Read", 9002 "Stop".
std::vector<std::string> TestTexts();

// The folder where build artefacts of the tests go (the test program's folder).
std::filesystem::path ArtefactDir();

} // namespace guitest
