// Line events, modem lines, flow control and failing devices through the scripted device:
// what a pseudo-terminal cannot show.
#include "CommTestSupport.h"

#include <chrono>

namespace {

using Strings = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

class LineEventTest : public CommTest {
protected:
    void SetUp() override {
        CommTest::SetUp();
        UseScriptedLines();
        FastTiming(port);
    }
    void TearDown() override {
        port.ClosePort();
        CommTest::TearDown();
    }

    void RecordAllEvents() {
        auto note = [this](const char* name) {
            return [this, name](TCommPort* sender) {
                EXPECT_EQ(sender, &port);
                EXPECT_TRUE(plat::MainThread::IsMainThread());
                log.push_back(name);
            };
        };
        port.OnCTSSignal = note("CTS");
        port.OnDCDSignal = note("DCD");
        port.OnDSRSignal = note("DSR");
        port.OnRingSignal = note("Ring");
        port.OnRxDSignal = note("RxD");
        port.OnRxEventSignal = note("RxEvent");
        port.OnTxDSignal = note("TxD");
        port.OnBreakSignal = note("Break");
        port.OnErrorSignal = [this](TCommPort*, int error) {
            log.push_back("Error");
            errors.push_back(error);
        };
    }

    // Raises the events and waits until the GUI thread has raised n handlers.
    void RaiseAndServe(plat::DWORD events, std::size_t n) {
        log.clear();
        Line()->Raise(events);
        ASSERT_TRUE(PumpUntil([&] { return log.size() >= n; }));
        Pump(20);
    }

    TCommPort port;
    Strings log;
    std::vector<int> errors;
};

TEST_F(LineEventTest, MonitoredSetBecomesTheDeviceMask) {
    auto openedMask = [&] {
        port.OpenPort();
        auto lock = Line()->Lock();
        return Line()->masks.front();
    };
    EXPECT_EQ(openedMask(), 0x01FDu);
    port.ClosePort();
    port.MonitorEvents = TEventStates{evRxChar, evTxEmpty};
    EXPECT_EQ(openedMask(), 0x0005u);
}

// The close's last pass leaves mask 0, so the close raises none of the earlier events again.
TEST_F(LineEventTest, StatusEventsComeInTheirFixedOrderAndNotAgainOnClose) {
    port.MonitorEvents.Include(evRxEventChar);
    RecordAllEvents();
    port.OpenPort();

    RaiseAndServe(plat::EV_CTS | plat::EV_RXCHAR, 2);
    EXPECT_EQ(log, (Strings{"CTS", "RxD"}));
    plat::SetLastError(77); // the error handler reports the GUI thread's code at that moment
    RaiseAndServe(plat::EV_ERR | plat::EV_BREAK, 2);
    EXPECT_EQ(log, (Strings{"Break", "Error"}));
    EXPECT_EQ(errors, (std::vector<int>{77}));
    RaiseAndServe(0x01FF, 9);
    EXPECT_EQ(log,
              (Strings{"CTS", "DCD", "DSR", "Ring", "RxD", "RxEvent", "TxD", "Break", "Error"}));

    log.clear();
    port.ClosePort();
    EXPECT_EQ(log, Strings{});
}

TEST_F(LineEventTest, HardHandshakeHoldsTheWriterUntilCtsComesOn) {
    port.SetComControl(ccHard);
    port.OpenPort();
    ASSERT_EQ(port.PutString("held"), 4u);
    Pump(50);
    ASSERT_EQ(port.PutString("!"), 1u); // another wake finds CTS still off
    Pump(50);
    {
        auto lock = Line()->Lock();
        EXPECT_EQ(Line()->writeCalls, 0);
        EXPECT_EQ(Line()->clearErrorCalls, 0); // held, not spinning on the CTS test
    }
    Line()->SetModemStatus(plat::MS_CTS_ON);
    Line()->Raise(plat::EV_CTS);
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->written == "held!"; }));

    // Leaving the handshake lets held bytes go.
    Line()->SetModemStatus(0);
    Line()->Raise(plat::EV_CTS);
    ASSERT_TRUE(PumpUntil([&] { return !port.CTS(); }));
    ASSERT_EQ(port.PutString("abc"), 3u);
    Pump(30);
    port.SetComControl(ccNone);
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->written == "held!abc"; }));

    // Held output does not hold the close.
    port.SetComControl(ccHard);
    ASSERT_EQ(port.PutString("never"), 5u);
    const auto start = Clock::now();
    port.ClosePort();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

