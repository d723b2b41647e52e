// The component on a real line: a pseudo-terminal mapped as a COM port through a ports folder.
#include "CommTestSupport.h"
#include "comm/ThWrite.h"
#include "support/BusyMachine.h"
#include "support/PortsDir.h"
#include "support/PtyPair.h"

#include <chrono>
#include <filesystem>
#include <sys/resource.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int ComNumber = 7;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Whether a descriptor of the process still holds device open.
bool Holds(const std::string& device) {
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        const std::string target = std::filesystem::read_symlink(fd.path(), ignored).string();
        if (target == device || target == device + " (deleted)") return true;
    }
    return false;
}

// The share of one core the whole process used while f ran.
template <class F> double CpuShare(F f) {
    const double before = CpuSeconds();
    const auto start = Clock::now();
    f();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return (CpuSeconds() - before) / wall;
}

class PtyTest : public CommTest {
protected:
    void SetUp() override {
        CommTest::SetUp();
        ports.Link(ComNumber, pty.SlavePath());
        port.SetComNumber(ComNumber);
    }

    // Takes everything there is: a call reports the count at that moment, and bytes left in
    // the ring bring no further call of their own.
    void CollectReceived() {
        port.OnDataReceived = [this](TCommPort* sender, plat::DWORD) {
            EXPECT_TRUE(plat::MainThread::IsMainThread());
            char buf[512];
            while (const std::uint32_t n = sender->GetBlock(buf, sizeof buf))
                received.append(buf, n);
        };
    }
    // Closes the port and says whether that took less than limit.
    template <class Duration> bool ClosesWithin(Duration limit) {
        const auto start = Clock::now();
        port.ClosePort();
        return Clock::now() - start < limit;
    }

    PtyPair pty;
    PortsDir ports;
    std::string received;
};

TEST_F(PtyTest, FarSideBytesArriveInOrderInTheGuiThread) {
    CollectReceived();
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

// Destroying the component closes it: OnClose comes after the output ring was written out.
TEST_F(PtyTest, ClosingWritesTheBytesStillInTheOutputRing) {
    std::string taken;
    std::vector<std::uint8_t> far;
    std::thread reader;
    bool closed = false;
    {
        TCommPort local;
        FastTiming(local);
        local.Timing.HeldWriteMs = 2000; // the far side will read: the drain makes progress
        local.SetComNumber(ComNumber);
        local.OnClose = [&](TCommPort*) { closed = true; };
        local.OpenPort();
        ASSERT_TRUE(local.Open);
        // The far side reads nothing yet: the line fills up and the ring keeps the rest.
        const std::string data = Pattern(40000, 7);
        for (int quiet = 0; quiet < 20 && taken.size() < data.size();) {
            const std::uint32_t n = local.PutBlock(
                data.data() + taken.size(), static_cast<std::uint32_t>(data.size() - taken.size()));
            taken.append(data, taken.size(), n);
            quiet = n ? 0 : quiet + 1;
            Pump(5);
        }
        ASSERT_GT(local.OutBuffUsed(), 0u);
        reader = std::thread([&] { far = pty.Read(taken.size(), 10000); });
    }
    reader.join();
    EXPECT_TRUE(closed);
    EXPECT_EQ(std::string(far.begin(), far.end()), taken);
}

// Blocks handed over as fast as the ring takes them and the close right after the last one;
// the far side reads only after the close and still gets every byte.
TEST_F(PtyTest, ACloseRightAfterTheLastBlockLosesNoByte) {
    for (const std::uint32_t size : {4096u, 4096u, 4096u, 12288u, 12288u}) {
        const std::string data = Pattern(size, static_cast<int>(size));
        port.OpenPort();
        for (std::uint32_t at = 0; (at += port.PutBlock(data.data() + at, size - at)) < size;)
            Pump(1);
        port.ClosePort();
        const std::vector<std::uint8_t> far = pty.Read(size, 2000);
        ASSERT_EQ(std::string(far.begin(), far.end()), data) << size;
    }
    // The close may come before the write thread's first round: held back at its start until
    // the close asks it to end, the thread still writes the block.
    const std::string block = Pattern(64, 7);
    plat::TThread::SetStartHook([](plat::TThread& t) {
        while (dynamic_cast<TWriteThread*>(&t) && !t.Terminated())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    port.OpenPort();
    port.PutBlock(block.data(), 64);
    port.ClosePort();
    plat::TThread::SetStartHook({});
    std::vector<std::uint8_t> far = pty.Read(64, 2000);
    ASSERT_EQ(std::string(far.begin(), far.end()), block);
    // Or between two rounds, or late to start on a busy machine: many closes right after a
    // block, read only at the end.
    BusyMachine busy;
    std::string sent;
    for (int round = 0; round < 100; ++round) {
        const std::string bytes = Pattern(16, round);
        port.OpenPort();
        port.PutBlock(bytes.data(), 16);
        port.ClosePort();
        sent += bytes;
    }
    far = pty.Read(sent.size(), 2000);
    EXPECT_EQ(std::string(far.begin(), far.end()), sent);
}

// Unread bytes bring no further wake (EV_RXCHAR is an edge), so the idle port spins on nothing;
// the close still raises one last OnDataReceived for them.
TEST_F(PtyTest, IdlePortWithUnreadBytesUsesNoCpuAndTheCloseReportsThem) {
    port.Timing = TCommPortTiming{}; // the real pause
    std::vector<plat::DWORD> counts;
    port.OnDataReceived = [&](TCommPort*, plat::DWORD count) { counts.push_back(count); };
    port.OpenPort();
    ASSERT_TRUE(pty.Write("12345"));
    ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 5 && !counts.empty(); }));
    Pump(100); // every report of the arrival has run
    // No GUI loop involved.
    EXPECT_LT(CpuShare([] { std::this_thread::sleep_for(std::chrono::milliseconds(500)); }), 0.02);
    counts.clear();
    port.ClosePort();
    EXPECT_EQ(counts, std::vector<plat::DWORD>{5});
}

