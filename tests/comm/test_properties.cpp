// Property rules of the component and its open/close life cycle.
#include "CommTestSupport.h"

namespace {

using Strings = std::vector<std::string>;

class PropertyTest : public ScriptedTest {
protected:
    void SetUp() override {
        ScriptedTest::SetUp();
        port.OnOpen = [this](TCommPort*, int) { events.push_back("open"); };
        port.OnClose = [this](TCommPort*) { events.push_back("close"); };
    }
    // Opens the port with bytes unread in its input ring and forgets the events so far.
    void OpenWithUnreadInput(const std::string& bytes) {
        port.OpenPort();
        Line()->Feed(bytes);
        ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == bytes.size(); }));
        events.clear();
    }
    Strings events;
};

TEST_F(PropertyTest, BaudAndBaudRateAreTwoViewsOfOneValue) {
    port.SetBaud(12345); // not in the table: ignored
    port.SetBaud(-9600);
    EXPECT_EQ(port.BaudRate(), cbr9600);
    port.SetBaudRate(cbr56000);
    EXPECT_EQ(port.Baud(), 56000);
    port.SetBaud(256000);
    EXPECT_EQ(port.BaudRate(), cbr256000);
}

TEST_F(PropertyTest, DataBitsClampAndBitsWarnings) {
    port.SetDataBits(9);
    EXPECT_EQ(port.DataBits(), 8);
    port.SetDataBits(4);
    EXPECT_EQ(port.DataBits(), 8);
    port.SetDataBits(5);
    port.SetStopBits(sb1_5); // 5 data bits with 1.5 stop bits is fine
    EXPECT_TRUE(boxes.empty());
    port.SetStopBits(sb2_0);
    port.SetDataBits(8);
    port.SetStopBits(sb1_5);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Invalid combination (5 data bits with 2 stop bits)");
    EXPECT_EQ(boxes[1].text, "Invalid combination (6,7 or 8 data bits with 1.5 stop bits)");
    for (const ShownBox& box : boxes) {
        EXPECT_EQ(box.caption, "COM port warning");
        EXPECT_EQ(box.flags, 0x30u);
    }
    EXPECT_EQ(port.StopBits(), sb1_5); // the values stay as set
}

TEST_F(PropertyTest, XoffLimIsClampedToTheInputRing) {
    port.SetXoffLim(5000);
    EXPECT_EQ(port.XoffLim(), 2048);
    port.SetIBuffSize(100000);
    port.SetXoffLim(5000);
    EXPECT_EQ(port.XoffLim(), 5000); // the limit is then 65535
    port.SetIBuffSize(100);
    port.OpenPort(); // applied again, against the current size
    EXPECT_EQ(port.XoffLim(), 100);
    EXPECT_EQ(Line()->Record().dcb.XoffLim, 100);
}

TEST_F(PropertyTest, OpenAndCloseActOnlyOnAChangeUnlessForced) {
    port.OpenPort();
    port.SetOpen(true);
    port.ClosePort();
    port.SetOpen(false);
    EXPECT_EQ(events, (Strings{"open", "close"}));

    OpenWithUnreadInput("old");
    port.Open = false; // as the forms do: force an open, here of a port that is open
    port.SetOpen(true);
    EXPECT_EQ(events, (Strings{"close", "open"}));
    EXPECT_EQ(port.InBuffUsed(), 0u);
}

TEST_F(PropertyTest, ComNumberAndSizesWrittenWhileOpen) {
    port.OpenPort();
    port.SetComNumber(5);
    EXPECT_EQ(events, (Strings{"open", "close"}));
    EXPECT_FALSE(port.Open);

    OpenWithUnreadInput("lost");
    port.SetIBuffSize(64);
    port.SetOBuffSize(128);
    EXPECT_EQ(events, (Strings{"close", "open", "close", "open"}));
    EXPECT_EQ(port.InBuffUsed(), 0u);
    EXPECT_EQ(port.InBuffFree(), 64u);
    EXPECT_EQ(port.OutBuffFree(), 128u);

    // A reopen that fails shows the box and stays closed.
    plat::SetSerialDeviceFactory([](int) {
        plat::SetLastError(plat::ERROR_FILE_NOT_FOUND);
        return std::unique_ptr<plat::SerialDevice>();
    });
    port.SetIBuffSize(32);
    EXPECT_FALSE(port.Open);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can't open COM port");
    EXPECT_EQ(port.PutString("x"), 0u);
}

TEST_F(PropertyTest, RingsOfNothingTakeAndGiveNothing) {
    port.SetIBuffSize(0);
    port.SetOBuffSize(0);
    port.OpenPort();
    ASSERT_TRUE(port.Open);
    EXPECT_EQ(port.XoffLim(), 0);
    Line()->Feed("x");
    Pump(30);
    char c = 'c';
    EXPECT_EQ(port.GetBlock(&c, 1), 0u);
    EXPECT_EQ(port.PutBlock(&c, 1), 0u);
    port.FlushInBuffer();
    port.FlushOutBuffer();
}

} // namespace
