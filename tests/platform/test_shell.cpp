#include "TempDirTest.h"
#include "platform/Shell.h"

#include <chrono>
#include <thread>

using namespace plat;
namespace fs = std::filesystem;

using ShellTest = TempDirTest;

// The default opener gets the target as one argument, never interpreted by a shell nor taken
// for an option; an opener that cannot be started is reported as such.
TEST_F(ShellTest, DefaultOpenerGetsTargetUninterpreted) {
    const fs::path out = dir_ / "opened.txt";
    const auto waitForFile = [&] { // the detached program writes it after the call returns
        for (int i = 0; i < 500 && !fs::exists(out); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return ReadText(out);
    };
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
    const std::string trickyText = trickyStarted ? waitForFile() : "";
    fs::remove(out);
    const bool optionStarted = ShellExecuteOpen("--version");
    const std::string optionText = optionStarted ? waitForFile() : "";
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
