// The termios device on a pseudo-terminal, below the component: port names, the flags words,
// edge-triggered EV_RXCHAR and a purge that ends a held write. Cancelled waits, held writes and
// a vanished far side are covered through the component (test_pty.cpp).
#include "platform/SerialTermios.h"
#include "support/PortsDir.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <termios.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Result = std::pair<bool, plat::DWORD>; // success, and the mask or the error

// Starts a comm-event wait and collects it in another thread.
std::future<Result> Wait(plat::SerialDevice& device, plat::Overlapped& ov) {
    return std::async(std::launch::async, [&device, &ov] {
        plat::DWORD mask = 0;
        if (device.WaitCommEvent(mask, ov)) return Result(true, mask);
        if (plat::GetLastError() != plat::ERROR_IO_PENDING) return Result(false, 0);
        const bool ok = device.GetCommEventResult(ov, mask);
        return Result(ok, ok ? mask : plat::GetLastError());
    });
}

std::future<Result> Write(plat::SerialDevice& device, const std::string& bytes,
                          plat::Overlapped* ov, plat::DWORD holdMs) {
    return std::async(std::launch::async, [&device, &bytes, ov, holdMs] {
        plat::DWORD written = 0;
        const auto n = static_cast<plat::DWORD>(bytes.size());
        const bool ok = device.WriteFile(bytes.data(), n, written, ov, holdMs);
        return Result(ok, ok ? written : plat::GetLastError());
    });
}

TEST(PortNames, LinksInThePortsFolderComeFirst) {
    PortsDir dir;
    dir.Link(3, "/dev/ttyUSB0");
    EXPECT_EQ(plat::ComPortPath(3), dir.Path() + "/COM3");
    EXPECT_EQ(plat::ComPortPath(12), "/dev/ttyS11");
    EXPECT_EQ(plat::ComPortPath(0), "");
}

class TermiosTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::TermiosOptions options;
        options.CloseDrainMs = 200;
        device = plat::OpenTermiosDevice(pty.SlavePath(), options);
        ASSERT_TRUE(device);
    }

    termios Line() const {
        termios t{};
        tcgetattr(pty.MasterFd(), &t); // on Linux this is the slave's line
        return t;
    }
    void SetFlags(plat::DWORD flags) {
        plat::DCB dcb;
        device->GetCommState(dcb);
        dcb.Flags = flags;
        ASSERT_TRUE(device->SetCommState(dcb));
    }

    PtyPair pty;
    std::unique_ptr<plat::SerialDevice> device;
};

TEST_F(TermiosTest, TheThreeFlagsWordsMapToTermios) {
    SetFlags(0x1311);
    termios t = Line();
    EXPECT_TRUE((t.c_iflag & IXON) && (t.c_iflag & IXOFF));
    EXPECT_FALSE((t.c_iflag & IXANY) || (t.c_cflag & CRTSCTS));
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);
    SetFlags(0x202D);
    t = Line();
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    SetFlags(0x0001);
    t = Line();
    EXPECT_FALSE((t.c_cflag & CRTSCTS) || (t.c_iflag & (IXON | IXOFF | INPCK)));
}

TEST_F(TermiosTest, ReceivedCharIsReportedOncePerArrival) {
    ASSERT_TRUE(device->SetCommMask(plat::EV_RXCHAR));
    plat::Overlapped ov;
    auto first = Wait(*device, ov);
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_EQ(first.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(first.get(), Result(true, plat::EV_RXCHAR));

    // The bytes are still there, unread: no new arrival, no event.
    auto second = Wait(*device, ov);
    EXPECT_EQ(second.wait_for(150ms), std::future_status::timeout);
    ASSERT_TRUE(pty.Write("d"));
    ASSERT_EQ(second.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(second.get(), Result(true, plat::EV_RXCHAR));

    plat::DWORD errors = 0;
    plat::COMSTAT stat;
    ASSERT_TRUE(device->ClearCommError(errors, stat));
    EXPECT_EQ(stat.cbInQue, 4u);
    char buf[8];
    plat::DWORD got = 0;
    ASSERT_TRUE(device->ReadFile(buf, 8, got));
    EXPECT_EQ(std::string(buf, got), "abcd");
    ASSERT_TRUE(device->ReadFile(buf, 8, got)); // nothing waiting: no wait either
    EXPECT_EQ(got, 0u);
}

// A purge ends a write that the line does not take (the far side reads nothing).
TEST_F(TermiosTest, PurgeEndsAWriteInProgress) {
    const std::string big(200000, 'x');
    plat::Overlapped ov;
    auto purged = Write(*device, big, &ov, plat::INFINITE);
    EXPECT_EQ(purged.wait_for(100ms), std::future_status::timeout);
    device->PurgeComm(plat::PURGE_TXABORT);
    ASSERT_EQ(purged.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(purged.get(), Result(false, plat::ERROR_OPERATION_ABORTED));
}

} // namespace
