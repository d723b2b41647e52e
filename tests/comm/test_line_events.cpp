// Line events, modem lines and flow control through the scripted device: what a
// pseudo-terminal cannot show.
#include "CommTestSupport.h"

#include <chrono>

namespace {

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
    std::vector<std::string> log;
    std::vector<int> errors;
};

using Strings = std::vector<std::string>;

TEST_F(LineEventTest, MonitoredSetBecomesTheDeviceMask) {
    port.OpenPort();
    {
        auto lock = Line()->Lock();
        ASSERT_FALSE(Line()->masks.empty());
        EXPECT_EQ(Line()->masks.front(), 0x01FDu);
    }
    port.ClosePort();
    {
        auto lock = Line()->Lock();
        EXPECT_EQ(Line()->masks.back(), 0u); // the close completes the pending wait
    }
    port.MonitorEvents = TEventStates{evRxChar, evTxEmpty};
    port.OpenPort();
    auto lock = Line()->Lock();
    EXPECT_EQ(Line()->masks.front(), 0x0005u);
}

TEST_F(LineEventTest, StatusEventsComeInTheirFixedOrder) {
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
}

TEST_F(LineEventTest, UnmonitoredEventsAndMissingHandlersRaiseNothing) {
    port.MonitorEvents = TEventStates{evCTS};
    log.clear();
    port.OnCTSSignal = [this](TCommPort*) { log.push_back("CTS"); };
    port.OpenPort();
    Line()->Raise(plat::EV_BREAK | plat::EV_RXCHAR);
    Pump(60);
    EXPECT_TRUE(log.empty());
    Line()->Raise(plat::EV_CTS | plat::EV_DSR); // no OnDSRSignal assigned
    ASSERT_TRUE(PumpUntil([&] { return !log.empty(); }));
    EXPECT_EQ(log, (Strings{"CTS"}));
}

TEST_F(LineEventTest, StatusThreadKeepsTheModemLineFlags) {
    Line()->SetModemStatus(plat::MS_CTS_ON | plat::MS_DSR_ON);
    port.OpenPort();
    ASSERT_TRUE(PumpUntil([&] { return port.CTS(); }));
    EXPECT_TRUE(port.DSR());
    EXPECT_FALSE(port.DCD());
    EXPECT_FALSE(port.Ring());

    Line()->SetModemStatus(plat::MS_RLSD_ON | plat::MS_RING_ON);
    Line()->Raise(plat::EV_RLSD);
    ASSERT_TRUE(PumpUntil([&] { return port.DCD(); }));
    EXPECT_TRUE(port.Ring());
    EXPECT_FALSE(port.CTS());
    EXPECT_FALSE(port.DSR());

    EXPECT_FALSE(port.GetModemState(1));
    EXPECT_FALSE(port.GetModemState(2));
    EXPECT_TRUE(port.GetModemState(3));
    EXPECT_TRUE(port.GetModemState(4));
    EXPECT_FALSE(port.GetModemState(0));
    EXPECT_FALSE(port.GetModemState(5));

    port.ClosePort();
    EXPECT_FALSE(port.DCD());
    EXPECT_FALSE(port.Ring());
    EXPECT_FALSE(port.GetModemState(4));
}

TEST_F(LineEventTest, HardHandshakeHoldsTheWriterUntilCtsComesOn) {
    port.SetComControl(ccHard);
    port.OpenPort();
    ASSERT_EQ(port.PutString("held"), 4u);
    Pump(100);
    ASSERT_EQ(port.PutString("!"), 1u); // another wake finds CTS still off
    Pump(100);
    {
        auto lock = Line()->Lock();
        EXPECT_EQ(Line()->writeCalls, 0);
        // Held, not spinning: the writer waits for a wake instead of retesting CTS.
        EXPECT_EQ(Line()->clearErrorCalls, 0);
    }
    EXPECT_EQ(port.OutBuffUsed(), 5u);

    Line()->SetModemStatus(plat::MS_CTS_ON);
    Line()->Raise(plat::EV_CTS);
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->written == "held!"; }));
    ASSERT_TRUE(PumpUntil([&] { return port.OutBuffUsed() == 0; }));
}

TEST_F(LineEventTest, HeldOutputDoesNotHoldTheClose) {
    port.SetComControl(ccHard);
    port.OpenPort();
    ASSERT_EQ(port.PutString("never"), 5u);
    const auto start = std::chrono::steady_clock::now();
    port.ClosePort();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(port.Open);
}

TEST_F(LineEventTest, LeavingHandshakeReleasesHeldOutput) {
    port.SetComControl(ccHard);
    port.OpenPort();
    ASSERT_EQ(port.PutString("abc"), 3u);
    Pump(50);
    port.SetComControl(ccNone);
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->written == "abc"; }));
}

