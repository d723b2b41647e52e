// The two request tables: which exchanges each code runs, what it leaves in the parameter block,
// and which result codes come back.
#include "LinkFixture.h"

#include <utility>

TEST_F(LinkTest, CodesOutsideTheSetComeBackWithNothingSent) {
    MakeLink(SerialRequestSet::Service);
    for (int code : {0, 3, 5, 22, 100, -1})
        EXPECT_EQ(Run(code, code), Codes{code});
    MakeLink(SerialRequestSet::Wizard);
    for (int code : {6, 18, 21})
        EXPECT_EQ(Run(code, code), Codes{code});
    EXPECT_EQ(host.PutCalls(), 0);
}

TEST_F(LinkTest, FailureCodeOfEveryRequest) {
    sim.SetPersistentFault(SimFault::Exception1);
    const std::pair<int, int> service[] = {{2, 3},   {4, 5},   {6, 7},   {8, 9},   {10, 11},
                                           {12, 13}, {14, 15}, {16, 17}, {18, 20}, {21, 21}};
    MakeLink(SerialRequestSet::Service);
    for (auto [code, failed] : service)
        EXPECT_EQ(Run(code, failed), (Codes{101, failed})) << code;
    const std::pair<int, int> wizard[] = {{2, 3},   {4, 5},   {8, 9},  {10, 11},
                                          {12, 13}, {14, 15}, {16, 17}};
    MakeLink(SerialRequestSet::Wizard);
    for (auto [code, failed] : wizard)
        EXPECT_EQ(Run(code, failed), (Codes{101, failed})) << code;
}

TEST_F(LinkTest, ClockReadAndFailedRead) {
    MakeLink();
    sim.SetRegister(0x0400, 100);
    sim.SetRegister(0x0409, 9);
    EXPECT_EQ(Run(2, 2), Codes{2});
    sim.SetRegister(0x0409, 109);
    sim.SetRegister(0x040A, 59);
    sim.SetRegister(0x0410, 30);
    EXPECT_EQ(Run(4, 4), Codes{4});
    EXPECT_EQ(Requests(host.Sent(), 1), (std::vector<Req>{{3, 0x040A, 7}}));
    DeviceParams p{};
    link->GetConfig(p);
    EXPECT_EQ(p[9], 9); // only words 10-16 are read again
    EXPECT_EQ(p[10], 59);
    EXPECT_EQ(p[16], 30);

    sim.SetRegister(0x0400, 1);
    sim.SetPersistentFault(SimFault::NoReply);
    EXPECT_EQ(Run(2, 3), Codes{3});
    EXPECT_EQ(link->GetSerialNumber(), 100); // a failed read leaves the block as it was
}

TEST_F(LinkTest, FailedSecondMeasurementBlockKeepsTheOldValues) {
    MakeLink();
    sim.SetMeasurement(0, 1.0f);
    sim.SetMeasurement(114, 2.5f);
    EXPECT_EQ(Run(10, 10), Codes{10});
    sim.SetMeasurement(0, 3.0f);
    sim.SetMeasurement(114, 4.0f);
    sim.QueueFault(SimFault::None);
    sim.QueueFault(SimFault::NoReply, 2);
    EXPECT_EQ(Run(10, 11), Codes{11});
    Measurements m{};
    link->GetMeasurements(m);
    EXPECT_EQ(m[0], 3.0f);
    EXPECT_EQ(m[114], 2.5f);
}

TEST_F(LinkTest, SetClockStopsAtTheFirstFailure) {
    MakeLink();
    link->SetWriteValues(0, 9, 0);
    sim.SetPersistentFault(SimFault::NoReply);
    EXPECT_EQ(Run(6, 7), Codes{7});
    EXPECT_EQ(Requests(host.Sent()), (std::vector<Req>{{6, 0x0402, 4}, {6, 0x0402, 4}}));
    DeviceParams p{};
    link->GetConfig(p);
    EXPECT_EQ(p[2], 4); // stored before the write, kept after its failure
}

TEST_F(LinkTest, WizardCommandAndIdentity) {
    MakeLink(SerialRequestSet::Wizard);
    sim.SetRegister(0x0400, 2345);
    sim.SetRegister(0x0401, 0x0310);
    EXPECT_EQ(Run(2, 2), Codes{2});
    EXPECT_EQ(link->GetSerialNumber(), 2345);
    EXPECT_EQ(link->GetFirmwareVersion(), 0x0310);
    EXPECT_EQ(Run(8, 8), Codes{8});
    EXPECT_EQ(Requests(host.Sent(), 1), (std::vector<Req>{{6, 0x0402, 5}}));
}

TEST_F(LinkTest, WizardReadsParametersInTwoWholeExchanges) {
    MakeLink(SerialRequestSet::Wizard);
    EXPECT_EQ(Run(22, 22), Codes{22});
    EXPECT_EQ(host.Sent().size(), 1u);
    // The first exchange fails at both tests, the second succeeds.
    sim.QueueFault(SimFault::WrongCrc, 2);
    EXPECT_EQ(Run(22, 22), (Codes{103, 22}));
    EXPECT_EQ(host.Sent().size(), 1u + 3);
    // Both fail: a link-error code after each, then 3.
    sim.SetPersistentFault(SimFault::Exception2);
    EXPECT_EQ(Run(22, 3), (Codes{102, 102, 3}));
    EXPECT_EQ(host.Sent().size(), 4u + 4);
    sim.SetPersistentFault(SimFault::NoReply);
    EXPECT_EQ(Run(22, 3), Codes{3});
}

TEST(SerialClock, DayOfWeekCountsFromMonday) {
    const plat::TDateTime sunday = plat::EncodeDate(2025, 3, 16) + plat::EncodeTime(23, 59, 58, 0);
    const ClockRecord c = Serial::ClockFromDateTime(sunday);
    EXPECT_EQ(c.DayOfWeek, 7);
    EXPECT_EQ((std::array{c.Second, c.Minute, c.Hour, c.Day, c.Month, c.Year}),
              (std::array<std::uint16_t, 6>{58, 59, 23, 16, 3, 25}));
    EXPECT_EQ(Serial::ClockFromDateTime(sunday + 1).DayOfWeek, 1);
    EXPECT_EQ(Serial::ClockFromDateTime(sunday - 1).DayOfWeek, 6);
}
