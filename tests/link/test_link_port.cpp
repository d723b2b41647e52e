// The link through the real port component on a pseudo-terminal, with the recorder simulator
// on the far side: whole requests as the programs run them, and each misbehaviour of the line.
#include "LinkFixture.h"
#include "comm/CommPort.h"
#include "platform/DateTime.h"
#include "support/PortsDir.h"
#include "support/PtyPair.h"

#include <chrono>
#include <cmath>

namespace {

constexpr int ComNumber = 9;
// The recorder's own reply wait as the longest, ended as soon as the simulator's answer is held.
SerialTiming LineTiming(RecorderSim& sim) {
    SerialTiming timing{3000, 10, 100, 5, 1000};
    timing.ReplyComplete = sim.ReplyHook();
    return timing;
}

// The main form's side of the link: its port, its data handler filling the receive buffer, its
// Timer1 (counted in the GUI thread) and the clock choice.
struct PortForm : SerialHost {
    PortForm() {
        CommPort1.Timing = {5, 200, 20};
        CommPort1.SetComNumber(ComNumber);
        CommPort1.OnDataReceived = [this](TCommPort*, plat::DWORD) {
            Rx.AppendFrom(
                [this](std::uint8_t* to, std::uint32_t n) { return CommPort1.GetBlock(to, n); },
                Chunk, CommPort1.InBuffUsed());
        };
    }
    std::uint32_t PutBlock(const std::uint8_t* data, std::uint32_t length) override {
        return CommPort1.PutBlock(data, length);
    }
    ReceiveBuffer& RxBuffer() override { return Rx; }
    void EnableTimer1() override {
        plat::MainThread::Post([t = Timer1Enabled] { ++*t; });
    }
    bool RadioButton1Checked() const override { return RadioButton1; }

    TCommPort CommPort1;
    ReceiveBuffer Rx;
    std::uint8_t Chunk[ReceiveBuffer::Capacity] = {};
    std::shared_ptr<int> Timer1Enabled = std::make_shared<int>(0);
    std::atomic<bool> RadioButton1{false};
};

class LinkOverPort : public ::testing::Test {
protected:
    void SetUp() override {
        ports.Link(ComNumber, pty.SlavePath());
        sim.Serve(pty.MasterFd());
        form.CommPort1.SetOpen(true);
        ASSERT_TRUE(form.CommPort1.IsEnabled());
        link = std::make_unique<Serial>(log.Handle(), form, SerialRequestSet::Service,
                                        LineTiming(sim));
    }
    Codes Run(int code, int last) { return RunRequest(*link, log, code, last, 20000); }

    // Destroyed from the bottom up: the link first, then the port, then the far side.
    NotifyLog log;
    PtyPair pty;
    PortsDir ports;
    RecorderSim sim;
    PortForm form;
    std::unique_ptr<Serial> link;
};

long long SecondOfDay(plat::TDateTime t) {
    return std::llround(std::floor(t * 86400.0)) % 86400;
}

} // namespace

