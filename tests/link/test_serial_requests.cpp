// The two request tables: which exchanges each code runs, what it leaves in the parameter block
// and in the recorder, and which result codes come back.
#include "LinkFixture.h"

#include <gtest/gtest.h>

#include <ctime>
#include <memory>

namespace {

class SerialRequests : public ::testing::Test {
protected:
    void MakeLink(SerialRequestSet set) {
        link = std::make_unique<Serial>(log.Handle(), host, set, FastTiming());
    }
    std::vector<int> Run(int code, int expectLast) {
        log.Drain(); // a replaced link's last message must not count for this request
        log.Clear();
        link->PostCommand(static_cast<SerialRequestCode>(code));
        EXPECT_TRUE(log.WaitFor(expectLast));
        return log.Drain();
    }
    // (function, register, value) of each frame sent since the mark.
    struct Sent {
        int function;
        int reg;
        int value;
        bool operator==(const Sent&) const = default;
    };
    std::vector<Sent> SentSince(std::size_t mark) const {
        std::vector<Sent> out;
        const auto all = host.Sent();
        for (std::size_t i = mark; i < all.size(); ++i) {
            const Bytes& f = all[i];
            out.push_back({f[1], (f[2] << 8) | f[3], (f[4] << 8) | f[5]});
        }
        return out;
    }
    void TearDown() override { link.reset(); }

    NotifyLog log;
    RecorderSim sim;
    FakeHost host{sim};
    std::unique_ptr<Serial> link;
};

} // namespace

TEST_F(SerialRequests, CodesOutsideTheSetComeBackWithNothingSent) {
    MakeLink(SerialRequestSet::Service);
    for (int code : {0, 3, 5, 7, 22, 100, -1}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(Run(code, code), (std::vector<int>{code}));
    }
    link = std::make_unique<Serial>(log.Handle(), host, SerialRequestSet::Wizard, FastTiming());
    for (int code : {6, 18, 21}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(Run(code, code), (std::vector<int>{code}));
    }
    EXPECT_EQ(host.PutCalls(), 0);
}

TEST_F(SerialRequests, ParameterAndClockReads) {
    MakeLink(SerialRequestSet::Service);
    for (int i = 0; i < 21; ++i)
        sim.SetRegister(static_cast<std::uint16_t>(0x0400 + i),
                        static_cast<std::uint16_t>(100 + i));
    EXPECT_EQ(Run(2, 2), (std::vector<int>{2}));
    DeviceParams p{};
    link->GetConfig(p);
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ(p[i], 100 + i);

    sim.SetRegister(0x040A, 59);
    sim.SetRegister(0x0410, 30);
    EXPECT_EQ(Run(4, 4), (std::vector<int>{4}));
    EXPECT_EQ(SentSince(1), (std::vector<Sent>{{3, 0x040A, 7}}));
    link->GetConfig(p);
    EXPECT_EQ(p[10], 59);
    EXPECT_EQ(p[16], 30);
    EXPECT_EQ(p[9], 109);

    sim.SetPersistentFault(SimFault::NoReply);
    EXPECT_EQ(Run(4, 5), (std::vector<int>{5}));
    EXPECT_EQ(Run(2, 3), (std::vector<int>{3}));
    link->GetConfig(p);
    EXPECT_EQ(p[0], 100); // a failed read leaves the block as it was
}

TEST_F(SerialRequests, MeasurementsInTwoReads) {
    MakeLink(SerialRequestSet::Service);
    sim.SetMeasurement(0, 1.0f);
    sim.SetMeasurement(114, 2.5f);
    EXPECT_EQ(Run(10, 10), (std::vector<int>{10}));
    EXPECT_EQ(SentSince(0), (std::vector<Sent>{{3, 0, 123}, {3, 123, 107}}));
    Measurements m{};
    link->GetMeasurements(m);
    EXPECT_EQ(m[0], 1.0f);
    EXPECT_EQ(m[114], 2.5f);

    // The second read fails: the first block is new, the second keeps the old values.
    sim.SetMeasurement(0, 3.0f);
    sim.SetMeasurement(114, 4.0f);
    sim.QueueFault(SimFault::None);
    sim.QueueFault(SimFault::Exception4, 2);
    EXPECT_EQ(Run(10, 11), (std::vector<int>{100, 11}));
    link->GetMeasurements(m);
    EXPECT_EQ(m[0], 3.0f);
    EXPECT_EQ(m[114], 2.5f);
}

