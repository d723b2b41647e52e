// The link through the real port component on a pseudo-terminal, with the recorder simulator
// on the far side: whole requests as the programs run them, and each misbehaviour of the line.
#include "LinkFixture.h"
#include "comm/CommPort.h"
#include "platform/DateTime.h"
#include "support/PortsDir.h"
#include "support/PtyPair.h"

#include <cmath>

namespace {

constexpr int ComNumber = 9;

// The main form's side of the link: its port, its data handler filling the receive buffer, its
// Timer1 (counted in the GUI thread) and the clock choice.
class PortForm : public SerialHost {
public:
    explicit PortForm(int comNumber) {
        CommPort1.Timing.StatusPauseMs = 5;
        CommPort1.Timing.HeldWriteMs = 200;
        CommPort1.Timing.FailPauseMs = 20;
        CommPort1.SetComNumber(comNumber);
        CommPort1.OnDataReceived = [this](TCommPort*, plat::DWORD) { CommPort1DataReceived(); };
    }

    std::uint32_t PutBlock(const std::uint8_t* data, std::uint32_t length) override {
        return CommPort1.PutBlock(data, length);
    }
    ReceiveBuffer& RxBuffer() override { return RxBuffer_; }
    void EnableTimer1() override {
        auto ticks = Timer1Enabled;
        plat::MainThread::Post([ticks] {
            EXPECT_TRUE(plat::MainThread::IsMainThread());
            ++*ticks;
        });
    }
    bool RadioButton1Checked() const override { return RadioButton1.load(); }

    TCommPort CommPort1;
    std::shared_ptr<int> Timer1Enabled = std::make_shared<int>(0);
    std::atomic<bool> RadioButton1{false};

private:
    void CommPort1DataReceived() {
        std::uint8_t chunk[ReceiveBuffer::Capacity];
        const std::uint32_t n = CommPort1.GetBlock(chunk, sizeof chunk);
        RxBuffer_.Append(chunk, static_cast<std::int32_t>(n));
        CommPort1.FlushInBuffer();
    }

    ReceiveBuffer RxBuffer_;
};

SerialTiming LineTiming() {
    SerialTiming t;
    t.ReplyWait = 200;
    t.ReplyStep = 10;
    t.ResendPause = 100;
    t.StopPause = 5;
    t.StopLockWait = 1000;
    return t;
}

class LinkOverPort : public ::testing::Test {
protected:
    void SetUp() override {
        ports.Link(ComNumber, pty.SlavePath());
        sim.Serve(pty.MasterFd());
        form.CommPort1.SetOpen(true);
        ASSERT_TRUE(form.CommPort1.IsEnabled());
    }
    void MakeLink(SerialRequestSet set) {
        link = std::make_unique<Serial>(log.Handle(), form, set, LineTiming());
    }
    Codes Run(int code, int last) { return RunRequest(*link, log, code, last, 20000); }

    // Destroyed from the bottom up: the link first, then the port, then the far side.
    NotifyLog log;
    PtyPair pty;
    PortsDir ports;
    RecorderSim sim;
    PortForm form{ComNumber};
    std::unique_ptr<Serial> link;
};

} // namespace

TEST_F(LinkOverPort, ParameterAndMeasurementBlocks) {
    MakeLink(SerialRequestSet::Wizard);
    for (int i = 0; i < 21; ++i)
        sim.SetRegister(static_cast<std::uint16_t>(0x0400 + i),
                        static_cast<std::uint16_t>(500 + i));
    for (int k = 0; k < MeasurementCount; ++k)
        sim.SetMeasurement(k, static_cast<float>(k) + 0.25f);
    EXPECT_EQ(Run(2, 2), Codes{2});
    EXPECT_EQ(Run(10, 10), Codes{10});
    EXPECT_EQ(Requests(sim.Frames()),
              (std::vector<Req>{{3, 0x0400, 21}, {3, 0, 123}, {3, 123, 107}}));
    DeviceParams p{};
    link->GetConfig(p);
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ(p[i], 500 + i);
    Measurements m{};
    link->GetMeasurements(m);
    EXPECT_EQ(m[0], 0.25f);
    EXPECT_EQ(m[61], 61.25f); // split across the two requests: registers 122 and 123
    EXPECT_EQ(m[114], 114.25f);
    EXPECT_EQ(*form.Timer1Enabled, 3);
}

