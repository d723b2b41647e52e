// Ring arithmetic of both rings at exact Head/Used positions: PutBlock, GetBlock, the reader
// and the writer, wrap-around, full rings, zero lengths, and flushes during a transfer.
#include "CommTestSupport.h"

#include <numeric>
#include <thread>

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
        // No line events: only the bytes matter here.
        port.MonitorEvents = TEventStates{evRxChar};
    }
    void TearDown() override {
        port.ClosePort();
        CommTest::TearDown();
    }

    void OpenWithoutWriter() {
        port.OpenPort();
        ASSERT_TRUE(port.Open);
        Peer::StopWriter(port);
    }
    void OpenWithoutReader() {
        port.OpenPort();
        ASSERT_TRUE(port.Open);
        Peer::StopReader(port);
    }
    std::string OutBytes(std::uint32_t from, std::uint32_t n) {
        return std::string(reinterpret_cast<char*>(Peer::Out(port).Buffer.get()) + from, n);
    }
    std::string InBytes(std::uint32_t from, std::uint32_t n) {
        return std::string(reinterpret_cast<char*>(Peer::In(port).Buffer.get()) + from, n);
    }
    void PlaceIn(std::uint32_t from, const std::string& bytes) {
        std::copy(bytes.begin(), bytes.end(), Peer::In(port).Buffer.get() + from);
    }

    TCommPort port;
};

TEST_F(RingTest, PutBlockSplitsAtTheEndOfTheOutputRing) {
    OpenWithoutWriter();
    Peer::SetOut(port, 4000, 50);
    const std::string data = Pattern(100);
    EXPECT_EQ(port.PutBlock(data.data(), 100), 100u);
    EXPECT_EQ(OutBytes(4050, 46), data.substr(0, 46));
    EXPECT_EQ(OutBytes(0, 54), data.substr(46));
    EXPECT_EQ(port.OutBuffUsed(), 150u);
    EXPECT_EQ(port.OutBuffFree(), 4096u - 150u);
    EXPECT_TRUE(Peer::WriteEvent(port).IsSet());
}

TEST_F(RingTest, PutBlockTakesOnlyWhatFits) {
    OpenWithoutWriter();
    const std::string data = Pattern(100);

    Peer::SetOut(port, 4000, 4090); // tail wrapped to 3994
    EXPECT_EQ(port.PutBlock(data.data(), 100), 6u);
    EXPECT_EQ(OutBytes(3994, 6), data.substr(0, 6));
    EXPECT_EQ(port.OutBuffUsed(), 4096u);

    Peer::WriteEvent(port).Reset();
    EXPECT_EQ(port.PutBlock(data.data(), 100), 0u);
    EXPECT_FALSE(Peer::WriteEvent(port).IsSet());

    Peer::SetOut(port, 10, 0);
    EXPECT_EQ(port.PutBlock(data.data(), 0), 0u);
    EXPECT_FALSE(Peer::WriteEvent(port).IsSet());
    EXPECT_EQ(port.PutString(""), 0u);
    EXPECT_EQ(port.PutString(nullptr), 0u);
}

TEST_F(RingTest, PutBlockWithTailExactlyAtTheEnd) {
    OpenWithoutWriter();
    Peer::SetOut(port, 96, 4000); // tail 4096: the free space starts at 0 and ends at Head
    const std::string data = Pattern(200);
    EXPECT_EQ(port.PutBlock(data.data(), 200), 96u);
    EXPECT_EQ(OutBytes(0, 96), data.substr(0, 96));
}