TEST_F(LinkOverPort, RequestsOfTheServiceProgram) {
    for (int i = 0; i < 21; ++i)
        sim.SetRegister(static_cast<std::uint16_t>(0x0400 + i),
                        static_cast<std::uint16_t>(500 + i));
    for (int k = 0; k < MeasurementCount; ++k)
        sim.SetMeasurement(k, static_cast<float>(k) + 0.25f);
    sim.SetDiagnosticWord(0x0312);
    for (int code : {2, 10, 18})
        EXPECT_EQ(Run(code, code), Codes{code});
    DeviceParams p{};
    link->GetConfig(p);
    EXPECT_EQ(p[0] + p[20], 500 + 520);
    Measurements m{};
    link->GetMeasurements(m);
    // Value 61 is split across the two reads: registers 122 and 123.
    EXPECT_EQ((std::array{m[0], m[61], m[114]}), (std::array{0.25f, 61.25f, 114.25f}));
    DiagnosticValues d;
    link->GetDiagnostics(d);
    EXPECT_EQ(d.DiagWord, 0x0312);
    EXPECT_EQ(d.DiagHigh, 0x03);
    EXPECT_EQ(d.DiagFlags, (std::array<std::uint8_t, 5>{0x10, 0, 0, 0x02, 0}));

    link->SetWriteValues(4242, 11, 1);
    for (int code : {12, 14, 16, 8, 21})
        EXPECT_EQ(Run(code, code), Codes{code});
    // The time frame carries the PC's time of the write, not the time stored at the click;
    // the day of week is kept, not sent.
    form.RadioButton1 = true;
    ClockRecord click = Serial::ClockFromDateTime(plat::Now());
    click.Second = 1;
    click.Minute = 2;
    click.Hour = 3;
    click.DayOfWeek = 0;
    link->SetClock(click);
    EXPECT_EQ(Run(6, 6), Codes{6});
    const plat::TDateTime now = plat::Now();
    const long long written =
        sim.Register(0x040C) * 3600 + sim.Register(0x040B) * 60 + sim.Register(0x040A);
    EXPECT_LE((SecondOfDay(now) - written + 86400) % 86400, 2);
    EXPECT_EQ(sim.Register(0x0410), click.Year);
    link->GetConfig(p);
    EXPECT_EQ(p[13], Serial::ClockFromDateTime(now).DayOfWeek);

    auto frames = Requests(sim.Frames());
    ASSERT_EQ(frames.size(), 15u);
    frames[13][2] = 0; // the time
    // Request 14 leaves word 2 as request 12 stored it; request 6 writes the date the GUI stored.
    EXPECT_EQ(frames, (std::vector<Req>{{3, 0x0400, 21},
                                        {3, 0, 123},
                                        {3, 123, 107},
                                        {8, 2, 0xD1D2},
                                        {6, 0x0400, 4242},
                                        {6, 0x0402, 7},
                                        {0x10, 0x0403, 1},
                                        {6, 0x0402, 7},
                                        {6, 0x0402, 4},
                                        {6, 0x0402, 8},
                                        {6, 0x0402, 8},
                                        {6, 0x0402, 4},
                                        {6, 0x040E, (click.Day << 8) | click.Month},
                                        {6, 0x040A, 0},
                                        {6, 0x0402, 6}}));
    EXPECT_EQ(sim.Register(0x0400), 4242);
    EXPECT_EQ(sim.Register(0x0403), 1);
    EXPECT_EQ(sim.BadFrames(), 0);
    EXPECT_EQ(*form.Timer1Enabled, 15);
}

TEST_F(LinkOverPort, EachMisbehaviourGivesItsCodes) {
    struct Case {
        SimFault fault;
        bool once; // only the first answer misbehaves
        Codes codes;
    };
    const Case cases[] = {
        {SimFault::NoReply, false, {3}},
        {SimFault::WrongCrc, false, {103, 3}},
        {SimFault::Exception4, false, {100, 3}},
        {SimFault::TrailingGarbage, false, {103, 3}},
        // Held back until the resend, the late answer comes just before the resend's answer:
        // the first test finds nothing and the second takes both.
        {SimFault::HeldReply, true, {103, 3}},
        // A cut-off reply is no reply: the words read before stay.
        {SimFault::ShortReply, false, {3}},
        {SimFault::SplitReply, false, {2}},
    };
    sim.SetRegister(0x0400, 4242);
    ASSERT_EQ(Run(2, 2), Codes{2});
    sim.SetRegister(0x0400, 77);
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        sim.ClearCounts();
        if (c.once)
            sim.QueueFault(c.fault);
        else
            sim.SetPersistentFault(c.fault);
        EXPECT_EQ(Run(2, c.codes.back()), c.codes);
        EXPECT_EQ(sim.FramesReceived(), c.codes.back() == 2 ? 1 : 2);
        EXPECT_EQ(ConfigOf(*link)[0], c.codes.back() == 2 ? 77 : 4242);
        // Let a straggling answer land and be taken, so the next case starts clean.
        sim.SetPersistentFault(SimFault::None);
        log.Drain(100);
        std::uint8_t scrap[ReceiveBuffer::Capacity];
        form.Rx.Take(scrap);
    }
    EXPECT_EQ(sim.BadFrames(), 0);
}