TEST_F(SerialRequests, SetClockWithTypedValues) {
    MakeLink(SerialRequestSet::Service);
    link->SetClock({5, 6, 7, 3, 8, 9, 24});
    EXPECT_EQ(Run(6, 6), (std::vector<int>{6}));
    const auto sent = SentSince(0);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0], (Sent{6, 0x0402, 4}));
    EXPECT_EQ(sent[1].reg, 0x040E);
    EXPECT_EQ(sent[2].reg, 0x040A);
    EXPECT_EQ(sent[3], (Sent{6, 0x0402, 6}));
    EXPECT_EQ(sim.Register(0x040A), 5);
    EXPECT_EQ(sim.Register(0x040B), 6);
    EXPECT_EQ(sim.Register(0x040C), 7);
    EXPECT_EQ(sim.Register(0x040E), 8);
    EXPECT_EQ(sim.Register(0x040F), 9);
    EXPECT_EQ(sim.Register(0x0410), 24);
    EXPECT_EQ(sim.Register(0x0402), 6);
    DeviceParams p{};
    link->GetConfig(p);
    EXPECT_EQ(p[2], 6);
    EXPECT_EQ(p[13], 3);
}

TEST_F(SerialRequests, SetClockFromThePcClock) {
    MakeLink(SerialRequestSet::Service);
    host.SetRadioButton1(true);
    link->SetClock({0, 0, 0, 1, 1, 1, 1}); // the date typed by the GUI: 01.01.2001
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(Run(6, 6), (std::vector<int>{6}));
    const std::time_t after = std::time(nullptr);

    EXPECT_EQ(sim.Register(0x040E), 1);
    EXPECT_EQ(sim.Register(0x040F), 1);
    EXPECT_EQ(sim.Register(0x0410), 1);
    // The time frame carries the PC's time at the write.
    std::tm written{};
    std::tm lo{};
    localtime_r(&before, &lo);
    written = lo;
    written.tm_sec = sim.Register(0x040A);
    written.tm_min = sim.Register(0x040B);
    written.tm_hour = sim.Register(0x040C);
    written.tm_isdst = -1;
    const std::time_t t = std::mktime(&written);
    EXPECT_TRUE(t >= before && t <= after) << t - before;

    DeviceParams p{};
    link->GetConfig(p);
    std::tm now{};
    localtime_r(&after, &now);
    EXPECT_EQ(p[13], now.tm_wday == 0 ? 7 : now.tm_wday);
    EXPECT_EQ(p[16], now.tm_year + 1900 - 2000);
}

TEST(SerialClock, DayOfWeekMapping) {
    std::tm t{};
    t.tm_year = 2025 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 16; // a Sunday
    t.tm_wday = 0;
    t.tm_hour = 23;
    t.tm_min = 59;
    t.tm_sec = 58;
    ClockRecord c = Serial::ClockFromLocalTime(t);
    EXPECT_EQ(c.DayOfWeek, 7);
    EXPECT_EQ(c.Day, 16);
    EXPECT_EQ(c.Month, 3);
    EXPECT_EQ(c.Year, 25);
    EXPECT_EQ(c.Hour, 23);
    EXPECT_EQ(c.Minute, 59);
    EXPECT_EQ(c.Second, 58);
    t.tm_wday = 1; // Monday
    EXPECT_EQ(Serial::ClockFromLocalTime(t).DayOfWeek, 1);
    t.tm_wday = 6; // Saturday
    EXPECT_EQ(Serial::ClockFromLocalTime(t).DayOfWeek, 6);
}

TEST_F(SerialRequests, SetClockStopsAtTheFirstFailure) {
    MakeLink(SerialRequestSet::Service);
    link->SetWriteValues(0, 9, 0);
    sim.SetPersistentFault(SimFault::NoReply);
    EXPECT_EQ(Run(6, 7), (std::vector<int>{7}));
    EXPECT_EQ(SentSince(0), (std::vector<Sent>{{6, 0x0402, 4}, {6, 0x0402, 4}}));
    DeviceParams p{};
    link->GetConfig(p);
    EXPECT_EQ(p[2], 4);
}