// The writer can wake before the status thread's first reading has found CTS on: that reading
// must wake it.
TEST_F(LineEventTest, CtsFoundOnByTheFirstReadingReleasesTheWriter) {
    Line()->SetModemStatus(plat::MS_CTS_ON, 100);
    port.SetComControl(ccHard);
    port.OpenPort();
    ASSERT_EQ(port.PutString("go"), 2u);
    EXPECT_TRUE(Line()->WaitFor([&] { return Line()->written == "go"; }));
}

TEST_F(LineEventTest, FailingDeviceMakesNoWorkerSpinAndStillCloses) {
    port.OpenPort();
    Line()->FailTransfers(true);
    Line()->Feed("xyz");
    ASSERT_EQ(port.PutString("out"), 3u);
    Pump(300);
    {
        auto lock = Line()->Lock();
        // One try per pause (20 ms here), not thousands.
        EXPECT_LE(Line()->readCalls, 300 / 20 + 3);
        EXPECT_LE(Line()->writeCalls, 300 / 20 + 3);
        EXPECT_GE(Line()->writeCalls, 2);
    }
    const auto start = Clock::now();
    port.ClosePort();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
}

// DTR written while closed is raised by the open; the other members keep their values.
TEST_F(LineEventTest, OpenAppliesTheLineSettingsToTheDevice) {
    port.SetBaudRate(cbr57600);
    port.SetParity(paMark);
    port.SetDataBits(7);
    port.SetXoffLim(900);
    port.SetEventChar(0x0D);
    port.SetComControl(ccSoft);
    port.SetDTR(true);
    port.OpenPort();
    {
        auto lock = Line()->Lock();
        const plat::DCB& dcb = Line()->dcb;
        EXPECT_EQ(dcb.Flags, 0x1311u);
        EXPECT_EQ(dcb.BaudRate, 57600u);
        EXPECT_EQ(dcb.Parity, 3);
        EXPECT_EQ(dcb.ByteSize, 7);
        EXPECT_EQ(dcb.XoffLim, 900);
        EXPECT_EQ(dcb.EvtChar, 0x0D);
        EXPECT_EQ(Line()->escapes, (std::vector<plat::DWORD>{plat::SETDTR, plat::CLRRTS}));
    }
    port.SetComControl(ccHard);
    EXPECT_EQ(TCommPortTestPeer::LineState(port).Flags, 0x202Du);
    port.SetComControl(ccNone);
    auto lock = Line()->Lock();
    EXPECT_EQ(Line()->dcb.Flags, 0x0001u);
    EXPECT_EQ(Line()->dcb.BaudRate, 57600u);
}

// The thread that raised the handler waits for it, so it cannot be waited for from inside.
TEST_F(LineEventTest, ClosingOrReopeningFromInsideAHandlerDoesNotHang) {
    int closes = 0, opens = 0;
    port.OnClose = [&](TCommPort*) { ++closes; };
    port.OnOpen = [&](TCommPort*, int) { ++opens; };
    port.OnDataReceived = [&](TCommPort* sender, plat::DWORD) { sender->SetOpen(false); };
    port.OpenPort();
    Line()->Feed("bye");
    ASSERT_TRUE(PumpUntil([&] { return closes == 1; }));
    EXPECT_FALSE(port.Open);

    port.OnDataReceived = {};
    port.OnRxDSignal = [&](TCommPort* sender) {
        sender->Open = false; // a forced reopen, as the wizard's start buttons do
        sender->SetOpen(true);
    };
    port.OpenPort();
    Line()->Feed("again");
    ASSERT_TRUE(PumpUntil([&] { return opens == 3; }));
    EXPECT_TRUE(port.Open);
    port.OnRxDSignal = {};
}

} // namespace
