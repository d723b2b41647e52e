// The wire protocol of the link against a port stand-in: frames byte for byte, the reply tests
// and their order, the single resend and when link-error codes are posted.
#include "LinkFixture.h"

#include <chrono>

namespace {

Bytes WithCrc(Bytes b) {
    const std::uint16_t crc = Serial::Crc16(b.data(), static_cast<std::uint16_t>(b.size()));
    b.push_back(static_cast<std::uint8_t>(crc >> 8));
    b.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return b;
}

} // namespace

TEST(SerialCrc, CheckValueAndBothTables) {
    EXPECT_EQ(Serial::Crc16(reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0x4B37);
    // One byte from the initial value reaches every entry of both tables.
    for (int b = 0; b < 256; ++b) {
        std::uint16_t crc = 0xFFFF ^ static_cast<std::uint16_t>(b);
        for (int i = 0; i < 8; ++i)
            crc = static_cast<std::uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
        const auto byte = static_cast<std::uint8_t>(b);
        ASSERT_EQ(Serial::Crc16(&byte, 1), crc) << b;
    }
}

TEST(ReceiveBufferTest, AppendDropsWhatDoesNotFitAndTakeEmpties) {
    std::uint8_t data[600], out[ReceiveBuffer::Capacity];
    for (int i = 0; i < 600; ++i)
        data[i] = static_cast<std::uint8_t>(i);
    ReceiveBuffer rb;
    EXPECT_EQ(rb.Append(data, 500), 500);
    EXPECT_EQ(rb.Append(data + 500, 100), 512);
    EXPECT_EQ(rb.Append(data, -3), 512);
    EXPECT_EQ(rb.Take(out), 512);
    EXPECT_TRUE(std::equal(out, out + 512, data));
    EXPECT_EQ(rb.Take(out), 0);
}

TEST_F(LinkTest, FramesAreByteExact) {
    MakeLink();
    EXPECT_EQ(Run(2, 2), Codes{2});
    link->SetWriteValues(0, 0, 0x0102);
    EXPECT_EQ(Run(14, 14), Codes{14});
    EXPECT_EQ(Run(18, 18), Codes{18});
    link->SetClock({56, 34, 12, 5, 14, 3, 25});
    EXPECT_EQ(Run(6, 6), Codes{6});

    const auto sent = host.Sent();
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent[0], (Bytes{0x01, 0x03, 0x04, 0x00, 0x00, 0x15, 0x5A, 0xEB, 0x5D, 0xEB, 0x5D}));
    EXPECT_EQ(sent[1], (Bytes{0x01, 0x10, 0x04, 0x03, 0x00, 0x01, 0x02, 0x01, 0x02, 0xF2, 0x63}));
    EXPECT_EQ(sent[2], (Bytes{0x01, 0x08, 0x00, 0x02, 0xD1, 0xD2, 0x5A, 0x1C, 0x99, 0x1C, 0x99}));
    EXPECT_EQ(sent[3], (Bytes{0x01, 0x06, 0x04, 0x02, 0x00, 0x04, 0x5A, 0x0A, 0x99, 0x0A, 0x99}));
    // Date, then time; the day of week is never written.
    EXPECT_EQ(sent[4], (Bytes{0x01, 0x06, 0x04, 0x0E, 0x0E, 0x03, 0x19, 0xA7, 0x00, 0xA7, 0x00}));
    EXPECT_EQ(sent[5], (Bytes{0x01, 0x06, 0x04, 0x0A, 0x38, 0x22, 0x0C, 0xDF, 0xD2, 0xDF, 0xD2}));
    EXPECT_EQ(sent[6], (Bytes{0x01, 0x06, 0x04, 0x02, 0x00, 0x06, 0x5A, 0xB2, 0x98, 0xB2, 0x98}));
    EXPECT_EQ(host.timerEnables, 7);
}

