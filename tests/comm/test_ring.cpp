// Ring arithmetic of both rings at exact Head/Used positions: PutBlock, GetBlock, the reader
// and the writer, wrap-around, full rings, zero lengths, and flushes during a transfer.
#include "CommTestSupport.h"

namespace {

using Peer = TCommPortTestPeer;

std::string Pattern(std::size_t n, int seed = 0) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return s;
}

class RingTest : public CommTest {
protected:
    void SetUp() override {
        CommTest::SetUp();
        UseScriptedLines();
        FastTiming(port);
        port.MonitorEvents = TEventStates{evRxChar}; // only the bytes matter here
        port.OpenPort();
        ASSERT_TRUE(port.Open);
    }
    void TearDown() override {
        port.ClosePort();
        CommTest::TearDown();
    }

    // Head and Used of a ring, set or read under its lock.
    void Place(bool in, std::uint32_t head, std::uint32_t used) {
        plat::CriticalSectionLock lock(in ? Peer::InLock(port) : Peer::OutLock(port));
        TRing& ring = in ? Peer::In(port) : Peer::Out(port);
        ring.Head = head;
        ring.Used.store(used);
    }
    std::pair<std::uint32_t, std::uint32_t> State(bool in) {
        plat::CriticalSectionLock lock(in ? Peer::InLock(port) : Peer::OutLock(port));
        TRing& ring = in ? Peer::In(port) : Peer::Out(port);
        return {ring.Head, ring.Used.load()};
    }
    static std::string Bytes(TRing& ring, std::uint32_t from, std::uint32_t n) {
        return std::string(reinterpret_cast<char*>(ring.Buffer.get()) + from, n);
    }
    static void Store(TRing& ring, std::uint32_t at, const std::string& bytes) {
        std::copy(bytes.begin(), bytes.end(), ring.Buffer.get() + at);
    }

    TCommPort port;
};

using Place2 = std::pair<std::uint32_t, std::uint32_t>;

TEST_F(RingTest, PutBlockWrapsAndTakesOnlyWhatFits) {
    Peer::StopWriter(port);
    TRing& out = Peer::Out(port);
    const std::string data = Pattern(200);
    Place(false, 4000, 50); // tail 4050: 46 bytes up to the end, the rest from 0
    EXPECT_EQ(port.PutBlock(data.data(), 100), 100u);
    EXPECT_EQ(Bytes(out, 4050, 46), data.substr(0, 46));
    EXPECT_EQ(Bytes(out, 0, 54), data.substr(46, 54));
    EXPECT_EQ(port.OutBuffUsed(), 150u);
    EXPECT_TRUE(Peer::WriteEvent(port).IsSet());

    Place(false, 4000, 4090); // tail wrapped to 3994
    EXPECT_EQ(port.PutBlock(data.data(), 100), 6u);
    EXPECT_EQ(Bytes(out, 3994, 6), data.substr(0, 6));
    Peer::WriteEvent(port).Reset();
    EXPECT_EQ(port.PutBlock(data.data(), 100), 0u); // full
    EXPECT_EQ(port.PutBlock(data.data(), 0), 0u);
    EXPECT_FALSE(Peer::WriteEvent(port).IsSet());

    Place(false, 96, 4000); // tail exactly at the end: the free space is 0..95
    EXPECT_EQ(port.PutBlock(data.data(), 200), 96u);
    EXPECT_EQ(Bytes(out, 0, 96), data.substr(0, 96));
}

TEST_F(RingTest, GetBlockWrapsAndAdvancesHead) {
    TRing& in = Peer::In(port);
    const std::string data = Pattern(20, 3);
    Store(in, 2040, data.substr(0, 8));
    Store(in, 0, data.substr(8));
    Place(true, 2040, 20);
    char out[512];
    EXPECT_EQ(port.GetBlock(out, 512), 20u);
    EXPECT_EQ(std::string(out, 20), data);
    EXPECT_EQ(State(true), Place2(12, 0));

    Place(true, 2040, 20);
    EXPECT_EQ(port.GetBlock(out, 5), 5u);
    EXPECT_EQ(std::string(out, 5), data.substr(0, 5));
    EXPECT_EQ(State(true), Place2(2045, 15));

    Place(true, 2040, 8); // exactly to the end: Head wraps to 0
    EXPECT_EQ(port.GetBlock(out, 8), 8u);
    EXPECT_EQ(State(true), Place2(0, 0));
}

