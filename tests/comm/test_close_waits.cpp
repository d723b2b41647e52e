// What runs while ClosePort waits for the workers in the GUI thread: the synchronized calls of
// the event threads, and nothing that was posted (window messages run after the close).
#include "CommTestSupport.h"
#include "platform/Messages.h"

#include <stdexcept>

namespace {

class CloseWaitTest : public ScriptedTest {
protected:
    void SetUp() override {
        ScriptedTest::SetUp();
        window = plat::RegisterWindow([this](plat::UINT, plat::WPARAM code, plat::LPARAM) {
            handled.push_back(static_cast<int>(code));
            if (onMessage) onMessage(static_cast<int>(code));
        });
    }
    void TearDown() override {
        plat::UnregisterWindow(window);
        ScriptedTest::TearDown();
    }

    plat::HWND window = 0;
    std::vector<int> handled;
    std::function<void(int)> onMessage;
};

// Two results are queued when the close starts; one of them forces the port open again, as
// the wizard's start buttons do. Run inside the close, that reopen would be undone by it.
TEST_F(CloseWaitTest, PostedMessagesRunAfterTheCloseAndTheirReopenHolds) {
    std::vector<plat::DWORD> received;
    port.OnDataReceived = [&](TCommPort*, plat::DWORD count) { received.push_back(count); };
    onMessage = [this](int code) {
        if (code != 8) return;
        port.Open = false;
        port.SetOpen(true);
    };
    port.OpenPort();
    Line()->Feed("abc");
    ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 3 && !received.empty(); }));
    plat::PostMessage(window, plat::WM_USER, 8, 0);
    plat::PostMessage(window, plat::WM_USER, 10, 0);
    received.clear();
    port.ClosePort();
    EXPECT_TRUE(handled.empty());
    EXPECT_EQ(received, std::vector<plat::DWORD>{3}); // the close's own last report did run
    EXPECT_FALSE(port.Open || port.IsEnabled());
    plat::MainThread::ProcessPending();
    EXPECT_EQ(handled, (std::vector<int>{8, 10}));
    EXPECT_TRUE(port.Open && port.IsEnabled());
    port.OnDataReceived = {};
}

// A message handler that throws cannot run inside the close: the port is closed completely
// and can be opened again; the exception comes when the message is handled, after the close.
TEST_F(CloseWaitTest, AThrowingMessageHandlerLeavesTheClosedPortWhole) {
    onMessage = [](int) { throw std::runtime_error("handler"); };
    port.OpenPort();
    plat::PostMessage(window, plat::WM_USER, 3, 0);
    EXPECT_NO_THROW(port.ClosePort());
    EXPECT_FALSE(port.Open || port.IsEnabled());
    EXPECT_THROW(plat::MainThread::ProcessPending(), std::runtime_error);
    port.OpenPort();
    EXPECT_TRUE(port.Open);
}

// A data handler that throws while the close waits: the exception stays with the event thread
// that raised it, and the close ends with every worker stopped.
TEST_F(CloseWaitTest, AThrowingDataHandlerDuringTheCloseLeavesItComplete) {
    int closes = 0;
    port.OnClose = [&](TCommPort*) { ++closes; };
    port.OnDataReceived = [](TCommPort*, plat::DWORD count) {
        if (count > 0) throw std::runtime_error("handler");
    };
    port.OpenPort();
    Line()->Feed("xyz");
    EXPECT_NO_THROW(port.ClosePort());
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(port.Open || port.IsEnabled());
    port.OpenPort();
    EXPECT_TRUE(port.IsEnabled());
    // Closed here: the count the handler raises ends with the test.
    port.ClosePort();
    EXPECT_EQ(closes, 2);
}

} // namespace
