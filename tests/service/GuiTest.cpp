#include "GuiTest.h"

#include "platform/MainThread.h"
#include "platform/qt/Application.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace guitest {

namespace {

// One application object for the whole test program, with the Qt hooks of the real programs.
class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_service";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        plat::InstallQtHooks();
    }
    void TearDown() override {
        plat::RemoveQtHooks();
        delete app_;
        app_ = nullptr;
    }

private:
    QApplication* app_ = nullptr;
};

[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace

bool PumpUntil(const std::function<bool()>& done, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        plat::MainThread::ProcessPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (old_)
        ::setenv(name_.c_str(), old_->c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nd307test.XXXXXX").string();
    if (char* made = ::mkdtemp(pattern.data())) path_ = made;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

BoxRecorder::BoxRecorder() {
    previous_ = plat::SetMessageBoxHook(
        [this](const std::string& text, const std::string& caption, unsigned) {
            std::lock_guard lock(m_);
            texts_.push_back(caption + ": " + text);
            return plat::IDOK;
        });
}

BoxRecorder::~BoxRecorder() {
    plat::SetMessageBoxHook(previous_);
}

std::vector<std::string> BoxRecorder::Texts() const {
    std::lock_guard lock(m_);
    return texts_;
}

std::vector<std::string> TestTexts() {
    std::vector<std::string> lines = {"[Language]", "lng=Test", "9001=Read", "9002=Stop"};
    for (int key = 7000; key <= 7018; ++key)
        lines.push_back(std::to_string(key) + "=T" + std::to_string(key));
    for (int key = 11001; key <= 11025; ++key)
        lines.push_back(std::to_string(key) + "=T" + std::to_string(key));
    return lines;
}

std::filesystem::path ArtefactDir() {
    return QCoreApplication::applicationDirPath().toStdString();
}

} // namespace guitest