TEST_F(RingTest, GetBlockWrapsAndAdvancesHead) {
    OpenWithoutReader();
    const std::string data = Pattern(20, 3);
    PlaceIn(2040, data.substr(0, 8));
    PlaceIn(0, data.substr(8));
    Peer::SetIn(port, 2040, 20);
    char out[512];
    EXPECT_EQ(port.GetBlock(out, 512), 20u);
    EXPECT_EQ(std::string(out, 20), data);
    std::uint32_t head, used;
    Peer::InState(port, head, used);
    EXPECT_EQ(head, 12u);
    EXPECT_EQ(used, 0u);

    Peer::SetIn(port, 2040, 20);
    EXPECT_EQ(port.GetBlock(out, 5), 5u);
    EXPECT_EQ(std::string(out, 5), data.substr(0, 5));
    Peer::InState(port, head, used);
    EXPECT_EQ(head, 2045u);
    EXPECT_EQ(used, 15u);
    EXPECT_EQ(port.InBuffFree(), 2048u - 15u);

    // Exactly to the end: one piece, Head wraps to 0.
    Peer::SetIn(port, 2040, 8);
    EXPECT_EQ(port.GetBlock(out, 8), 8u);
    Peer::InState(port, head, used);
    EXPECT_EQ(head, 0u);
}

TEST_F(RingTest, ZeroLengthGetBlockStillWakesTheReader) {
    OpenWithoutReader();
    char out[4];
    Peer::SetIn(port, 0, 3);
    Peer::ReadEvent(port).Reset();
    EXPECT_EQ(port.GetBlock(out, 0), 0u);
    EXPECT_TRUE(Peer::ReadEvent(port).IsSet());

    Peer::SetIn(port, 0, 0);
    Peer::ReadEvent(port).Reset();
    EXPECT_EQ(port.GetBlock(out, 4), 0u);
    EXPECT_FALSE(Peer::ReadEvent(port).IsSet());
    EXPECT_EQ(port.GetChar(), 0);
    EXPECT_FALSE(port.CharReady());

    PlaceIn(0, "Q");
    Peer::SetIn(port, 0, 1);
    EXPECT_TRUE(port.CharReady());
    EXPECT_EQ(port.GetChar(), 'Q');
}

TEST_F(RingTest, ClosedPortTakesAndGivesNothing) {
    char buf[8] = "abc";
    EXPECT_EQ(port.PutBlock(buf, 3), 0u);
    EXPECT_EQ(port.PutChar('x'), 0u);
    EXPECT_EQ(port.PutString("abc"), 0u);
    EXPECT_EQ(port.GetBlock(buf, 8), 0u);
    EXPECT_EQ(port.GetChar(), 0);
    EXPECT_FALSE(port.CharReady());
    EXPECT_EQ(port.OutQueCount(), 0);
    port.FlushInBuffer();
    port.FlushOutBuffer();
    EXPECT_EQ(port.InBuffUsed(), 0u);
}

TEST_F(RingTest, ReaderSplitsItsReadAtTheEndOfTheRing) {
    port.OpenPort();
    Peer::SetIn(port, 2000, 40); // tail 2040
    const std::string data = Pattern(100, 5);
    Line()->Feed(data);
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->readSizes.size() >= 2; }));
    {
        auto lock = Line()->Lock();
        EXPECT_EQ(Line()->readSizes[0], 8u);
        EXPECT_EQ(Line()->readSizes[1], 92u);
    }
    ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 140; }));
    EXPECT_EQ(InBytes(2040, 8), data.substr(0, 8));
    EXPECT_EQ(InBytes(0, 92), data.substr(8));
}

