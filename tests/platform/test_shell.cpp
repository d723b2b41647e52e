#include "platform/Shell.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace plat;
namespace fs = std::filesystem;

namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "shell_test_XXXXXX").string();
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        dir_ = templ;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The detached program writes its file some time after the call returns.
    static std::string WaitForFile(const fs::path& file) {
        for (int i = 0; i < 500 && !fs::exists(file); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir_;
};

} // namespace

TEST_F(ShellTest, OpenGoesThroughTheInstalledHook) {
    std::vector<std::string> calls;
    const ShellOpenHook previous = SetShellOpenHook([&](const std::string& target) {
        calls.push_back(target);
        return false;
    });
    EXPECT_FALSE(ShellExecuteOpen("Protocols/Протокол поверки.html"));
    EXPECT_TRUE(static_cast<bool>(SetShellOpenHook(previous)));
    EXPECT_EQ(calls, std::vector<std::string>{"Protocols/Протокол поверки.html"});
}

// The default opener gets the target as one argument, never interpreted by a shell nor taken
// for an option; an opener that cannot be started is reported as such.
TEST_F(ShellTest, DefaultOpenerGetsTargetUninterpreted) {
    const fs::path out = dir_ / "opened.txt";
    const fs::path bin = dir_ / "bin";
    fs::create_directories(bin);
    std::ofstream(bin / "xdg-open")
        << "#!/bin/sh\nprintf '%s' \"$1\" > '" << out.string() << ".tmp' && mv '" << out.string()
        << ".tmp' '" << out.string() << "'\n";
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    const ShellOpenHook previous = SetShellOpenHook({});
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin.string() + ":" + oldPath).c_str(), 1);
    const std::string tricky = "a b;touch " + (dir_ / "injected").string() + " $(id) `x` \"q\"";
    const bool trickyStarted = ShellExecuteOpen(tricky);
    const std::string trickyText = trickyStarted ? WaitForFile(out) : "";
    fs::remove(out);
    const bool optionStarted = ShellExecuteOpen("--version");
    const std::string optionText = optionStarted ? WaitForFile(out) : "";
    const bool emptyStarted = ShellExecuteOpen("");
    setenv("PATH", (dir_ / "empty").c_str(), 1);
    const bool missingStarted = ShellExecuteOpen("x");
    setenv("PATH", oldPath.c_str(), 1);
    SetShellOpenHook(previous);
    EXPECT_TRUE(trickyStarted);
    EXPECT_EQ(trickyText, tricky);
    EXPECT_FALSE(fs::exists(dir_ / "injected"));
    EXPECT_TRUE(optionStarted);
    EXPECT_EQ(optionText, "./--version");
    EXPECT_FALSE(emptyStarted);
    EXPECT_FALSE(missingStarted);
}
