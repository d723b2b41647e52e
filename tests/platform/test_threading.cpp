#include "platform/MainThread.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace plat;

namespace {

struct MainThreadBound : ::testing::Test {
    void SetUp() override {
        MainThread::Bind();
        MainThread::DiscardPending();
    }
};

class CountingThread : public TThread {
public:
    explicit CountingThread(std::atomic<int>& syncRuns) : syncRuns_(syncRuns) { Start(); }
    std::thread::id syncThread;

protected:
    void Execute() override {
        while (!Terminated()) {
            Synchronize([this] {
                syncThread = std::this_thread::get_id();
                ++syncRuns_;
            });
            Sleep(1);
        }
    }

private:
    std::atomic<int>& syncRuns_;
};

} // namespace

// A Set given before the wait, from another thread, is not lost; a wait that times out does not
// come back early.
TEST(Events, AutoResetClearsOnTheWaitManualResetStaysSet) {
    Event autoReset(false), manual(true);
    EXPECT_EQ(autoReset.Wait(0), WAIT_TIMEOUT);
    std::thread([&] {
        autoReset.Set();
        manual.Set();
    }).join();
    EXPECT_EQ(autoReset.Wait(1000), WAIT_OBJECT_0);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(autoReset.Wait(50), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(45));
    EXPECT_EQ(manual.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(manual.Wait(0), WAIT_OBJECT_0);
    manual.Reset();
    EXPECT_EQ(manual.Wait(5), WAIT_TIMEOUT);
}

TEST(MutexTest, TimedWaitFailsWhileAnotherThreadOwnsIt) {
    Mutex m;
    Event held(true), release(true);
    std::thread owner([&] {
        m.Wait();
        held.Set();
        release.Wait();
        m.Release();
    });
    held.Wait();
    EXPECT_EQ(m.Wait(20), WAIT_TIMEOUT);
    release.Set();
    EXPECT_EQ(m.Wait(2000), WAIT_OBJECT_0);
    m.Release();
    owner.join();
}

TEST(LastError, IsPerThread) {
    SetLastError(5);
    DWORD other = 1;
    std::thread t([&] { other = GetLastError(); });
    t.join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), 5u);
    SetLastError(0);
}

TEST_F(MainThreadBound, SynchronizeRunsInGuiThreadAndWaitForKeepsServing) {
    std::atomic<int> runs{0};
    CountingThread t(runs);
    ASSERT_TRUE(MainThread::ProcessUntil([&] { return runs.load() >= 3; }, 5000));
    EXPECT_EQ(t.syncThread, std::this_thread::get_id());
    t.Terminate();
    // The worker is blocked in Synchronize until we serve it: WaitFor must not deadlock.
    t.WaitFor();
    EXPECT_TRUE(t.Finished());
}

TEST_F(MainThreadBound, PostedMessagesArriveInOrderAndDeadWindowsAreSkipped) {
    std::vector<WPARAM> got;
    HWND w = RegisterWindow([&](UINT msg, WPARAM wp, LPARAM) {
        EXPECT_EQ(msg, WM_USER);
        got.push_back(wp);
    });
    std::thread poster([&] {
        for (WPARAM i = 1; i <= 5; ++i)
            PostMessage(w, WM_USER, i, 0);
    });
    poster.join();
    EXPECT_TRUE(got.empty()) << "posting must not run the handler in the posting thread";
    MainThread::ProcessPending();
    EXPECT_EQ(got, (std::vector<WPARAM>{1, 2, 3, 4, 5}));

    PostMessage(w, WM_USER, 9, 0);
    UnregisterWindow(w);
    MainThread::ProcessPending();
    EXPECT_EQ(got.size(), 5u);
    EXPECT_FALSE(PostMessage(w, WM_USER, 1, 0));
}

// A worker's message box is answered in the GUI thread; an exception thrown by a synchronized
// call is rethrown in the worker.
TEST_F(MainThreadBound, WorkerCallsRunInTheGuiThread) {
    std::thread::id hookThread;
    std::string caption;
    auto previous = SetMessageBoxHook([&](const std::string&, const std::string& c, unsigned) {
        hookThread = std::this_thread::get_id();
        caption = c;
        return IDYES;
    });
    std::atomic<int> answer{0};
    std::atomic<bool> caught{false}, done{false};
    std::thread worker([&] {
        answer = MessageBox("text", "COM port error", MB_OK);
        try {
            MainThread::RunSync([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
        done = true;
    });
    ASSERT_TRUE(MainThread::ProcessUntil([&] { return done.load(); }, 5000));
    worker.join();
    EXPECT_EQ(answer.load(), IDYES);
    EXPECT_EQ(hookThread, std::this_thread::get_id());
    EXPECT_EQ(caption, "COM port error");
    EXPECT_TRUE(caught.load());
    SetMessageBoxHook(previous);
}