TEST_F(RingTest, FullInputRingLeavesBytesInTheDeviceUntilGetBlock) {
    port.SetIBuffSize(16);
    port.OpenPort();
    const std::string data = Pattern(40, 1);
    Line()->Feed(data);
    ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 16; }));
    // Full ring: the reader stops and nothing spins while the bytes wait.
    Pump(100);
    int readsBefore, clearsBefore;
    {
        auto lock = Line()->Lock();
        readsBefore = Line()->readCalls;
        clearsBefore = Line()->clearErrorCalls;
    }
    Pump(200);
    {
        auto lock = Line()->Lock();
        EXPECT_EQ(Line()->readCalls, readsBefore);
        EXPECT_LE(Line()->clearErrorCalls - clearsBefore, 2);
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
    port.OpenPort();
    const std::string data = Pattern(150, 9);
    std::copy(data.begin(), data.begin() + 96, Peer::Out(port).Buffer.get() + 4000);
    std::copy(data.begin() + 96, data.end(), Peer::Out(port).Buffer.get());
    Peer::SetOut(port, 4000, 150);
    Peer::WriteEvent(port).Set();
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->writeSizes.size() >= 2; }));
    ASSERT_TRUE(PumpUntil([&] { return !Peer::WriteEvent(port).IsSet(); }));
    std::uint32_t head, used;
    Peer::OutState(port, head, used);
    EXPECT_EQ(head, 54u);
    EXPECT_EQ(used, 0u);
    auto lock = Line()->Lock();
    EXPECT_EQ(Line()->writeSizes, (std::vector<plat::DWORD>{96, 54}));
    EXPECT_EQ(Line()->written, data);
}

TEST_F(RingTest, InputFlushDuringAReadKeepsTheReadBytesAtTheNewHead) {
    port.OpenPort();
    const std::string old = Pattern(30, 2);
    PlaceIn(100, old);
    Peer::SetIn(port, 100, 30); // the reader will store at the tail, 130
    plat::Event inRead(true), release(true);
    Line()->SetReadHook([&] {
        inRead.Set();
        release.Wait(2000);
    });
    Line()->Feed("fresh");
    ASSERT_EQ(inRead.Wait(2000), plat::WAIT_OBJECT_0);
    port.FlushInBuffer();
    std::uint32_t head, used;
    Peer::InState(port, head, used);
    EXPECT_EQ(head, 130u);
    EXPECT_EQ(used, 0u);
    Line()->SetReadHook({});
    release.Set();
    {
        auto lock = Line()->Lock();
        EXPECT_EQ(Line()->purges.back(), plat::PURGE_RXABORT | plat::PURGE_RXCLEAR);
    }
    ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 5; }));
    char out[64];
    EXPECT_EQ(port.GetBlock(out, sizeof out), 5u);
    EXPECT_EQ(std::string(out, 5), "fresh");
}

TEST_F(RingTest, OutputFlushDuringAWriteKeepsLaterBytesInPlace) {
    port.OpenPort();
    Line()->HoldWrites(true);
    const std::string first = Pattern(300, 4);
    ASSERT_EQ(port.PutBlock(first.data(), 300), 300u);
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->writeInProgress; }));
    port.FlushOutBuffer();
    // The chunk in flight stays counted until its write returns; nothing below zero.
    EXPECT_LE(port.OutBuffUsed(), 300u);
    ASSERT_TRUE(Line()->WaitFor([&] { return !Line()->writeInProgress; }));
    Line()->HoldWrites(false);
    ASSERT_TRUE(PumpUntil([&] { return port.OutBuffUsed() == 0; }));
    ASSERT_EQ(port.PutString("after"), 5u);
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->written.size() >= 5; }));
    Pump(30);
    auto lock = Line()->Lock();
    EXPECT_EQ(Line()->written, "after");
    EXPECT_EQ(Line()->purges.back(), plat::PURGE_TXABORT | plat::PURGE_TXCLEAR);
}

TEST_F(RingTest, BytesPutWhileAWriteIsFlushedAreWrittenOnceInOrder) {
    port.OpenPort();
    Line()->HoldWrites(true);
    const std::string first = Pattern(100, 6);
    ASSERT_EQ(port.PutBlock(first.data(), 100), 100u);
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->writeInProgress; }));
    port.FlushOutBuffer();
    ASSERT_EQ(port.PutString("XYZ"), 3u);
    Line()->HoldWrites(false);
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->written.size() >= 3; }));
    ASSERT_TRUE(PumpUntil([&] { return port.OutBuffUsed() == 0; }));
    auto lock = Line()->Lock();
    EXPECT_EQ(Line()->written, "XYZ");
}

} // namespace
