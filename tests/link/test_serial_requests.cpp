// The two request tables: which exchanges each code runs, what it leaves in the parameter block
// and the measurements, and which result codes come back.
#include "LinkFixture.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace {

std::uint32_t Bits(float f) {
    std::uint32_t b = 0;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

} // namespace

TEST_F(LinkTest, CodesOutsideTheSetComeBackWithNothingSent) {
    MakeLink(SerialRequestSet::Service);
    for (int code : {0, 3, 5, 22, 100, -1})
        EXPECT_EQ(Run(code, code), Codes{code});
    MakeLink(SerialRequestSet::Wizard);
    for (int code : {6, 18, 21})
        EXPECT_EQ(Run(code, code), Codes{code});
    EXPECT_TRUE(host.Sent().empty());
}

TEST_F(LinkTest, FailureCodeOfEveryRequest) {
    sim.SetPersistentFault(SimFault::Exception1);
    const std::pair<int, int> service[] = {{2, 3},   {4, 5},   {6, 7},   {8, 9},   {10, 11},
                                           {12, 13}, {14, 15}, {16, 17}, {18, 20}, {21, 21}};
    MakeLink(SerialRequestSet::Service);
    for (auto [code, failed] : service)
        EXPECT_EQ(Run(code, failed), (Codes{101, failed})) << code;
}

// The clock read refreshes words 10-16 only; a failed read, or a failed second block of the
// measurements, leaves the earlier values as they were.
TEST_F(LinkTest, PartialAndFailedReadsKeepTheOtherValues) {
    MakeLink();
    sim.SetRegister(0x0400, 100);
    sim.SetRegister(0x0409, 9);
    sim.SetMeasurement(0, 1.0f);
    sim.SetMeasurement(114, 2.5f);
    EXPECT_EQ(Run(2, 2), Codes{2});
    EXPECT_EQ(Run(10, 10), Codes{10});
    sim.SetRegister(0x0409, 109);
    sim.SetRegister(0x040A, 59);
    sim.SetRegister(0x0410, 30);
    EXPECT_EQ(Run(4, 4), Codes{4});
    const DeviceParams p = Config();
    EXPECT_EQ((std::array{p[9], p[10], p[16]}), (std::array<std::uint16_t, 3>{9, 59, 30}));

    sim.SetRegister(0x0400, 1);
    sim.SetMeasurement(0, 3.0f);
    sim.SetMeasurement(114, 4.0f);
    sim.QueueFault(SimFault::NoReply, 2);
    EXPECT_EQ(Run(2, 3), Codes{3});
    EXPECT_EQ(link->GetSerialNumber(), 100);
    sim.QueueFault(SimFault::None);
    sim.QueueFault(SimFault::NoReply, 2);
    EXPECT_EQ(Run(10, 11), Codes{11});
    EXPECT_EQ(Values()[0], 3.0f);
    EXPECT_EQ(Values()[114], 2.5f);
}

TEST_F(LinkTest, SetClockStopsAtTheFirstFailure) {
    MakeLink();
    link->SetWriteValues(0, 9, 0);
    sim.SetPersistentFault(SimFault::NoReply);
    EXPECT_EQ(Run(6, 7), Codes{7});
    EXPECT_EQ(Requests(host.Sent()), (std::vector<Req>{{6, 0x0402, 4}, {6, 0x0402, 4}}));
    EXPECT_EQ(Config()[2], 4); // stored before the write, kept after its failure
}