TEST_F(LinkOverPort, SetClockFromThePcClock) {
    MakeLink(SerialRequestSet::Service);
    form.RadioButton1 = true;
    link->SetClock({1, 2, 3, 4, 5, 6, 7});
    const auto secondOfDay = [](plat::TDateTime t) {
        return std::llround(std::floor(t * 86400.0)) % 86400;
    };
    const long long before = secondOfDay(plat::Now());
    EXPECT_EQ(Run(6, 6), Codes{6});
    const plat::TDateTime now = plat::Now();
    const auto frames = Requests(sim.Frames());
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0], (Req{6, 0x0402, 4}));
    EXPECT_EQ(frames[1], (Req{6, 0x040E, 0x0506})); // the date the GUI stored
    EXPECT_EQ(frames[2].reg, 0x040A);
    EXPECT_EQ(frames[3], (Req{6, 0x0402, 6}));
    EXPECT_EQ(sim.Register(0x0410), 7);
    // The time frame carries the PC's time of the write; the day of week is kept, not sent.
    const long long written =
        sim.Register(0x040C) * 3600 + sim.Register(0x040B) * 60 + sim.Register(0x040A);
    if (before <= secondOfDay(now)) { // not across midnight
        EXPECT_GE(written, before);
        EXPECT_LE(written, secondOfDay(now));
    }
    DeviceParams p{};
    link->GetConfig(p);
    EXPECT_EQ(p[13], Serial::ClockFromDateTime(now).DayOfWeek);
    EXPECT_EQ(p[2], 6);
    EXPECT_EQ(*form.Timer1Enabled, 4);
}

TEST_F(LinkOverPort, DiagnosticsAndWrites) {
    MakeLink(SerialRequestSet::Service);
    sim.SetDiagnosticWord(0x0312);
    EXPECT_EQ(Run(18, 18), Codes{18});
    DiagnosticValues d;
    link->GetDiagnostics(d);
    EXPECT_EQ(d.DiagWord, 0x0312);
    EXPECT_EQ(d.DiagHigh, 0x03);
    EXPECT_EQ(d.DiagFlags, (std::array<std::uint8_t, 5>{0x10, 0, 0, 0x02, 0}));

    link->SetWriteValues(4242, 11, 1);
    for (int code : {12, 14, 16, 8, 21})
        EXPECT_EQ(Run(code, code), Codes{code});
    EXPECT_EQ(Requests(sim.Frames(), 1),
              (std::vector<Req>{{6, 0x0400, 4242},
                                {6, 0x0402, 7},
                                {0x10, 0x0403, 1},
                                {6, 0x0402, 7}, // word 2 keeps what request 12 stored
                                {6, 0x0402, 4},
                                {6, 0x0402, 8},
                                {6, 0x0402, 8}}));
    EXPECT_EQ(sim.Register(0x0400), 4242);
    EXPECT_EQ(sim.Register(0x0403), 1);
    EXPECT_EQ(sim.BadFrames(), 0);
}

TEST_F(LinkOverPort, EachMisbehaviourGivesItsCodes) {
    MakeLink(SerialRequestSet::Service);
    // The late answer comes in the pause before the resend, apart from the resend's answer.
    sim.SetLateDelay(LineTiming().ReplyWait + LineTiming().ResendPause / 2);
    struct Case {
        SimFault fault;
        bool once; // only the first answer misbehaves
        Codes codes;
    };
    const std::vector<Case> cases = {
        {SimFault::NoReply, false, {3}},
        {SimFault::WrongCrc, false, {103, 3}},
        {SimFault::CrcLowFirst, false, {103, 3}},
        {SimFault::OtherAddress, false, {104, 3}},
        {SimFault::Exception1, false, {101, 3}},
        {SimFault::Exception2, false, {102, 3}},
        {SimFault::Exception4, false, {100, 3}},
        {SimFault::TrailingGarbage, false, {103, 3}},
        // Taken with the resend's answer, the late answer spoils the second test.
        {SimFault::LateReply, true, {103, 3}},
        {SimFault::SplitReply, false, {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        sim.ClearCounts();
        if (c.once)
            sim.QueueFault(c.fault);
        else
            sim.SetPersistentFault(c.fault);
        EXPECT_EQ(Run(2, c.codes.back()), c.codes);
        EXPECT_EQ(sim.FramesReceived(), c.codes.back() == 2 ? 1 : 2);
        // Let a straggling answer land and be taken, so the next case starts clean.
        sim.SetPersistentFault(SimFault::None);
        log.Drain(100);
        std::uint8_t scrap[ReceiveBuffer::Capacity];
        form.RxBuffer().Take(scrap);
    }
    EXPECT_EQ(sim.BadFrames(), 0);
}