// A pulled adapter: the port notices, says so once on standard error, drops the output it held
// for the device and takes no more, and spins on nothing; a forced open on the same number
// reaches the adapter put back. Closing never hangs.
TEST_F(PtyTest, APulledAdapterIsToldOnceIdlesAndAForcedOpenReachesItAgain) {
    PtyPair lone(false);
    const std::string link = ports.Link(8, lone.SlavePath());
    const std::string device = lone.SlavePath();
    port.SetComNumber(8);
    CollectReceived();
    port.OpenPort();
    ASSERT_TRUE(lone.Write("hi"));
    ASSERT_TRUE(PumpUntil([&] { return received == "hi"; }));
    // The far side reads nothing: the line fills up and the ring keeps the rest.
    const std::string data = Pattern(4096);
    for (int i = 0; i < 40 && port.OutBuffUsed() < 4096; ++i) {
        port.PutBlock(data.data(), 4096);
        Pump(5);
    }
    ASSERT_GT(port.OutBuffUsed(), 0u);
    EXPECT_FALSE(port.Lost());

    testing::internal::CaptureStderr();
    lone.Unplug(link);
    const bool lost = PumpUntil([&] { return port.Lost() && port.OutBuffUsed() == 0; });
    const std::uint32_t taken = port.PutBlock(data.data(), 16);
    // An idle program: the GUI loop sleeps too.
    const double share = CpuShare([] { std::this_thread::sleep_for(std::chrono::seconds(1)); });
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(lost) << port.Lost() << " " << port.OutBuffUsed();
    EXPECT_EQ(taken, 0u);
    EXPECT_LT(share, 0.01);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(said.rfind("Lost " + link + " (" + device + "): ", 0), 0u) << said;
    // Let go at once, so that the kernel may give the adapter put back its old name.
    EXPECT_FALSE(Holds(device));

    lone.Replug(link);
    port.Open = false;
    port.SetOpen(true);
    EXPECT_FALSE(port.Lost());
    received.clear();
    ASSERT_TRUE(lone.Write("back"));
    ASSERT_TRUE(PumpUntil([&] { return received == "back"; }));
    ASSERT_EQ(port.PutBlock("again", 5), 5u);
    const std::vector<std::uint8_t> far = lone.Read(5);
    EXPECT_EQ(std::string(far.begin(), far.end()), "again");
    lone.CloseMaster();
    EXPECT_TRUE(ClosesWithin(std::chrono::seconds(2)));
    EXPECT_FALSE(port.Open);
}

// The stuck output is dropped before the device closes, so the port can be opened again at once.
TEST_F(PtyTest, AFarSideThatReadsNothingDoesNotHoldTheClose) {
    port.OpenPort();
    const std::string data = Pattern(4096);
    for (int i = 0; i < 20; ++i) {
        port.PutBlock(data.data(), 4096);
        Pump(5);
    }
    ASSERT_GT(port.OutBuffUsed(), 0u);
    EXPECT_TRUE(ClosesWithin(std::chrono::milliseconds(port.Timing.HeldWriteMs + 1500)));
    port.OpenPort();
    EXPECT_TRUE(port.Open);
}

// A missing device, one that is no terminal, and a port another component holds open: the box
// says no more than its fixed text, standard error names the device and the reason.
TEST_F(PtyTest, FailedOpensShowTheBoxRaiseNoOnOpenAndSayWhyOnStandardError) {
    TCommPort second;
    FastTiming(second);
    int opened = 0;
    second.OnOpen = [&](TCommPort*, int) { ++opened; };
    const auto failsSaying = [&](const std::string& device, const std::string& reason) {
        testing::internal::CaptureStderr();
        second.OpenPort();
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(device), std::string::npos) << said;
        EXPECT_NE(said.find(reason), std::string::npos) << said;
        EXPECT_FALSE(second.Open || second.IsEnabled());
    };
    ports.Link(9, "/nonexistent/ttyLIVAT");
    second.SetComNumber(9);
    failsSaying(ports.Path() + "/COM9", "No such file or directory");
    ports.Link(9, "/dev/null");
    failsSaying("/dev/null", "");
    port.OpenPort();
    ASSERT_TRUE(port.Open);
    second.SetComNumber(ComNumber);
    failsSaying(pty.SlavePath(), "another program is using the device");
    EXPECT_EQ(opened, 0);
    ASSERT_EQ(boxes.size(), 3u);
    for (const ShownBox& box : boxes) {
        EXPECT_EQ(box.text, "Can't open COM port");
        EXPECT_EQ(box.caption, "COM port error");
        EXPECT_EQ(box.flags, 0x10u);
    }
    port.ClosePort(); // a later open tries again; the closed port can be opened at once
    second.OpenPort();
    EXPECT_TRUE(second.Open);
}

} // namespace
