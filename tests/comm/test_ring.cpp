// Ring arithmetic of both rings at exact Head/Used positions: PutBlock, GetBlock, the reader
// and the writer, wrap-around, full rings, zero lengths, and flushes during a transfer.
#include "CommTestSupport.h"

// The component's insides that the ring tests need.
class TCommPortTestPeer {
public:
    static TRing& Ring(TCommPort& p, bool in) { return in ? p.InRing : p.OutRing; }
    static plat::CriticalSection& Lock(TCommPort& p, bool in) { return in ? p.InLock : p.OutLock; }
    static bool WriterWake(TCommPort& p) { return p.WriteEvent.IsSet(); }
};

namespace {

using Peer = TCommPortTestPeer;
using HeadUsed = std::pair<std::uint32_t, std::uint32_t>;
constexpr bool In = true, Out = false;

class RingTest : public ScriptedTest {
protected:
    void SetUp() override {
        ScriptedTest::SetUp();
        port.MonitorEvents = TEventStates{evRxChar}; // only the bytes matter here
        port.OpenPort();
        ASSERT_TRUE(port.Open);
    }

    // Head and Used of a ring, set or read under its lock.
    void Place(bool in, std::uint32_t head, std::uint32_t used) {
        plat::CriticalSectionLock lock(Peer::Lock(port, in));
        Peer::Ring(port, in).Head = head;
        Peer::Ring(port, in).Used.store(used);
    }
    HeadUsed State(bool in) {
        plat::CriticalSectionLock lock(Peer::Lock(port, in));
        return {Peer::Ring(port, in).Head, Peer::Ring(port, in).Used.load()};
    }
    // The ring's bytes from `at` on, across its end.
    std::string Bytes(bool in, std::uint32_t at, std::uint32_t n) {
        const TRing& ring = Peer::Ring(port, in);
        std::string s;
        for (std::uint32_t i = 0; i < n; ++i)
            s += static_cast<char>(ring.Buffer[(at + i) % ring.Size]);
        return s;
    }
    void Store(std::uint32_t at, const std::string& bytes) {
        const TRing& ring = Peer::Ring(port, In);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            ring.Buffer[(at + i) % ring.Size] = static_cast<std::uint8_t>(bytes[i]);
    }
    int ReaderLooks() { return Line()->Record().clearErrorCalls; }
};

TEST_F(RingTest, PutBlockWrapsAndTakesOnlyWhatFits) {
    port.SetComControl(ccHard); // with CTS off the writer leaves the ring alone
    const std::string data = Pattern(200);
    struct Case {
        std::uint32_t head, used, offered, taken;
    };
    const Case cases[] = {
        {4000, 50, 100, 100}, // tail 4050: 46 bytes up to the end, the rest from 0
        {4000, 4090, 100, 6}, // tail wrapped to 3994
        {96, 4000, 200, 96},  // tail exactly at the end: the free space is 0..95
        {4000, 4096, 100, 0}, // full
        {0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.head << '+' << c.used);
        Place(Out, c.head, c.used);
        EXPECT_EQ(port.PutBlock(data.data(), c.offered), c.taken);
        EXPECT_EQ(Bytes(Out, c.head + c.used, c.taken), data.substr(0, c.taken));
        EXPECT_EQ(port.OutBuffUsed(), c.used + c.taken);
    }
}

TEST_F(RingTest, GetBlockWrapsAndAdvancesHead) {
    const std::string data = Pattern(20, 3);
    struct Case {
        std::uint32_t head, used, asked, given, newHead;
    };
    const Case cases[] = {
        {2040, 20, 512, 20, 12}, // 8 bytes up to the end, 12 from 0
        {2040, 20, 5, 5, 2045},
        {2040, 8, 8, 8, 0}, // exactly to the end: Head wraps to 0
    };
    char out[512];
    for (const Case& c : cases) {
        Store(c.head, data.substr(0, c.used));
        Place(In, c.head, c.used);
        EXPECT_EQ(port.GetBlock(out, c.asked), c.given);
        EXPECT_EQ(std::string(out, c.given), data.substr(0, c.given));
        EXPECT_EQ(State(In), HeadUsed(c.newHead, c.used - c.given));
    }
}

// The reader's wake shows as its next look at the device.
TEST_F(RingTest, ZeroLengthGetBlockWakesTheReaderOnlyWhenBytesAreHeld) {
    char out[4];
    const int before = ReaderLooks();
    EXPECT_EQ(port.GetBlock(out, 4), 0u);
    EXPECT_EQ(port.GetChar(), 0);
    Pump(30);
    EXPECT_EQ(ReaderLooks(), before);
    Place(In, 0, 3);
    EXPECT_EQ(port.GetBlock(out, 0), 0u);
    EXPECT_TRUE(PumpUntil([&] { return ReaderLooks() > before; }));
}

// The reader fills, and the writer empties, each ring in two pieces across its end.
TEST_F(RingTest, ReaderAndWriterSplitAtTheEndOfTheRing) {
    Place(In, 2000, 40); // tail 2040: 8 bytes up to the end, then from 0
    const std::string in = Pattern(100, 5), out = Pattern(150, 9);
    Line()->Feed(in);
    ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 140; }));
    EXPECT_EQ(Line()->Record().readSizes, (std::vector<plat::DWORD>{8, 92}));
    EXPECT_EQ(Bytes(In, 2040, 100), in);

    Place(Out, 4000, 0);
    ASSERT_EQ(port.PutBlock(out.data(), 150), 150u);
    // Done, the writer clears its wake rather than coming round again.
    ASSERT_TRUE(
        PumpUntil([&] { return State(Out) == HeadUsed(54, 0) && !Peer::WriterWake(port); }));
    EXPECT_EQ(Line()->Record().writeSizes, (std::vector<plat::DWORD>{96, 54}));
    EXPECT_EQ(Line()->Record().written, out);
}

