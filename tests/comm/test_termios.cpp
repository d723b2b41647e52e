// The termios device on a pseudo-terminal, below the component: port names, the flags words,
// edge-triggered EV_RXCHAR and a purge that ends a held write. Cancelled waits, held writes and
// a vanished far side are covered through the component (test_pty.cpp).
#include "platform/SerialTermios.h"
#include "support/PortsDir.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <tuple>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Result = std::pair<bool, plat::DWORD>; // success, and the mask or the error

TEST(PortNames, LinksInThePortsFolderComeFirst) {
    PortsDir dir;
    dir.Link(3, "/dev/ttyUSB0");
    EXPECT_EQ(plat::ComPortPath(3), dir.Path() + "/COM3");
    EXPECT_EQ(plat::ComPortPath(12), "/dev/ttyS11");
    EXPECT_EQ(plat::ComPortPath(0), "");
}

TEST(OpenFailure, TheReasonTellsAMissingRightFromAMissingDevice) {
    const std::string link = "/home/u/.config/livat/ports/COM5";
    EXPECT_EQ(plat::OpenFailureText(link, "/dev/ttyUSB0", EACCES, "dialout"),
              "Can't open " + link +
                  " (/dev/ttyUSB0): Permission denied; the user must belong to the group "
                  "\"dialout\" that owns the device");
    EXPECT_EQ(plat::OpenFailureText(link, "", ENOENT, ""),
              "Can't open " + link + ": No such file or directory");
    // A group without read and write access is no help: joining it would not open the device.
    EXPECT_EQ(plat::OpenFailureText(link, "/dev/ttyUSB0", EACCES, ""),
              "Can't open " + link +
                  " (/dev/ttyUSB0): Permission denied; the device grants no group read and "
                  "write access, so only its owner or root can open it");
    PortsDir dir;
    const std::string device = dir.Path() + "/device";
    ::close(::open(device.c_str(), O_CREAT | O_WRONLY, 0600));
    EXPECT_EQ(plat::DeviceAccessGroup(device), "");
    ::chmod(device.c_str(), 0640);
    EXPECT_EQ(plat::DeviceAccessGroup(device), "");
    ::chmod(device.c_str(), 0660);
    EXPECT_NE(plat::DeviceAccessGroup(device), "");
    EXPECT_EQ(plat::OpenFailureText("/dev/ttyS0", "/dev/ttyS0", EBUSY, "dialout"),
              "Can't open /dev/ttyS0: Device or resource busy; another program is using the "
              "device");
}

class TermiosTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::TermiosOptions options;
        options.CloseDrainMs = 200;
        device = plat::OpenTermiosDevice(pty.SlavePath(), options);
        ASSERT_TRUE(device);
    }

    // Starts a comm-event wait and collects it in another thread.
    std::future<Result> Wait() {
        return std::async(std::launch::async, [this] {
            plat::DWORD mask = 0;
            if (device->WaitCommEvent(mask, ov)) return Result(true, mask);
            if (plat::GetLastError() != plat::ERROR_IO_PENDING) return Result(false, 0);
            const bool ok = device->GetCommEventResult(ov, mask);
            return Result(ok, ok ? mask : plat::GetLastError());
        });
    }

    PtyPair pty;
    std::unique_ptr<plat::SerialDevice> device;
    plat::Overlapped ov;
};

// The flags word reaches the line itself (on Linux the master reports the slave's settings).
TEST_F(TermiosTest, TheFlagsWordReachesTheLine) {
    const struct {
        plat::DWORD word;
        tcflag_t iflags, cflags;
    } words[] = {{0x1311, IXON | IXOFF, 0}, {0x202D, 0, CRTSCTS}, {0x0001, 0, 0}};
    for (const auto& w : words) {
        plat::DCB dcb;
        dcb.Flags = w.word;
        ASSERT_TRUE(device->SetCommState(dcb));
        termios t{};
        tcgetattr(pty.MasterFd(), &t);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | INPCK), w.iflags) << w.word;
        EXPECT_EQ(t.c_cflag & CRTSCTS, w.cflags) << w.word;
    }
}

// Another program's terminal settings and its exclusive flag are as it left them after our
// close; our own exclusive flag goes with our close.
TEST(TermiosClose, TheDeviceIsLeftAsItWasFound) {
    PtyPair pty;
    // The flag belongs to the terminal's slave side: looked at through a descriptor of its own.
    const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    termios before{};
    tcgetattr(pty.MasterFd(), &before);
    before.c_lflag |= ECHO | ICANON;
    before.c_oflag |= OPOST | ONLCR;
    cfsetspeed(&before, B1200);
    tcsetattr(pty.MasterFd(), TCSANOW, &before);
    auto device = plat::OpenTermiosDevice(pty.SlavePath());
    ASSERT_TRUE(device);
    termios during{};
    tcgetattr(pty.MasterFd(), &during);
    EXPECT_FALSE(during.c_lflag & (ECHO | ICANON)); // raw while ours
    int exclusive = 0;
    ioctl(other, TIOCGEXCL, &exclusive);
    EXPECT_EQ(exclusive, 1);
    device.reset();
    termios after{};
    tcgetattr(pty.MasterFd(), &after);
    EXPECT_EQ(std::tie(after.c_lflag, after.c_oflag, after.c_iflag, after.c_cflag),
              std::tie(before.c_lflag, before.c_oflag, before.c_iflag, before.c_cflag));
    ioctl(other, TIOCGEXCL, &exclusive);
    EXPECT_EQ(exclusive, 0);

    // Set by another program: root may still open the device, and the flag stays.
    ioctl(other, TIOCEXCL);
    device = plat::OpenTermiosDevice(pty.SlavePath());
    if (device) {
        device.reset();
        ioctl(other, TIOCGEXCL, &exclusive);
        EXPECT_EQ(exclusive, 1);
    } else {
        EXPECT_NE(geteuid(), 0u); // only root gets past another program's flag
    }
    close(other);
}

TEST_F(TermiosTest, ReceivedCharIsReportedOncePerArrival) {
    ASSERT_TRUE(device->SetCommMask(plat::EV_RXCHAR));
    auto first = Wait();
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_EQ(first.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(first.get(), Result(true, plat::EV_RXCHAR));

    // The bytes are still there, unread: no new arrival, no event.
    auto second = Wait();
    EXPECT_EQ(second.wait_for(150ms), std::future_status::timeout);
    ASSERT_TRUE(pty.Write("d"));
    ASSERT_EQ(second.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(second.get(), Result(true, plat::EV_RXCHAR));
}

// A purge ends a write that the line does not take (the far side reads nothing).
TEST_F(TermiosTest, PurgeEndsAWriteInProgress) {
    const std::string big(200000, 'x');
    auto purged = std::async(std::launch::async, [&] {
        plat::DWORD written = 0;
        const bool ok = device->WriteFile(big.data(), static_cast<plat::DWORD>(big.size()), written,
                                          &ov, plat::INFINITE);
        return Result(ok, ok ? written : plat::GetLastError());
    });
    EXPECT_EQ(purged.wait_for(100ms), std::future_status::timeout);
    device->PurgeComm(plat::PURGE_TXABORT);
    ASSERT_EQ(purged.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(purged.get(), Result(false, plat::ERROR_OPERATION_ABORTED));
}

} // namespace
