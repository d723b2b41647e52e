// Property rules of the component and its open/close life cycle.
#include "CommTestSupport.h"

namespace {

class PropertyTest : public CommTest {
protected:
    void SetUp() override {
        CommTest::SetUp();
        UseScriptedLines();
        FastTiming(port);
        port.OnOpen = [this](TCommPort*, int) { events.push_back("open"); };
        port.OnClose = [this](TCommPort*) { events.push_back("close"); };
    }
    void TearDown() override {
        port.ClosePort();
        CommTest::TearDown();
    }

    TCommPort port;
    std::vector<std::string> events;
};

using Strings = std::vector<std::string>;

TEST_F(PropertyTest, BaudAndBaudRateAreTwoViewsOfOneValue) {
    port.SetBaud(12345);
    EXPECT_EQ(port.BaudRate(), cbr9600);
    port.SetBaud(-9600);
    EXPECT_EQ(port.BaudRate(), cbr9600);
    port.SetBaudRate(cbr56000);
    EXPECT_EQ(port.Baud(), 56000);
    port.SetBaud(57600);
    EXPECT_EQ(port.BaudRate(), cbr57600);
    port.SetBaud(256000);
    EXPECT_EQ(port.BaudRate(), cbr256000);
    port.SetBaud(110);
    EXPECT_EQ(port.BaudRate(), cbr110);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(PropertyTest, DataBitsOutsideFiveToEightBecomeEight) {
    port.SetDataBits(9);
    EXPECT_EQ(port.DataBits(), 8);
    port.SetDataBits(4);
    EXPECT_EQ(port.DataBits(), 8);
    port.SetDataBits(6);
    EXPECT_EQ(port.DataBits(), 6);
}

TEST_F(PropertyTest, BitsWarningTexts) {
    port.SetDataBits(5);
    EXPECT_TRUE(boxes.empty());
    port.SetStopBits(sb2_0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Invalid combination (5 data bits with 2 stop bits)");
    EXPECT_EQ(boxes[0].caption, "COM port warning");
    EXPECT_EQ(boxes[0].flags, 0x30u);
    EXPECT_EQ(port.StopBits(), sb2_0); // the values stay as set

    boxes.clear();
    port.SetStopBits(sb1_5); // 5 data bits with 1.5 stop bits is fine
    EXPECT_TRUE(boxes.empty());
    port.SetDataBits(8);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Invalid combination (6,7 or 8 data bits with 1.5 stop bits)");
    EXPECT_EQ(boxes[0].caption, "COM port warning");
    EXPECT_EQ(boxes[0].flags, 0x30u);
}

TEST_F(PropertyTest, XoffLimIsClampedToTheInputRing) {
    port.SetXoffLim(5000);
    EXPECT_EQ(port.XoffLim(), 2048);
    port.SetIBuffSize(100000);
    port.SetXoffLim(5000);
    EXPECT_EQ(port.XoffLim(), 5000);
    port.SetXoffLim(65535);
    EXPECT_EQ(port.XoffLim(), 65535);
    port.SetIBuffSize(100);
    port.OpenPort(); // applied again, against the current size
    EXPECT_EQ(port.XoffLim(), 100);
    auto lock = Line()->Lock();
    EXPECT_EQ(Line()->dcb.XoffLim, 100);
}

TEST_F(PropertyTest, OpenAndCloseActOnlyOnAChange) {
    port.OpenPort();
    port.OpenPort();
    port.SetOpen(true);
    EXPECT_EQ(events, (Strings{"open"}));
    port.ClosePort();
    port.ClosePort();
    port.SetOpen(false);
    EXPECT_EQ(events, (Strings{"open", "close"}));
}

TEST_F(PropertyTest, ForcingTheOpenFieldReopensAndRecloses) {
    port.OpenPort();
    Line()->Feed("old");
    ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 3; }));
    port.Open = false; // as the forms do: force an open, here of a port that is open
    port.SetOpen(true);
    EXPECT_EQ(events, (Strings{"open", "close", "open"}));
    EXPECT_TRUE(port.Open);
    EXPECT_EQ(port.InBuffUsed(), 0u);
    port.Open = true;
    port.SetOpen(false);
    EXPECT_EQ(events, (Strings{"open", "close", "open", "close"}));
    EXPECT_FALSE(port.IsEnabled());

    // A close forced on a closed port only clears the flags and counts and says so.
    port.Open = true;
    port.SetOpen(false);
    EXPECT_EQ(events, (Strings{"open", "close", "open", "close", "close"}));
    EXPECT_FALSE(port.Open);
}

TEST_F(PropertyTest, ComNumberWrittenWhileOpenClosesThePort) {
    port.OpenPort();
    port.SetComNumber(5);
    EXPECT_EQ(events, (Strings{"open", "close"}));
    EXPECT_FALSE(port.Open);
    EXPECT_EQ(port.ComNumber(), 5);
}

TEST_F(PropertyTest, BufferSizeWrittenWhileOpenReopens) {
    port.OpenPort();
    Line()->Feed("lost");
    ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 4; }));
    port.SetIBuffSize(64);
    EXPECT_EQ(events, (Strings{"open", "close", "open"}));
    EXPECT_TRUE(port.Open);
    EXPECT_EQ(port.InBuffUsed(), 0u);
    EXPECT_EQ(port.InBuffFree(), 64u);
    port.SetOBuffSize(128);
    EXPECT_EQ(port.OutBuffFree(), 128u);
    EXPECT_EQ(events.size(), 5u);

    // A reopen that fails shows the box and stays closed.
    plat::SetSerialDeviceFactory([](int) {
        plat::SetLastError(plat::ERROR_FILE_NOT_FOUND);
        return std::unique_ptr<plat::SerialDevice>();
    });
    port.SetIBuffSize(32);
    EXPECT_FALSE(port.Open);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can't open COM port");
}

TEST_F(PropertyTest, AFailedOpenTriesAgainLater) {
    plat::SetSerialDeviceFactory([](int) {
        plat::SetLastError(plat::ERROR_ACCESS_DENIED);
        return std::unique_ptr<plat::SerialDevice>();
    });
    port.OpenPort();
    EXPECT_FALSE(port.Open);
    EXPECT_TRUE(events.empty());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "COM port error");
    EXPECT_EQ(boxes[0].flags, 0x10u);
    EXPECT_EQ(port.PutString("x"), 0u);
    UseScriptedLines();
    port.OpenPort();
    EXPECT_TRUE(port.Open);
}

TEST_F(PropertyTest, ARingOfNothingTakesAndGivesNothing) {
    port.SetIBuffSize(0);
    port.SetOBuffSize(0);
    port.OpenPort();
    ASSERT_TRUE(port.Open);
    EXPECT_EQ(port.XoffLim(), 0);
    Line()->Feed("x");
    Pump(50);
    char c = 'c';
    EXPECT_EQ(port.GetBlock(&c, 1), 0u);
    EXPECT_EQ(port.PutBlock(&c, 1), 0u);
}

TEST_F(PropertyTest, DestroyingAnOpenPortRaisesOnClose) {
    bool closed = false;
    {
        TCommPort local;
        FastTiming(local);
        local.OnClose = [&](TCommPort*) { closed = true; };
        local.OpenPort();
        ASSERT_TRUE(local.Open);
        local.PutString("bye");
    }
    EXPECT_TRUE(closed);
    auto lock = Line()->Lock();
    EXPECT_EQ(Line()->written, "bye");
    EXPECT_TRUE(Line()->closed);
}

} // namespace
