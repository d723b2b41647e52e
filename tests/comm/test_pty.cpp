// The component on a real line: a pseudo-terminal mapped as a COM port through a ports folder.
#include "CommTestSupport.h"
#include "support/PortsDir.h"
#include "support/PtyPair.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int ComNumber = 7;

std::string Pattern(std::size_t n, int seed = 0) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 13 + seed + i / 251) & 0xFF);
    return s;
}

std::string Text(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class PtyTest : public CommTest {
protected:
    void SetUp() override {
        CommTest::SetUp();
        ports.Link(ComNumber, pty.SlavePath());
        FastTiming(port);
        port.SetComNumber(ComNumber);
    }
    void TearDown() override {
        port.ClosePort();
        CommTest::TearDown();
    }

    // Takes everything there is: a call reports the count at that moment, and bytes left in
    // the ring bring no further call of their own.
    void CollectReceived(TCommPort& p) {
        p.OnDataReceived = [this](TCommPort* sender, plat::DWORD) {
            EXPECT_TRUE(plat::MainThread::IsMainThread());
            char buf[512];
            while (const std::uint32_t n = sender->GetBlock(buf, sizeof buf))
                received.append(buf, n);
        };
    }

    PtyPair pty;
    PortsDir ports;
    TCommPort port;
    std::string received;
};

TEST_F(PtyTest, FarSideBytesArriveInOrderInTheGuiThread) {
    CollectReceived(port);
    int opened = -1;
    port.OnOpen = [&](TCommPort*, int error) { opened = error; };
    port.OpenPort();
    ASSERT_TRUE(port.Open);
    EXPECT_EQ(opened, 0);
    const std::string data = Pattern(20000);
    std::thread far([&] {
        for (std::size_t at = 0; at < data.size(); at += 700)
            pty.Write(data.data() + at, std::min<std::size_t>(700, data.size() - at));
    });
    const bool all = PumpUntil([&] { return received.size() >= data.size(); }, 10000);
    far.join();
    ASSERT_TRUE(all) << received.size();
    EXPECT_EQ(received, data);
}

TEST_F(PtyTest, PutBlockBytesComeOutOnTheFarSide) {
    port.OpenPort();
    ASSERT_TRUE(port.Open);
    const std::string data = Pattern(10000, 3);
    std::atomic<bool> done{false};
    std::string far;
    std::thread reader([&] {
        far = Text(pty.Read(data.size(), 10000));
        done = true;
    });
    std::size_t at = 0;
    while (at < data.size()) {
        at += port.PutBlock(data.data() + at, static_cast<std::uint32_t>(data.size() - at));
        PumpUntil([&] { return port.OutBuffFree() > 0; }, 1000);
    }
    PumpUntil([&] { return done.load(); }, 10000);
    reader.join();
    EXPECT_EQ(far, data);
}

TEST_F(PtyTest, ClosingWritesTheBytesStillInTheOutputRing) {
    port.Timing.HeldWriteMs = 2000; // the far side will read: the drain keeps making progress
    port.OpenPort();
    ASSERT_TRUE(port.Open);
    // The far side reads nothing yet: the line fills up and the ring keeps the rest.
    std::string taken;
    const std::string data = Pattern(40000, 7);
    for (int quiet = 0; quiet < 20 && taken.size() < data.size();) {
        const std::uint32_t n = port.PutBlock(
            data.data() + taken.size(), static_cast<std::uint32_t>(data.size() - taken.size()));
        taken.append(data, taken.size(), n);
        quiet = n ? 0 : quiet + 1;
        Pump(5);
    }
    ASSERT_GT(port.OutBuffUsed(), 0u);
    std::string far;
    std::thread reader([&] { far = Text(pty.Read(taken.size(), 10000)); });
    port.ClosePort();
    reader.join();
    EXPECT_EQ(far.size(), taken.size());
    EXPECT_EQ(far, taken);
}

TEST_F(PtyTest, ClosingRaisesOneMoreDataReceived) {
    std::vector<plat::DWORD> counts;
    port.OnDataReceived = [&](TCommPort*, plat::DWORD count) { counts.push_back(count); };
    port.OpenPort();
    ASSERT_TRUE(pty.Write("12345"));
    ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 5 && !counts.empty(); }));
    Pump(50); // every report of the arrival has run
    counts.clear();
    port.ClosePort();
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(counts[0], 5u); // nobody took the bytes: the last call still sees them
}

