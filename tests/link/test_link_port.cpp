// The link through the real port component on a pseudo-terminal, with the recorder simulator
// on the far side: whole requests as the programs run them, and each misbehaviour of the line.
#include "LinkFixture.h"
#include "comm/CommPort.h"
#include "support/PortsDir.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>

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

    void OpenPort() {
        CommPort1.Open = false;
        CommPort1.SetOpen(true);
    }
    void ClosePort() {
        CommPort1.Open = true;
        CommPort1.SetOpen(false);
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
        form.OpenPort();
        ASSERT_TRUE(form.CommPort1.IsEnabled());
    }
    void TearDown() override {
        link.reset();
        form.ClosePort();
        sim.Stop();
    }
    void MakeLink(SerialRequestSet set) {
        link = std::make_unique<Serial>(log.Handle(), form, set, LineTiming());
    }
    std::vector<int> Run(int code, int expectLast) {
        log.Drain();
        log.Clear();
        link->PostCommand(static_cast<SerialRequestCode>(code));
        EXPECT_TRUE(log.WaitFor(expectLast, 20000));
        return log.Drain();
    }

    NotifyLog log;
    PtyPair pty;
    PortsDir ports;
    RecorderSim sim;
    PortForm form{ComNumber};
    std::unique_ptr<Serial> link;
};

} // namespace

TEST_F(LinkOverPort, ParameterBlock) {
    MakeLink(SerialRequestSet::Service);
    for (int i = 0; i < 21; ++i)
        sim.SetRegister(static_cast<std::uint16_t>(0x0400 + i),
                        static_cast<std::uint16_t>(500 + i));
    EXPECT_EQ(Run(2, 2), (std::vector<int>{2}));
    DeviceParams p{};
    link->GetConfig(p);
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ(p[i], 500 + i);
    EXPECT_EQ(sim.FramesReceived(), 1);
    EXPECT_EQ(sim.BadFrames(), 0);
    EXPECT_EQ(*form.Timer1Enabled, 1);
}

TEST_F(LinkOverPort, MeasurementBlockInTwoRequests) {
    MakeLink(SerialRequestSet::Wizard);
    for (int k = 0; k < MeasurementCount; ++k)
        sim.SetMeasurement(k, static_cast<float>(k) + 0.25f);
    sim.SetMeasurement(110, 0.0215f);
    EXPECT_EQ(Run(10, 10), (std::vector<int>{10}));
    const auto frames = sim.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x7B, 0x5A, frames[0][7],
                                frames[0][8], frames[0][7], frames[0][8]}));
    EXPECT_EQ(frames[1][3], 123);
    EXPECT_EQ(frames[1][5], 107);
    Measurements m{};
    link->GetMeasurements(m);
    EXPECT_EQ(m[0], 0.25f);
    EXPECT_EQ(m[61], 61.25f); // split across the two requests: registers 122 and 123
    EXPECT_EQ(m[114], 114.25f);
    float duration = 0;
    float level = 0;
    link->GetEventResults(false, duration, level);
    EXPECT_EQ(duration, 22.0f);
    EXPECT_EQ(level, 111.25f);
}

TEST_F(LinkOverPort, SetClockFromThePcClock) {
    MakeLink(SerialRequestSet::Service);
    form.RadioButton1 = true;
    link->SetClock({1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(Run(6, 6), (std::vector<int>{6}));
    EXPECT_EQ(sim.FramesReceived(6), 4);
    EXPECT_EQ(sim.Register(0x0402), 6);
    EXPECT_EQ(sim.Register(0x040E), 5); // the typed date
    EXPECT_EQ(sim.Register(0x040F), 6);
    EXPECT_EQ(sim.Register(0x0410), 7);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    DeviceParams p{};
    link->GetConfig(p);
    EXPECT_EQ(p[13], local.tm_wday == 0 ? 7 : local.tm_wday); // Sunday 7, Monday 1
    EXPECT_EQ(sim.Register(0x040C), p[12]);
    EXPECT_EQ(sim.Register(0x040B), p[11]);
    EXPECT_EQ(*form.Timer1Enabled, 4);
}

TEST_F(LinkOverPort, DiagnosticsAndWrites) {
    MakeLink(SerialRequestSet::Service);
    sim.SetDiagnosticWord(0x0312);
    EXPECT_EQ(Run(18, 18), (std::vector<int>{18}));
    DiagnosticValues d;
    link->GetDiagnostics(d);
    EXPECT_EQ(d.DiagHigh, 0x03);
    EXPECT_EQ(d.DiagFlags, (std::array<std::uint8_t, 5>{0x10, 0, 0, 0x02, 0}));

    link->SetWriteValues(4242, 3, 1);
    EXPECT_EQ(Run(12, 12), (std::vector<int>{12}));
    EXPECT_EQ(sim.Register(0x0400), 4242);
    EXPECT_EQ(sim.Register(0x0402), 7);
    EXPECT_EQ(Run(14, 14), (std::vector<int>{14}));
    EXPECT_EQ(sim.Register(0x0403), 1);
    link->SetWriteValues(4242, 11, 1);
    EXPECT_EQ(Run(16, 16), (std::vector<int>{16}));
    EXPECT_EQ(sim.Register(0x0402), 11);
    EXPECT_EQ(Run(8, 8), (std::vector<int>{8}));
    EXPECT_EQ(sim.Register(0x0402), 8);
    EXPECT_EQ(sim.BadFrames(), 0);
}

TEST_F(LinkOverPort, EachMisbehaviourGivesItsCodes) {
    MakeLink(SerialRequestSet::Service);
    // The late answer comes in the pause before the resend, apart from the resend's answer.
    sim.SetLateDelay(LineTiming().ReplyWait + LineTiming().ResendPause / 2);
    struct Case {
        SimFault fault;
        bool once; // only the first answer misbehaves
        std::vector<int> codes;
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
        // Let a late answer land and be taken, so the next case starts clean.
        sim.SetPersistentFault(SimFault::None);
        log.Drain(150);
        std::uint8_t scrap[ReceiveBuffer::Capacity];
        form.RxBuffer().Take(scrap);
    }
    EXPECT_EQ(sim.BadFrames(), 0);
}

TEST_F(LinkOverPort, OneBadTestIsRecoveredByTheResend) {
    MakeLink(SerialRequestSet::Wizard);
    sim.SetRegister(0x0400, 808);
    sim.QueueFault(SimFault::WrongCrc);
    EXPECT_EQ(Run(2, 2), (std::vector<int>{2}));
    EXPECT_EQ(link->GetSerialNumber(), 808);
    sim.QueueFault(SimFault::Exception2, 2);
    EXPECT_EQ(Run(22, 22), (std::vector<int>{102, 22}));
    EXPECT_EQ(sim.FramesReceived(), 2 + 3);
}

TEST_F(LinkOverPort, ClosedPortFailsWithoutWaiting) {
    MakeLink(SerialRequestSet::Service);
    form.ClosePort();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(10, 11), (std::vector<int>{11}));
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(LineTiming().ReplyWait));
    EXPECT_EQ(sim.FramesReceived(), 0);
    // Reopened, the same request goes through.
    form.OpenPort();
    EXPECT_EQ(Run(10, 10), (std::vector<int>{10}));
}