TEST_F(RingTest, FullInputRingLeavesBytesInTheDeviceUntilGetBlock) {
    port.SetIBuffSize(16); // reopens
    const std::string data = Pattern(40, 1);
    Line()->Feed(data);
    ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 16; }));
    Pump(50);
    const int reads = Line()->Record().readCalls;
    Pump(150); // nothing spins while the bytes wait
    EXPECT_EQ(Line()->Record().readCalls, reads);
    std::string got;
    char buf[10];
    while (got.size() < data.size()) {
        const std::uint32_t n = port.GetBlock(buf, sizeof buf);
        got.append(buf, n);
        if (n == 0) {
            ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() > 0; }));
        }
    }
    EXPECT_EQ(got, data);
}

TEST_F(RingTest, InputFlushDuringAReadKeepsTheReadBytesAtTheNewHead) {
    Place(In, 100, 30); // the reader will store at the tail, 130
    plat::Event inRead(true), release(true);
    Line()->SetReadHook([&] {
        inRead.Set();
        release.Wait(2000);
    });
    Line()->Feed("fresh");
    ASSERT_EQ(inRead.Wait(2000), plat::WAIT_OBJECT_0);
    port.FlushInBuffer();
    EXPECT_EQ(State(In), HeadUsed(130, 0));
    Line()->SetReadHook({});
    release.Set();
    ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 5; }));
    char out[64];
    EXPECT_EQ(port.GetBlock(out, sizeof out), 5u);
    EXPECT_EQ(std::string(out, 5), "fresh");
}

// The chunk in flight is dropped with the rest; bytes put after the flush are written once,
// and Used never goes below zero.
TEST_F(RingTest, OutputFlushDuringAWriteKeepsLaterBytesInPlace) {
    Line()->holdWrites = true;
    const std::string first = Pattern(300, 4);
    ASSERT_EQ(port.PutBlock(first.data(), 300), 300u);
    ASSERT_TRUE(UntilLine([](auto& r) { return r.writeInProgress; }));
    port.FlushOutBuffer();
    ASSERT_EQ(port.PutString("XYZ"), 3u);
    EXPECT_LE(port.OutBuffUsed(), 303u);
    Line()->holdWrites = false;
    ASSERT_TRUE(PumpUntil([&] { return port.OutBuffUsed() == 0; }));
    Pump(30);
    EXPECT_EQ(Line()->Record().written, "XYZ");
}

} // namespace