// The reader's wake shows as its next look at the device.
TEST_F(RingTest, ZeroLengthGetBlockWakesTheReaderOnlyWhenBytesAreHeld) {
    auto looks = [&] {
        auto lock = Line()->Lock();
        return Line()->clearErrorCalls;
    };
    char out[4];
    Place(true, 0, 0);
    const int before = looks();
    EXPECT_EQ(port.GetBlock(out, 4), 0u);
    EXPECT_EQ(port.GetChar(), 0);
    EXPECT_FALSE(port.CharReady());
    Pump(30);
    EXPECT_EQ(looks(), before);

    Place(true, 0, 3);
    EXPECT_EQ(port.GetBlock(out, 0), 0u);
    EXPECT_TRUE(PumpUntil([&] { return looks() > before; }));
}

TEST_F(RingTest, ReaderSplitsItsReadAtTheEndOfTheRing) {
    Place(true, 2000, 40); // tail 2040: 8 bytes up to the end, then from 0
    const std::string data = Pattern(100, 5);
    Line()->Feed(data);
    ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 140; }));
    {
        auto lock = Line()->Lock();
        EXPECT_EQ(Line()->readSizes, (std::vector<plat::DWORD>{8, 92}));
    }
    EXPECT_EQ(Bytes(Peer::In(port), 2040, 8), data.substr(0, 8));
    EXPECT_EQ(Bytes(Peer::In(port), 0, 92), data.substr(8));
}

TEST_F(RingTest, FullInputRingLeavesBytesInTheDeviceUntilGetBlock) {
    port.SetIBuffSize(16); // reopens
    const std::string data = Pattern(40, 1);
    Line()->Feed(data);
    ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 16; }));
    Pump(50);
    int reads;
    {
        auto lock = Line()->Lock();
        reads = Line()->readCalls;
    }
    Pump(150); // nothing spins while the bytes wait
    {
        auto lock = Line()->Lock();
        EXPECT_EQ(Line()->readCalls, reads);
    }
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

TEST_F(RingTest, WriterWritesTwoPiecesAndClearsItsEvent) {
    const std::string data = Pattern(150, 9);
    Store(Peer::Out(port), 4000, data.substr(0, 96));
    Store(Peer::Out(port), 0, data.substr(96));
    Place(false, 4000, 150);
    Peer::WriteEvent(port).Set();
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->writeSizes.size() >= 2; }));
    ASSERT_TRUE(PumpUntil([&] { return !Peer::WriteEvent(port).IsSet(); }));
    EXPECT_EQ(State(false), Place2(54, 0));
    auto lock = Line()->Lock();
    EXPECT_EQ(Line()->writeSizes, (std::vector<plat::DWORD>{96, 54}));
    EXPECT_EQ(Line()->written, data);
}

TEST_F(RingTest, InputFlushDuringAReadKeepsTheReadBytesAtTheNewHead) {
    Place(true, 100, 30); // the reader will store at the tail, 130
    plat::Event inRead(true), release(true);
    Line()->SetReadHook([&] {
        inRead.Set();
        release.Wait(2000);
    });
    Line()->Feed("fresh");
    ASSERT_EQ(inRead.Wait(2000), plat::WAIT_OBJECT_0);
    port.FlushInBuffer();
    EXPECT_EQ(State(true), Place2(130, 0));
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
    Line()->HoldWrites(true);
    const std::string first = Pattern(300, 4);
    ASSERT_EQ(port.PutBlock(first.data(), 300), 300u);
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->writeInProgress; }));
    port.FlushOutBuffer();
    ASSERT_EQ(port.PutString("XYZ"), 3u);
    EXPECT_LE(port.OutBuffUsed(), 303u);
    Line()->HoldWrites(false);
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->written.size() >= 3; }));
    ASSERT_TRUE(PumpUntil([&] { return port.OutBuffUsed() == 0; }));
    Pump(30);
    auto lock = Line()->Lock();
    EXPECT_EQ(Line()->written, "XYZ");
}

} // namespace