// The first reply fails silently and the frame is sent once more; only the second reply's
// failure is posted, as the first test (in order CRC, address, exception) that fails. A reply
// that passes them but does not fit the request (another function, another length) counts as
// none and keeps the values read before.
TEST_F(LinkTest, ReplyTestsInOrderAtTheSecondTestOnly) {
    MakeLink();
    Bytes words(3 + 2 * 21, 0x00);
    words[0] = 0x01;
    words[1] = 0x03;
    words[4] = 0x07;
    const Bytes good = WithCrc(words);
    words[4] = 0x09;
    const Bytes shortOne = WithCrc(Bytes(words.begin(), words.begin() + 5)); // one word of 21
    const Bytes echo = WithCrc({0x01, 0x06, 0x04, 0x02, 0x00, 0x09});        // a write's answer
    const Bytes otherAddress = WithCrc({0x02, 0x83, 0x02});
    Bytes lowFirst = good, badCrcOtherAddress = otherAddress, longer = words;
    std::swap(lowFirst[lowFirst.size() - 2], lowFirst.back());
    badCrcOtherAddress.back() ^= 0x01;
    longer.push_back(0x00);
    struct Case {
        Bytes first, second;
        Codes codes;
    };
    const Case cases[] = {
        {otherAddress, otherAddress, {104, 3}},             // address before exception
        {badCrcOtherAddress, badCrcOtherAddress, {103, 3}}, // CRC before address
        {lowFirst, lowFirst, {103, 3}},                     // CRC in Modbus RTU order
        {{0x01, 0x03, 0x00}, {0x01, 0x03, 0x00}, {3}},      // fewer than 4 bytes
        {shortOne, shortOne, {3}},
        {WithCrc(longer), echo, {3}},
        {badCrcOtherAddress, good, {2}},
        {shortOne, good, {2}},
        {{}, good, {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.first));
        host.responder = [&c, n = 0](const Bytes&) mutable { return n++ ? c.second : c.first; };
        const std::size_t sent = host.Sent().size();
        const int enables = host.timerEnables;
        EXPECT_EQ(Run(2, c.codes.back()), c.codes);
        EXPECT_EQ(host.Sent().size() - sent, 2u);  // sent, then resent once
        EXPECT_EQ(host.timerEnables - enables, 1); // Timer1 only before the first send
        EXPECT_EQ(link->GetSerialNumber(), c.codes.back() == 2 ? 7 : 0);
    }
}

TEST_F(LinkTest, RefusedFrameFailsAtOnce) {
    MakeLink(SerialRequestSet::Service, FastTiming(3000, 100));
    const auto start = std::chrono::steady_clock::now();
    host.accept = 0; // a closed port
    EXPECT_EQ(Run(10, 11), Codes{11});
    host.accept = 10; // one byte short of the frame
    EXPECT_EQ(Run(2, 3), Codes{3});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(host.Sent().size(), 2u); // no resend
}

// A full receive buffer is the largest reply: the copy never runs past it, and a reply longer
// than the request's is no answer to it, whatever its CRC.
TEST_F(LinkTest, LongestReplyIsTakenAndFailsToFit) {
    MakeLink();
    Bytes big(510, 0x11);
    big[0] = 0x01;
    big[1] = 0x03;
    big = WithCrc(big);
    big.push_back(0x00);
    host.responder = [&](const Bytes&) { return big; };
    EXPECT_EQ(Run(2, 3), Codes{3});
    EXPECT_EQ(link->GetFirmwareVersion(), 0);
}

// Bytes that an earlier exchange left (a late answer to its resend) are not taken with the
// next request's reply, so that request needs no resend.
TEST_F(LinkTest, BytesLeftFromAnEarlierExchangeAreDropped) {
    MakeLink();
    const Bytes echo = WithCrc({0x01, 0x06, 0x04, 0x02, 0x00, 0x04});
    host.RxBuffer().Append(echo.data(), static_cast<std::int32_t>(echo.size()));
    EXPECT_EQ(Run(2, 2), Codes{2});
    EXPECT_EQ(host.Sent().size(), 1u);
}