// A recorder that answers each request after the first test but before the resend's, as one
// 3.2 s late does against the 3000 ms wait: every read takes the answer to its first send at
// its second test, and the answer to its resend, coming during the next read, is no answer to
// that one. Each round the recorder holds new values, so a stale answer would show.
TEST_F(LinkOverPort, ALateRecorderGivesEachReadItsOwnValuesOrItsFailure) {
    link.reset();
    link = std::make_unique<Serial>(log.Handle(), form, SerialRequestSet::Service,
                                    SerialTiming{400, 10, 400, 5, 1000});
    sim.SetLateDelay(600);
    sim.SetPersistentFault(SimFault::LateReply);
    int succeeded = 0;
    for (int round = 1; int code : {2, 10, 4}) {
        SCOPED_TRACE(code);
        for (int i = 0; i < 21; ++i)
            sim.SetRegister(static_cast<std::uint16_t>(0x0400 + i),
                            static_cast<std::uint16_t>(100 * round + i));
        for (int k = 0; k < MeasurementCount; ++k)
            sim.SetMeasurement(k, static_cast<float>(1000 * round + k) + 0.25f);
        log.Drain();
        link->PostCommand(static_cast<SerialRequestCode>(code));
        ASSERT_TRUE(log.WaitFor({code, code + 1}, 20000));
        const Codes codes = log.Drain();
        if (codes.back() == code) {
            ++succeeded;
            const DeviceParams p = ConfigOf(*link);
            const Measurements m = ValuesOf(*link);
            const int word = code == 4 ? 10 : 0;
            const float base = static_cast<float>(1000 * round);
            if (code == 10)
                EXPECT_EQ((std::array{m[0], m[61], m[114]}),
                          (std::array{base + 0.25f, base + 61.25f, base + 114.25f}));
            else
                EXPECT_EQ(p[word] + p[word + 6], 2 * 100 * round + 2 * word + 6);
        }
        ++round;
    }
    EXPECT_GE(succeeded, 1);
    // The last resend's answer comes after the run; the next request, to a recorder on time
    // again, is not confused by it and needs no resend.
    log.Drain(800);
    sim.SetPersistentFault(SimFault::None);
    sim.ClearCounts();
    EXPECT_EQ(Run(2, 2), Codes{2});
    EXPECT_EQ(sim.FramesReceived(), 1);
}

// The simulator's pace is real: a 47-byte reply at 9600 baud in 14-byte writes takes its 49 ms on
// the line, and the form collects it whole from the pieces in which it comes (how many the
// handler sees depends on how soon the machine runs it).
TEST_F(LinkOverPort, PacedRepliesTakeTheirLineTimeAndAreCollectedWhole) {
    using Clock = std::chrono::steady_clock;
    sim.SetPace({9600, 14, 0});
    const auto start = Clock::now();
    EXPECT_EQ(Run(2, 2), Codes{2});
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(49));
    EXPECT_EQ(sim.FramesReceived(), 1);
}

namespace {

// A PC clock that moves on 4 s each time it is read, from the click at 23:59:58 on New Year's
// Eve: the refresh before the time frame already falls on the next day (and year).
std::atomic<int> midnightReads{0};
plat::TDateTime ClockFromMidnight() {
    const int seconds = 4 * ++midnightReads;
    return plat::EncodeDate(2026, 12, 31) + plat::EncodeTime(23, 59, 58, 0) + seconds / 86400.0;
}

} // namespace

// The operator sets the PC time just before midnight: the recorder must not keep the old day
// with the new day's time.
TEST_F(LinkOverPort, PcTimeJustBeforeMidnightGivesTheRecorderOneMomentsDateAndTime) {
    SerialTiming timing = LineTiming(sim);
    timing.Clock = ClockFromMidnight;
    link.reset();
    link = std::make_unique<Serial>(log.Handle(), form, SerialRequestSet::Service, timing);
    form.RadioButton1 = true;
    midnightReads = 0;
    link->SetClock(Serial::ClockFromDateTime(plat::EncodeDate(2026, 12, 31) +
                                             plat::EncodeTime(23, 59, 58, 0)));
    EXPECT_EQ(Run(6, 6), Codes{6});
    std::vector<int> recorder;
    for (std::uint16_t reg = 0x040A; reg <= 0x0410; ++reg)
        recorder.push_back(sim.Register(reg));
    // Second, minute, hour, (day of week not written), day, month, year: 1 January 2027,
    // 00:00:06, the moment read after the new date was written.
    EXPECT_EQ(recorder, (std::vector<int>{6, 0, 0, 0, 1, 1, 27}));
    auto frames = Requests(sim.Frames());
    EXPECT_EQ(frames, (std::vector<Req>{{6, 0x0402, 4},
                                        {6, 0x040E, 0x1F0C},
                                        {6, 0x040E, 0x0101},
                                        {6, 0x040A, 0x0600},
                                        {6, 0x0402, 6}}));
    DeviceParams p{};
    link->GetConfig(p);
    EXPECT_EQ(p[13], 5); // a Friday
}
