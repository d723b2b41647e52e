// Line events, modem lines and flow control through the scripted device: what a
// pseudo-terminal cannot show.
#include "CommTestSupport.h"

#include <array>
#include <chrono>

namespace {

using Strings = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

// Each line event with the comm event that raises it, in the order the component raises them.
struct LineSignal {
    plat::DWORD bit;
    TNotifyEvent TCommPort::*handler;
    const char* name;
};
const LineSignal LineSignals[] = {
    {plat::EV_CTS, &TCommPort::OnCTSSignal, "CTS"},
    {plat::EV_RLSD, &TCommPort::OnDCDSignal, "DCD"},
    {plat::EV_DSR, &TCommPort::OnDSRSignal, "DSR"},
    {plat::EV_RING, &TCommPort::OnRingSignal, "Ring"},
    {plat::EV_RXCHAR, &TCommPort::OnRxDSignal, "RxD"},
    {plat::EV_RXFLAG, &TCommPort::OnRxEventSignal, "RxEvent"},
    {plat::EV_TXEMPTY, &TCommPort::OnTxDSignal, "TxD"},
    {plat::EV_BREAK, &TCommPort::OnBreakSignal, "Break"},
};

class LineEventTest : public ScriptedTest {
protected:
    void RecordAllEvents() {
        for (const LineSignal& signal : LineSignals)
            port.*signal.handler = [this, name = signal.name](TCommPort* sender) {
                EXPECT_EQ(sender, &port);
                EXPECT_TRUE(plat::MainThread::IsMainThread());
                log.push_back(name);
            };
        port.OnErrorSignal = [this](TCommPort*, int error) {
            log.push_back("Error");
            errors.push_back(error);
        };
    }

    // Raises the events and waits until the GUI thread has raised n handlers.
    void RaiseAndServe(plat::DWORD events, std::size_t n) {
        log.clear();
        Line()->events |= events;
        ASSERT_TRUE(PumpUntil([&] { return log.size() >= n; }));
        Pump(20);
    }
    bool WaitWritten(const std::string& bytes) {
        return UntilLine([&](auto& r) { return r.written == bytes; });
    }

    Strings log;
    std::vector<int> errors;
};

// The close's last pass leaves mask 0, so the close raises none of the earlier events again.
TEST_F(LineEventTest, StatusEventsReachTheirOwnHandlersInAFixedOrderAndNotAgainOnClose) {
    port.MonitorEvents.Include(evRxEventChar);
    RecordAllEvents();
    port.OpenPort();

    plat::SetLastError(77); // the error handler reports the GUI thread's code at that moment
    RaiseAndServe(plat::EV_ERR | plat::EV_BREAK, 2);
    EXPECT_EQ(log, (Strings{"Break", "Error"}));
    EXPECT_EQ(errors, (std::vector<int>{77}));
    RaiseAndServe(0x01FF, 9);
    EXPECT_EQ(log,
              (Strings{"CTS", "DCD", "DSR", "Ring", "RxD", "RxEvent", "TxD", "Break", "Error"}));
    for (const LineSignal& signal : LineSignals) { // each alone reaches its own handler only
        RaiseAndServe(signal.bit, 1);
        EXPECT_EQ(log, Strings{signal.name});
    }

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
    EXPECT_EQ(Line()->Record().writeCalls, 0);
    EXPECT_EQ(Line()->Record().clearErrorCalls, 0); // held, not spinning on the CTS test
    Line()->modem = plat::MS_CTS_ON;
    Line()->events |= plat::EV_CTS;
    ASSERT_TRUE(WaitWritten("held!"));

    // Leaving the handshake lets held bytes go.
    Line()->modem = 0;
    Line()->events |= plat::EV_CTS;
    ASSERT_TRUE(PumpUntil([&] { return !port.CTS(); }));
    ASSERT_EQ(port.PutString("abc"), 3u);
    Pump(30);
    port.SetComControl(ccNone);
    ASSERT_TRUE(WaitWritten("held!abc"));

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
    Line()->modem = plat::MS_CTS_ON;
    Line()->modemDelayMs = 100;
    port.SetComControl(ccHard);
    port.OpenPort();
    ASSERT_EQ(port.PutString("go"), 2u);
    EXPECT_TRUE(WaitWritten("go"));
}

// The monitored set is the device mask; settings and DTR written while closed reach the device
// at the open; a handshake change keeps the other members.
TEST_F(LineEventTest, OpenAppliesTheLineSettingsToTheDevice) {
    port.OpenPort();
    EXPECT_EQ(Line()->Record().masks.front(), 0x01FDu);
    port.ClosePort();
    port.MonitorEvents = TEventStates{evRxChar, evTxEmpty};
    port.SetBaudRate(cbr57600);
    port.SetParity(paMark);
    port.SetDataBits(7);
    port.SetXoffLim(900);
    port.SetEventChar(0x0D);
    port.SetComControl(ccSoft);
    port.SetDTR(true);
    port.OpenPort();
    const LineRecord rec = Line()->Record();
    const plat::DCB& d = rec.dcb;
    EXPECT_EQ(rec.masks.front(), 0x0005u);
    EXPECT_EQ(
        (std::array<unsigned, 6>{d.Flags, d.BaudRate, d.Parity, d.ByteSize, d.XoffLim, d.EvtChar}),
        (std::array<unsigned, 6>{0x1311, 57600, 3, 7, 900, 0x0D}));
    EXPECT_EQ(rec.escapes, (std::vector<plat::DWORD>{plat::SETDTR, plat::CLRRTS}));
    port.SetComControl(ccNone);
    EXPECT_EQ(Line()->Record().dcb.BaudRate, 57600u);
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
    port.OnClose = {}; // the fixture's close comes after closes has gone
}

} // namespace
