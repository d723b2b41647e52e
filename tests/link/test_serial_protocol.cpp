// The wire protocol of the link against a port stand-in: frames byte for byte, the reply tests
// and their order, the single resend and when link-error codes are posted.
#include "LinkFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>

namespace {

class SerialProtocol : public ::testing::Test {
protected:
    void MakeLink(SerialRequestSet set = SerialRequestSet::Service,
                  SerialTiming timing = FastTiming()) {
        link = std::make_unique<Serial>(log.Handle(), host, set, timing);
    }
    // Runs one request and returns the codes it posted.
    std::vector<int> Run(SerialRequestCode code, int expectLast) {
        log.Drain(); // a replaced link's last message must not count for this request
        log.Clear();
        link->PostCommand(code);
        EXPECT_TRUE(log.WaitFor(expectLast));
        return log.Drain();
    }
    void TearDown() override { link.reset(); }

    NotifyLog log;
    RecorderSim sim;
    FakeHost host{sim};
    std::unique_ptr<Serial> link;
};

Bytes WithCrc(Bytes b) {
    const std::uint16_t crc = Serial::Crc16(b.data(), static_cast<std::uint16_t>(b.size()));
    b.push_back(static_cast<std::uint8_t>(crc >> 8));
    b.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return b;
}

} // namespace

TEST(SerialCrc, CheckValueAndTables) {
    const char* digits = "123456789";
    EXPECT_EQ(Serial::Crc16(reinterpret_cast<const std::uint8_t*>(digits), 9), 0x4B37);
    EXPECT_EQ(Serial::Crc16(nullptr, 0), 0xFFFF);
    // Every byte value through both tables, against the bitwise definition.
    for (int b = 0; b < 256; ++b) {
        std::uint16_t crc = 0xFFFF ^ static_cast<std::uint16_t>(b);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
        const auto byte = static_cast<std::uint8_t>(b);
        ASSERT_EQ(Serial::Crc16(&byte, 1), crc) << b;
    }
}

TEST(SerialCrc, LinkConstant) {
    const auto k = LinkConstant();
    EXPECT_EQ(k[0], 0x5A);
    EXPECT_EQ(k[1], 0xA5);
    EXPECT_EQ(k[2], 0x3C);
}

TEST_F(SerialProtocol, FramesAreByteExact) {
    MakeLink();
    sim.SetDiagnosticWord(0x0000);
    EXPECT_EQ(Run(RequestReadParams, 2), (std::vector<int>{2}));
    link->SetWriteValues(0, 0, 0x0102);
    EXPECT_EQ(Run(RequestWriteOption, 14), (std::vector<int>{14}));
    EXPECT_EQ(Run(RequestDiagnostics, 18), (std::vector<int>{18}));
    ClockRecord clock{56, 34, 12, 5, 14, 3, 25};
    link->SetClock(clock);
    EXPECT_EQ(Run(RequestSetClock, 6), (std::vector<int>{6}));

    const auto sent = host.Sent();
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent[0], (Bytes{0x01, 0x03, 0x04, 0x00, 0x00, 0x15, 0x5A, 0xEB, 0x5D, 0xEB, 0x5D}));
    EXPECT_EQ(sent[1], (Bytes{0x01, 0x10, 0x04, 0x03, 0x00, 0x01, 0x02, 0x01, 0x02, 0xF2, 0x63}));
    EXPECT_EQ(sent[2], (Bytes{0x01, 0x08, 0x00, 0x02, 0xD1, 0xD2, 0x5A, 0x1C, 0x99, 0x1C, 0x99}));
    EXPECT_EQ(sent[3], (Bytes{0x01, 0x06, 0x04, 0x02, 0x00, 0x04, 0x5A, 0x0A, 0x99, 0x0A, 0x99}));
    // Date then time; the day of week is never written.
    EXPECT_EQ(sent[4], (Bytes{0x01, 0x06, 0x04, 0x0E, 0x0E, 0x03, 0x19, 0xA7, 0x00, 0xA7, 0x00}));
    EXPECT_EQ(sent[5], (Bytes{0x01, 0x06, 0x04, 0x0A, 0x38, 0x22, 0x0C, 0xDF, 0xD2, 0xDF, 0xD2}));
    EXPECT_EQ(sent[6][5], 0x06);
    // Timer1 is enabled once per exchange.
    EXPECT_EQ(host.TimerEnables(), 7);
}

