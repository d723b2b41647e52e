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

// No shell sees the argument; a program that cannot be started is reported as such.
TEST_F(ShellTest, ArgumentReachesProgramUninterpreted) {
    const std::string tricky = "a b;touch " + (dir_ / "injected").string() + " $(id) `x` \"q\"";
    const fs::path out = dir_ / "arg.txt";
    ASSERT_TRUE(SpawnDetached("/bin/sh",
                              {"-c", "printf '%s' \"$1\" > \"$2\"", "sh", tricky, out.string()}));
    EXPECT_EQ(WaitForFile(out), tricky);
    EXPECT_FALSE(fs::exists(dir_ / "injected"));
    EXPECT_FALSE(SpawnDetached("livat-no-such-program", {"x"}));
    EXPECT_FALSE(DefaultShellOpen(""));
}

TEST_F(ShellTest, DefaultOpenerGetsTargetNeverAnOption) {
    const fs::path out = dir_ / "opened.txt";
    const fs::path fake = dir_ / "xdg-open";
    std::ofstream(fake) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << out.string() << "'\n";
    fs::permissions(fake, fs::perms::owner_all);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (dir_.string() + ":" + oldPath).c_str(), 1);
    const bool started = DefaultShellOpen("--version");
    setenv("PATH", oldPath.c_str(), 1);
    ASSERT_TRUE(started);
    EXPECT_EQ(WaitForFile(out), "./--version");
}