TEST_F(LineEventTest, HeldWriteIsDroppedAfterItsTimeWhenClosing) {
    port.OpenPort();
    Line()->HoldWrites(true);
    ASSERT_EQ(port.PutString("stuck"), 5u);
    ASSERT_TRUE(Line()->WaitFor([&] { return Line()->writeInProgress; }));
    const auto start = std::chrono::steady_clock::now();
    port.ClosePort();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(port.Timing.HeldWriteMs));
    EXPECT_LT(took, std::chrono::milliseconds(port.Timing.HeldWriteMs + 1000));
    auto lock = Line()->Lock();
    EXPECT_TRUE(Line()->written.empty());
    EXPECT_TRUE(Line()->closed);
}

TEST_F(LineEventTest, FailingDeviceMakesNoWorkerSpinAndStillCloses) {
    port.OpenPort();
    Line()->FailReads(true);
    Line()->FailWrites(true);
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
    const auto start = std::chrono::steady_clock::now();
    port.ClosePort();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST_F(LineEventTest, DtrAndRtsFollowTheProperties) {
    port.SetDTR(true);
    EXPECT_TRUE(port.DTR());
    port.OpenPort();
    {
        auto lock = Line()->Lock();
        EXPECT_EQ(Line()->escapes, (std::vector<plat::DWORD>{plat::SETDTR, plat::CLRRTS}));
    }
    port.SetRTS(true);
    EXPECT_TRUE(port.RTS());
    Line()->FailEscapes(true);
    port.SetDTR(false);
    EXPECT_TRUE(port.DTR()); // the line did not change, nor does the property
    Line()->FailEscapes(false);
    port.PowerOff();
    EXPECT_FALSE(port.DTR());
    EXPECT_FALSE(port.RTS());
    auto lock = Line()->Lock();
    EXPECT_EQ(Line()->escapes.back(), plat::CLRRTS);
}

TEST_F(LineEventTest, BreakIsHeldForTheTicks) {
    EXPECT_FALSE(port.SetBreak(true)); // closed
    port.OpenPort();
    const auto start = std::chrono::steady_clock::now();
    port.SendBreak(2);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(110));
    auto lock = Line()->Lock();
    EXPECT_EQ(Line()->escapes.back(), plat::CLRBREAK);
    EXPECT_EQ(Line()->escapes[Line()->escapes.size() - 2], plat::SETBREAK);
}

TEST_F(LineEventTest, OpenAppliesTheLineSettingsToTheDevice) {
    port.SetBaudRate(cbr57600);
    port.SetParity(paMark);
    port.SetDataBits(7);
    port.SetXonLim(10);
    port.SetXoffLim(900);
    port.SetXonChar(0x21);
    port.SetXoffChar(0x23);
    port.SetEventChar(0x0D);
    port.SetComControl(ccSoft);
    port.OpenPort();
    plat::DCB dcb;
    {
        auto lock = Line()->Lock();
        dcb = Line()->dcb;
        EXPECT_EQ(Line()->states.size(), 10u); // one read-change-write per setting
        EXPECT_EQ(Line()->states.front().Flags, 0x1311u);
    }
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.Parity, 3);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.XonLim, 10);
    EXPECT_EQ(dcb.XoffLim, 900);
    EXPECT_EQ(dcb.XonChar, 0x21);
    EXPECT_EQ(dcb.XoffChar, 0x23);
    EXPECT_EQ(dcb.EvtChar, 0x0D);
    EXPECT_EQ(dcb.Flags, 0x1311u);

    port.SetComControl(ccHard);
    EXPECT_EQ(TCommPortTestPeer::LineState(port).Flags, 0x202Du);
    port.SetComControl(ccNone);
    port.SetStopBits(sb2_0);
    auto lock = Line()->Lock();
    EXPECT_EQ(Line()->dcb.Flags, 0x0001u);
    EXPECT_EQ(Line()->dcb.StopBits, 2);
    EXPECT_EQ(Line()->dcb.BaudRate, 57600u); // the other members stay
}

TEST_F(LineEventTest, SetupErrorReachesOnOpenAndThePortOpensAnyway) {
    Line()->FailSetupWith(plat::ERROR_GEN_FAILURE);
    int opened = -1;
    port.OnOpen = [&](TCommPort*, int error) { opened = error; };
    port.OpenPort();
    EXPECT_TRUE(port.Open);
    EXPECT_EQ(opened, static_cast<int>(plat::ERROR_GEN_FAILURE));
    port.ClosePort();
    port.OpenPort(); // a fresh line, no failure
    EXPECT_EQ(opened, 0);
}

TEST_F(LineEventTest, ClosingFromInsideAnEventHandlerDoesNotHang) {
    int closes = 0;
    port.OnClose = [&](TCommPort*) { ++closes; };
    port.OnDataReceived = [&](TCommPort* sender, plat::DWORD) { sender->SetOpen(false); };
    port.OpenPort();
    Line()->Feed("bye");
    ASSERT_TRUE(PumpUntil([&] { return closes == 1; }));
    EXPECT_FALSE(port.Open);

    port.OnDataReceived = {};
    port.OnRxDSignal = [&](TCommPort* sender) { sender->ClosePort(); };
    port.OpenPort(); // reaps the event thread left from the close above
    Line()->Feed("again");
    ASSERT_TRUE(PumpUntil([&] { return closes == 2; }));
    port.OpenPort();
    EXPECT_TRUE(port.Open);
}

} // namespace