TEST_F(PtyTest, ClosingWhileTheFarSideIsGoneDoesNotHang) {
    PtyPair lone(false);
    ports.Link(8, lone.SlavePath());
    port.SetComNumber(8);
    CollectReceived(port);
    port.OpenPort();
    ASSERT_TRUE(port.Open);
    ASSERT_TRUE(lone.Write("hi"));
    ASSERT_TRUE(PumpUntil([&] { return received == "hi"; }));
    lone.CloseMaster();
    Pump(100);
    const std::string data = Pattern(3000);
    port.PutBlock(data.data(), 3000);
    const double cpuBefore = CpuSeconds();
    Pump(500);
    // Nothing spins on the dead line (generous for sanitizer builds).
    EXPECT_LT(CpuSeconds() - cpuBefore, 0.25);
    const auto start = std::chrono::steady_clock::now();
    port.ClosePort();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(port.Open);
}

TEST_F(PtyTest, AFarSideThatReadsNothingDoesNotHoldTheClose) {
    port.OpenPort();
    const std::string data = Pattern(4096);
    for (int i = 0; i < 20; ++i) {
        port.PutBlock(data.data(), 4096);
        Pump(5);
    }
    ASSERT_GT(port.OutBuffUsed(), 0u);
    const auto start = std::chrono::steady_clock::now();
    port.ClosePort();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(port.Timing.HeldWriteMs + 1500));
    // The port can be opened again at once: nothing of the stuck output is left to block it.
    port.OpenPort();
    EXPECT_TRUE(port.Open);
}

TEST_F(PtyTest, MissingPortShowsTheErrorBoxAndRaisesNoOnOpen) {
    bool opened = false;
    port.OnOpen = [&](TCommPort*, int) { opened = true; };
    ports.Link(9, "/nonexistent/ttyLIVAT");
    port.SetComNumber(9);
    port.OpenPort();
    EXPECT_FALSE(port.Open);
    EXPECT_FALSE(port.IsEnabled());
    EXPECT_FALSE(opened);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can't open COM port");
    EXPECT_EQ(boxes[0].caption, "COM port error");
    EXPECT_EQ(boxes[0].flags, 0x10u);
    EXPECT_EQ(plat::GetLastError(), plat::ERROR_FILE_NOT_FOUND);

    // Not a terminal at all.
    ports.Link(9, "/dev/null");
    port.OpenPort();
    EXPECT_FALSE(port.Open);
    EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(PtyTest, ASecondComponentCannotOpenAnOpenPort) {
    port.OpenPort();
    ASSERT_TRUE(port.Open);
    TCommPort second;
    FastTiming(second);
    bool opened = false;
    second.OnOpen = [&](TCommPort*, int) { opened = true; };
    second.SetComNumber(ComNumber);
    second.OpenPort();
    EXPECT_FALSE(second.Open);
    EXPECT_FALSE(opened);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can't open COM port");

    port.ClosePort();
    second.OpenPort();
    EXPECT_TRUE(second.Open);
    EXPECT_TRUE(opened);
}

TEST_F(PtyTest, ThePortReopensAfterEveryCloseAndKeepsWorking) {
    CollectReceived(port);
    for (int round = 0; round < 5; ++round) {
        port.Open = false; // as the wizard does before each start button's request
        port.SetOpen(true);
        ASSERT_TRUE(port.Open) << round;
        const std::string request = "req" + std::to_string(round);
        ASSERT_EQ(port.PutString(request.c_str()), request.size());
        EXPECT_EQ(Text(pty.Read(request.size())), request);
        const std::string reply = "reply" + std::to_string(round);
        received.clear();
        ASSERT_TRUE(pty.Write(reply));
        ASSERT_TRUE(PumpUntil([&] { return received == reply; })) << round;
        port.Open = true;
        port.SetOpen(false);
        ASSERT_FALSE(port.Open);
    }
}

TEST_F(PtyTest, AnIdlePortUsesNoCpu) {
    port.Timing = TCommPortTiming{}; // the real pause
    port.OpenPort();
    ASSERT_TRUE(port.Open);
    Pump(50);
    const double before = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // no GUI loop involved
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT((CpuSeconds() - before) / wall, 0.02);
}

} // namespace