// Request 22 tries the whole read twice: a link-error code after each failed exchange.
TEST_F(LinkTest, WizardIdentityCommandAndDoubleParameterRead) {
    MakeLink(SerialRequestSet::Wizard);
    sim.SetRegister(0x0400, 2345);
    sim.SetRegister(0x0401, 0x0310);
    EXPECT_EQ(Run(2, 2), Codes{2});
    EXPECT_EQ(link->GetSerialNumber(), 2345);
    EXPECT_EQ(link->GetFirmwareVersion(), 0x0310);
    EXPECT_EQ(Run(8, 8), Codes{8});
    EXPECT_EQ(Requests(host.Sent(), 1), (std::vector<Req>{{6, 0x0402, 5}}));
    EXPECT_EQ(Run(22, 22), Codes{22});
    EXPECT_EQ(host.Sent().size(), 3u);
    sim.QueueFault(SimFault::WrongCrc, 2); // the first exchange fails at both tests
    EXPECT_EQ(Run(22, 22), (Codes{103, 22}));
    EXPECT_EQ(host.Sent().size(), 3u + 3);
    sim.SetPersistentFault(SimFault::Exception2);
    EXPECT_EQ(Run(22, 3), (Codes{102, 102, 3}));
    EXPECT_EQ(host.Sent().size(), 6u + 4);
}

TEST(SerialClock, DayOfWeekCountsFromMonday) {
    const plat::TDateTime sunday = plat::EncodeDate(2025, 3, 16) + plat::EncodeTime(23, 59, 58, 0);
    const ClockRecord c = Serial::ClockFromDateTime(sunday);
    EXPECT_EQ((std::array{c.Second, c.Minute, c.Hour, c.DayOfWeek, c.Day, c.Month, c.Year}),
              (std::array<std::uint16_t, 7>{58, 59, 23, 7, 16, 3, 25}));
    EXPECT_EQ(Serial::ClockFromDateTime(sunday + 1).DayOfWeek, 1);
    EXPECT_EQ(Serial::ClockFromDateTime(sunday - 1).DayOfWeek, 6);
}

TEST(SerialRoundTo, HalvesNegativesAndNonFinite) {
    EXPECT_EQ(Serial::RoundTo(2.675f, 2), 2.67f); // the single lies below 2.675
    EXPECT_EQ(Serial::RoundTo(1.235f, 2), 1.24f);
    // A negative value rounds as its magnitude does, and never to -0.
    EXPECT_EQ(Serial::RoundTo(-1.234f, 2), -1.23f);
    EXPECT_EQ(Serial::RoundTo(-1.235f, 2), -1.24f);
    EXPECT_FALSE(std::signbit(Serial::RoundTo(-0.001f, 2)));
    const float qnan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(Bits(Serial::RoundTo(qnan, 2)), Bits(qnan));
    EXPECT_EQ(Serial::RoundTo(-inf, 3), -inf);
}

// Registers 2k, 2k + 1 hold value k; each is rounded to its own number of decimals.
TEST_F(LinkTest, MeasurementsDecodedAndRounded) {
    MakeLink(SerialRequestSet::Wizard);
    for (int k = 0; k < MeasurementCount; ++k)
        sim.SetMeasurement(k, 1.23456f);
    sim.SetMeasurementBits(0, 0x7FC00000); // NaN
    sim.SetMeasurementBits(1, 0x3F800000); // 1.0
    sim.SetMeasurement(50, 50.25f);
    sim.SetMeasurement(105, -1.235f);
    sim.SetMeasurement(110, 0.0215f); // a dip of 0.022 s after rounding
    sim.SetMeasurement(113, 1.5f);
    ASSERT_EQ(Run(10, 10), Codes{10});
    const Measurements m = Values();
    EXPECT_EQ(Bits(m[0]), 0x7FC00000u);
    EXPECT_EQ(m[1], 1.0f);
    EXPECT_EQ((std::array{m[2], m[101], m[102], m[104], m[109], m[112], m[114]}),
              (std::array{1.23f, 1.23f, 1.23456f, 1.235f, 1.23456f, 1.23456f, 1.235f}));

    float du = 0, df = 0, duration = 0, level = 0;
    std::array<float, 51> harmonics{}, second{};
    link->GetSignalResults(du, df, harmonics, second);
    EXPECT_EQ((std::array{du, df, harmonics[50], second[0]}),
              (std::array{-1.24f, 1.235f, 50.25f, 1.23f}));
    link->GetEventResults(false, duration, level);
    EXPECT_EQ(duration, 22.0f);
    EXPECT_EQ(level, 1.235f);
    link->GetEventResults(true, duration, level);
    EXPECT_EQ(duration, 1500.0f);
}