TEST_F(SerialRequests, CommandWritesOfTheServiceProgram) {
    MakeLink(SerialRequestSet::Service);
    EXPECT_EQ(Run(8, 8), (std::vector<int>{8}));
    EXPECT_EQ(SentSince(0), (std::vector<Sent>{{6, 0x0402, 4}, {6, 0x0402, 8}}));

    link->SetWriteValues(0xBEEF, 3, 2);
    std::size_t mark = host.Sent().size();
    EXPECT_EQ(Run(12, 12), (std::vector<int>{12}));
    EXPECT_EQ(SentSince(mark), (std::vector<Sent>{{6, 0x0400, 0xBEEF}, {6, 0x0402, 7}}));
    EXPECT_EQ(sim.Register(0x0400), 0xBEEF);

    mark = host.Sent().size();
    EXPECT_EQ(Run(14, 14), (std::vector<int>{14}));
    EXPECT_EQ(SentSince(mark), (std::vector<Sent>{{0x10, 0x0403, 1}}));
    EXPECT_EQ(sim.Register(0x0403), 2);

    link->SetWriteValues(0, 11, 0);
    mark = host.Sent().size();
    EXPECT_EQ(Run(16, 16), (std::vector<int>{16}));
    EXPECT_EQ(SentSince(mark), (std::vector<Sent>{{6, 0x0402, 11}}));

    sim.SetPersistentFault(SimFault::Exception1);
    EXPECT_EQ(Run(8, 9), (std::vector<int>{101, 9}));
    EXPECT_EQ(Run(12, 13), (std::vector<int>{101, 13}));
    EXPECT_EQ(Run(14, 15), (std::vector<int>{101, 15}));
    EXPECT_EQ(Run(16, 17), (std::vector<int>{101, 17}));
}

TEST_F(SerialRequests, RequestTwentyOneAlwaysReportsTwentyOne) {
    MakeLink(SerialRequestSet::Service);
    link->SetWriteValues(0, 11, 0);
    EXPECT_EQ(Run(21, 21), (std::vector<int>{21}));
    EXPECT_EQ(sim.Register(0x0402), 11);
    sim.SetPersistentFault(SimFault::OtherAddress);
    EXPECT_EQ(Run(21, 21), (std::vector<int>{104, 21}));
    host.SetClosed(true);
    EXPECT_EQ(Run(21, 21), (std::vector<int>{21}));
}

TEST_F(SerialRequests, Diagnostics) {
    MakeLink(SerialRequestSet::Service);
    sim.SetDiagnosticWord(0x2A1D);
    EXPECT_EQ(Run(18, 18), (std::vector<int>{18}));
    DiagnosticValues d;
    link->GetDiagnostics(d);
    EXPECT_EQ(d.DiagWord, 0x2A1D);
    EXPECT_EQ(d.DiagHigh, 0x2A);
    EXPECT_EQ(d.DiagFlags, (std::array<std::uint8_t, 5>{0x10, 0x08, 0x04, 0x00, 0x01}));

    sim.SetPersistentFault(SimFault::NoReply);
    EXPECT_EQ(Run(18, 20), (std::vector<int>{20}));
    sim.SetPersistentFault(SimFault::WrongCrc);
    EXPECT_EQ(Run(18, 20), (std::vector<int>{103, 20}));
    link->GetDiagnostics(d);
    EXPECT_EQ(d.DiagWord, 0x2A1D); // kept from the last good reply
}

TEST_F(SerialRequests, WizardCommandAndIdentity) {
    MakeLink(SerialRequestSet::Wizard);
    sim.SetRegister(0x0400, 2345);
    sim.SetRegister(0x0401, 0x0310);
    EXPECT_EQ(Run(2, 2), (std::vector<int>{2}));
    EXPECT_EQ(link->GetSerialNumber(), 2345);
    EXPECT_EQ(link->GetFirmwareVersion(), 0x0310);
    const std::size_t mark = host.Sent().size();
    EXPECT_EQ(Run(8, 8), (std::vector<int>{8}));
    EXPECT_EQ(SentSince(mark), (std::vector<Sent>{{6, 0x0402, 5}}));
    EXPECT_EQ(sim.Register(0x0402), 5);
}

TEST_F(SerialRequests, WizardDoubleExchangeParameterRead) {
    MakeLink(SerialRequestSet::Wizard);
    sim.SetRegister(0x0400, 77);
    EXPECT_EQ(Run(22, 22), (std::vector<int>{22}));
    EXPECT_EQ(host.SentCount(), 1);

    // The first exchange fails at both tests, the second whole exchange succeeds.
    sim.QueueFault(SimFault::WrongCrc, 2);
    EXPECT_EQ(Run(22, 22), (std::vector<int>{103, 22}));
    EXPECT_EQ(host.SentCount(), 1 + 3);

    // Both exchanges fail: a link-error code after each, then 3.
    sim.SetPersistentFault(SimFault::Exception2);
    EXPECT_EQ(Run(22, 3), (std::vector<int>{102, 102, 3}));
    EXPECT_EQ(host.SentCount(), 4 + 4);

    sim.SetPersistentFault(SimFault::NoReply);
    EXPECT_EQ(Run(22, 3), (std::vector<int>{3}));
    EXPECT_EQ(host.SentCount(), 8 + 4);

    // The service program's read tries only once.
    link = std::make_unique<Serial>(log.Handle(), host, SerialRequestSet::Service, FastTiming());
    EXPECT_EQ(Run(2, 3), (std::vector<int>{3}));
    EXPECT_EQ(host.SentCount(), 12 + 2);
}