TEST_F(SerialProtocol, ReplyTestsInOrder) {
    MakeLink();
    struct Case {
        const char* what;
        Bytes reply;
        std::vector<int> codes;
    };
    const Bytes good = WithCrc({0x01, 0x03, 0x02, 0x00, 0x07});
    Bytes lowFirst = good;
    std::swap(lowFirst[5], lowFirst[6]);
    Bytes badCrcOtherAddress = WithCrc({0x02, 0x83, 0x02});
    badCrcOtherAddress.back() ^= 0x01;
    const std::vector<Case> cases = {
        {"exception 2", WithCrc({0x01, 0x83, 0x02}), {102, 3}},
        {"exception 1", WithCrc({0x01, 0x83, 0x01}), {101, 3}},
        {"exception 4", WithCrc({0x01, 0x83, 0x04}), {100, 3}},
        {"other address before exception", WithCrc({0x02, 0x83, 0x02}), {104, 3}},
        {"CRC before address", badCrcOtherAddress, {103, 3}},
        {"CRC in Modbus order", lowFirst, {103, 3}},
        {"fewer than 4 bytes", {0x01, 0x03, 0x00}, {3}},
        {"nothing", {}, {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.SetResponder([&](const Bytes&) { return c.reply; });
        const int before = host.SentCount();
        const int enables = host.TimerEnables();
        EXPECT_EQ(Run(RequestReadParams, 3), c.codes);
        EXPECT_EQ(host.SentCount() - before, 2);     // sent, then resent once
        EXPECT_EQ(host.TimerEnables() - enables, 1); // Timer1 only before the first send
    }
}

TEST_F(SerialProtocol, FirstFailureIsSilentAndResent) {
    MakeLink();
    sim.SetRegister(0x0400, 4321);
    for (SimFault f : {SimFault::WrongCrc, SimFault::OtherAddress, SimFault::Exception2,
                       SimFault::NoReply, SimFault::TrailingGarbage}) {
        sim.QueueFault(f);
        const int before = host.SentCount();
        EXPECT_EQ(Run(RequestReadParams, 2), (std::vector<int>{2}));
        EXPECT_EQ(host.SentCount() - before, 2);
    }
    DeviceParams p{};
    link->GetConfig(p);
    EXPECT_EQ(p[0], 4321);
}

TEST_F(SerialProtocol, LateReplySpoilsTheResend) {
    MakeLink();
    sim.QueueFault(SimFault::LateReply);
    // The late bytes land in front of the resend's reply and the pair fails the CRC test.
    EXPECT_EQ(Run(RequestReadParams, 3), (std::vector<int>{103, 3}));
}

TEST_F(SerialProtocol, TrailingGarbageFailsTheCrc) {
    MakeLink();
    sim.SetPersistentFault(SimFault::TrailingGarbage);
    EXPECT_EQ(Run(RequestReadParams, 3), (std::vector<int>{103, 3}));
}

TEST_F(SerialProtocol, ClosedPortFailsAtOnce) {
    SerialTiming slow = FastTiming();
    slow.ReplyWait = 3000;
    slow.ReplyStep = 100;
    MakeLink(SerialRequestSet::Service, slow);
    host.SetClosed(true);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(RequestReadMeasurements, 11), (std::vector<int>{11}));
    EXPECT_EQ(Run(RequestSetClock, 7), (std::vector<int>{7}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(host.PutCalls(), 2); // one attempt per request, no resend
}

TEST_F(SerialProtocol, PartlyTakenFrameFailsAtOnce) {
    struct ShortPort : FakeHost {
        using FakeHost::FakeHost;
        std::uint32_t PutBlock(const std::uint8_t* d, std::uint32_t n) override {
            FakeHost::PutBlock(d, n);
            return n - 1;
        }
    };
    ShortPort port{sim};
    Serial shortLink(log.Handle(), port, SerialRequestSet::Service, FastTiming());
    log.Clear();
    shortLink.PostCommand(RequestReadParams);
    ASSERT_TRUE(log.WaitFor(3));
    EXPECT_EQ(log.Drain(), (std::vector<int>{3}));
    EXPECT_EQ(port.SentCount(), 1);
}

TEST_F(SerialProtocol, ShortAndLongestRepliesAreTaken) {
    MakeLink();
    // One word where 21 were asked for: accepted, the first word stored.
    host.SetResponder([](const Bytes&) { return WithCrc({0x01, 0x03, 0x02, 0x12, 0x34}); });
    EXPECT_EQ(Run(RequestReadParams, 2), (std::vector<int>{2}));
    EXPECT_EQ(link->GetSerialNumber(), 0x1234);

    // A full receive buffer is the largest reply; more is dropped before the link sees it.
    Bytes big(510, 0x11);
    big[0] = 0x01;
    big[1] = 0x03;
    big = WithCrc(big);
    ASSERT_EQ(big.size(), 512u);
    host.SetResponder([&](const Bytes&) { return big; });
    EXPECT_EQ(Run(RequestReadParams, 2), (std::vector<int>{2}));
    EXPECT_EQ(link->GetFirmwareVersion(), 0x1111);
    // A byte beyond the buffer never reaches the link.
    Bytes tooBig = big;
    tooBig.push_back(0x00);
    host.SetResponder([&](const Bytes&) { return tooBig; });
    EXPECT_EQ(Run(RequestReadParams, 2), (std::vector<int>{2}));
}

TEST(ReceiveBufferTest, AppendDropsWhatDoesNotFitAndTakeEmpties) {
    ReceiveBuffer rb;
    std::uint8_t data[600];
    for (int i = 0; i < 600; ++i)
        data[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(rb.Append(data, 10), 10);
    EXPECT_EQ(rb.Append(data + 10, 7), 17);
    std::uint8_t out[ReceiveBuffer::Capacity];
    EXPECT_EQ(rb.Take(out), 17);
    EXPECT_EQ(std::memcmp(out, data, 17), 0);
    EXPECT_EQ(rb.Count(), 0);

    EXPECT_EQ(rb.Append(data, 600), 512);
    EXPECT_EQ(rb.Append(data, 5), 512);
    EXPECT_EQ(rb.Append(data, -3), 512);
    EXPECT_EQ(rb.Take(out), 512);
    EXPECT_EQ(std::memcmp(out, data, 512), 0);
    // The byte view still lists the bytes after they were taken.
    std::uint8_t view[4];
    rb.CopyStored(view, 4);
    EXPECT_EQ(std::memcmp(view, data, 4), 0);
}
