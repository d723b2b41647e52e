// The termios device on a pseudo-terminal, below the component: port names, exclusive open,
// line settings, edge-triggered EV_RXCHAR, cancellable waits and writes, a vanished far side.
#include "platform/SerialTermios.h"
#include "support/PortsDir.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <termios.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) {
            had_ = true;
            value_ = v;
        }
    }
    ~EnvGuard() {
        if (had_)
            setenv(name_, value_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string value_;
};

TEST(PortNames, LinksInThePortsFolderComeFirst) {
    PortsDir dir;
    EXPECT_EQ(plat::PortsFolder(), dir.Path());
    dir.Link(3, "/dev/ttyUSB0");
    EXPECT_EQ(plat::ComPortPath(3), dir.Path() + "/COM3");
    EXPECT_EQ(plat::ComPortPath(12), "/dev/ttyS11");
    EXPECT_EQ(plat::ComPortPath(1), "/dev/ttyS0");
    EXPECT_EQ(plat::ComPortPath(0), "");
    EXPECT_EQ(plat::ComPortPath(-4), "");
}

TEST(PortNames, FolderFollowsTheEnvironment) {
    EnvGuard ports("LIVAT_PORTS_DIR"), xdg("XDG_CONFIG_HOME"), home("HOME");
    unsetenv("LIVAT_PORTS_DIR");
    setenv("HOME", "/home/op", 1);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(plat::PortsFolder(), "/home/op/.config/livat/ports");
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(plat::PortsFolder(), "/cfg/livat/ports");
    setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored
    EXPECT_EQ(plat::PortsFolder(), "/home/op/.config/livat/ports");
    setenv("LIVAT_PORTS_DIR", "/tmp/p", 1);
    EXPECT_EQ(plat::PortsFolder(), "/tmp/p");
}

TEST(PortNames, OpenComPortFindsTheLinkedDevice) {
    PtyPair pty;
    PortsDir dir;
    dir.Link(4, pty.SlavePath());
    auto device = plat::OpenComPort(4);
    ASSERT_TRUE(device);
    dir.Link(5, "/nonexistent/tty");
    plat::SetLastError(0);
    EXPECT_FALSE(plat::OpenComPort(5));
    EXPECT_EQ(plat::GetLastError(), plat::ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(plat::OpenComPort(0));
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

    // Starts a wait and collects it in another thread.
    std::future<std::pair<bool, plat::DWORD>> Wait(plat::Overlapped& ov) {
        return std::async(std::launch::async, [this, &ov] {
            plat::DWORD mask = 0;
            if (device->WaitCommEvent(mask, ov)) return std::make_pair(true, mask);
            if (plat::GetLastError() != plat::ERROR_IO_PENDING) return std::make_pair(false, 0u);
            const bool ok = device->GetCommEventResult(ov, mask);
            return std::make_pair(ok, ok ? mask : plat::GetLastError());
        });
    }

    PtyPair pty;
    std::unique_ptr<plat::SerialDevice> device;
};

TEST_F(TermiosTest, OpensRawWithNothingLeftOfEarlierSettings) {
    const termios t = Line();
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_FALSE(t.c_iflag & (IXANY | ICRNL | IXON | IXOFF));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
}

TEST_F(TermiosTest, TheThreeFlagsWordsMapToTermios) {
    plat::DCB dcb;
    ASSERT_TRUE(device->GetCommState(dcb));
    dcb.Flags = 0x1311;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    ASSERT_TRUE(device->SetCommState(dcb));
    termios t = Line();
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);
    EXPECT_FALSE(t.c_iflag & IXANY);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);

    dcb.Flags = 0x202D;
    ASSERT_TRUE(device->SetCommState(dcb));
    t = Line();
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

    dcb.Flags = 0x0001;
    ASSERT_TRUE(device->SetCommState(dcb));
    t = Line();
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | INPCK));
}

// A pseudo-terminal forces 8 data bits and no parity generation on its line, so only the
// other parity bits, the stop bits and the speed can be seen there; the record keeps all.
TEST_F(TermiosTest, LineSettingsMapAndTheRecordKeepsItsMembers) {
    plat::DCB dcb;
    ASSERT_TRUE(device->GetCommState(dcb));
    dcb.Flags = 0x202D;
    dcb.BaudRate = 57600;
    dcb.ByteSize = 7;
    dcb.Parity = plat::ODDPARITY;
    dcb.StopBits = plat::TWOSTOPBITS;
    dcb.XonLim = 12;
    dcb.XoffLim = 1024;
    dcb.EvtChar = 0x0D;
    ASSERT_TRUE(device->SetCommState(dcb));
    termios t = Line();
    EXPECT_EQ(cfgetospeed(&t), B57600);
    EXPECT_TRUE(t.c_cflag & PARODD);
    EXPECT_FALSE(t.c_cflag & CMSPAR);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_iflag & INPCK); // parity is generated, not checked

    plat::DCB back;
    ASSERT_TRUE(device->GetCommState(back));
    EXPECT_EQ(back.Flags, 0x202Du);
    EXPECT_EQ(back.BaudRate, 57600u);
    EXPECT_EQ(back.ByteSize, 7);
    EXPECT_EQ(back.Parity, plat::ODDPARITY);
    EXPECT_EQ(back.XonLim, 12);
    EXPECT_EQ(back.XoffLim, 1024);
    EXPECT_EQ(back.EvtChar, 0x0D);

    dcb.Parity = plat::SPACEPARITY;
    dcb.StopBits = plat::ONESTOPBIT;
    dcb.BaudRate = 256000; // no termios constant: set as an arbitrary rate
    ASSERT_TRUE(device->SetCommState(dcb));
    t = Line();
    EXPECT_TRUE(t.c_cflag & CMSPAR);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    dcb.BaudRate = 115200;
    ASSERT_TRUE(device->SetCommState(dcb));
    t = Line();
    EXPECT_EQ(cfgetospeed(&t), B115200);

    dcb.ByteSize = 9;
    plat::SetLastError(0);
    EXPECT_FALSE(device->SetCommState(dcb));
    EXPECT_EQ(plat::GetLastError(), plat::ERROR_INVALID_PARAMETER);
    dcb.ByteSize = 8;
    dcb.BaudRate = 0;
    EXPECT_FALSE(device->SetCommState(dcb));
}

TEST_F(TermiosTest, ASecondOpenFailsUntilTheFirstCloses) {
    plat::SetLastError(0);
    EXPECT_FALSE(plat::OpenTermiosDevice(pty.SlavePath()));
    EXPECT_EQ(plat::GetLastError(), plat::ERROR_ACCESS_DENIED);
    device.reset();
    device = plat::OpenTermiosDevice(pty.SlavePath());
    EXPECT_TRUE(device);
}

TEST_F(TermiosTest, ReceivedCharIsReportedOncePerArrival) {
    ASSERT_TRUE(device->SetCommMask(plat::EV_RXCHAR));
    plat::Overlapped ov;
    auto first = Wait(ov);
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_EQ(first.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(first.get(), std::make_pair(true, plat::EV_RXCHAR));

    // The bytes are still there, unread: no new arrival, no event.
    auto second = Wait(ov);
    EXPECT_EQ(second.wait_for(150ms), std::future_status::timeout);
    ASSERT_TRUE(pty.Write("d"));
    ASSERT_EQ(second.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(second.get(), std::make_pair(true, plat::EV_RXCHAR));

    plat::DWORD errors = 0;
    plat::COMSTAT stat;
    ASSERT_TRUE(device->ClearCommError(errors, stat));
    EXPECT_EQ(stat.cbInQue, 4u);
    EXPECT_EQ(stat.cbOutQue, 0u);
    char buf[8];
    plat::DWORD got = 0;
    ASSERT_TRUE(device->ReadFile(buf, 8, got));
    EXPECT_EQ(std::string(buf, got), "abcd");
    ASSERT_TRUE(device->ReadFile(buf, 8, got)); // nothing waiting: no wait either
    EXPECT_EQ(got, 0u);
}

TEST_F(TermiosTest, EventCharAndTxEmptyAreReported) {
    ASSERT_TRUE(device->SetCommMask(plat::EV_RXFLAG | plat::EV_TXEMPTY));
    plat::DCB dcb;
    device->GetCommState(dcb);
    dcb.EvtChar = '\n';
    device->SetCommState(dcb);
    plat::Overlapped ov;
    plat::DWORD written = 0;
    ASSERT_TRUE(device->WriteFile("out", 3, written, nullptr, plat::INFINITE));
    EXPECT_EQ(written, 3u);
    auto tx = Wait(ov);
    ASSERT_EQ(tx.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(tx.get(), std::make_pair(true, plat::EV_TXEMPTY));

    ASSERT_TRUE(pty.Write("line\n"));
    std::this_thread::sleep_for(20ms);
    char buf[8];
    plat::DWORD got = 0;
    ASSERT_TRUE(device->ReadFile(buf, 8, got));
    auto flag = Wait(ov);
    ASSERT_EQ(flag.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(flag.get(), std::make_pair(true, plat::EV_RXFLAG));
}

TEST_F(TermiosTest, MaskZeroAndCancelEndAPendingWait) {
    ASSERT_TRUE(device->SetCommMask(0x01FD));
    plat::Overlapped ov;
    auto waiting = Wait(ov);
    EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    ASSERT_TRUE(device->SetCommMask(0));
    ASSERT_EQ(waiting.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), std::make_pair(true, 0u));

    ASSERT_TRUE(device->SetCommMask(0x01FD));
    auto cancelled = Wait(ov);
    EXPECT_EQ(cancelled.wait_for(100ms), std::future_status::timeout);
    ov.Cancel();
    ASSERT_EQ(cancelled.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(cancelled.get(), std::make_pair(false, plat::ERROR_OPERATION_ABORTED));
}

TEST_F(TermiosTest, AWriteTheLineDoesNotTakeGivesUpOrIsCancelled) {
    std::string big(200000, 'x');
    plat::DWORD written = 0;
    const auto start = Clock::now();
    EXPECT_FALSE(
        device->WriteFile(big.data(), static_cast<plat::DWORD>(big.size()), written, nullptr, 100));
    EXPECT_EQ(plat::GetLastError(), plat::ERROR_SEM_TIMEOUT);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
    EXPECT_LT(Clock::now() - start, 2s);

    plat::Overlapped ov;
    auto cancelled = std::async(std::launch::async, [&] {
        plat::DWORD w = 0;
        const bool ok = device->WriteFile(big.data(), 1000, w, &ov, plat::INFINITE);
        return std::make_pair(ok, plat::GetLastError());
    });
    EXPECT_EQ(cancelled.wait_for(100ms), std::future_status::timeout);
    ov.Cancel();
    ASSERT_EQ(cancelled.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(cancelled.get(), std::make_pair(false, plat::ERROR_OPERATION_ABORTED));

    plat::Overlapped other;
    auto purged = std::async(std::launch::async, [&] {
        plat::DWORD w = 0;
        const bool ok = device->WriteFile(big.data(), 1000, w, &other, plat::INFINITE);
        return std::make_pair(ok, plat::GetLastError());
    });
    EXPECT_EQ(purged.wait_for(100ms), std::future_status::timeout);
    device->PurgeComm(plat::PURGE_TXABORT);
    ASSERT_EQ(purged.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(purged.get(), std::make_pair(false, plat::ERROR_OPERATION_ABORTED));
}

TEST_F(TermiosTest, APseudoTerminalHasNoModemLinesAndThatIsNoError) {
    plat::DWORD status = 0xFF;
    ASSERT_TRUE(device->GetCommModemStatus(status));
    EXPECT_EQ(status, 0u);
    EXPECT_TRUE(device->EscapeCommFunction(plat::SETDTR));
    EXPECT_TRUE(device->EscapeCommFunction(plat::CLRRTS));
    EXPECT_TRUE(device->EscapeCommFunction(plat::SETBREAK));
    EXPECT_TRUE(device->EscapeCommFunction(plat::CLRBREAK));
    EXPECT_FALSE(device->EscapeCommFunction(77));

    // Under hardware handshake DTR and RTS belong to the handshake.
    plat::DCB dcb;
    device->GetCommState(dcb);
    dcb.Flags = 0x202D;
    ASSERT_TRUE(device->SetCommState(dcb));
    EXPECT_FALSE(device->EscapeCommFunction(plat::CLRDTR));
    EXPECT_FALSE(device->EscapeCommFunction(plat::SETRTS));
    EXPECT_TRUE(device->EscapeCommFunction(plat::SETBREAK));
    EXPECT_TRUE(device->SetupComm(2048, 4096));
    EXPECT_TRUE(device->SetCommTimeouts(plat::COMMTIMEOUTS{}));
}

TEST_F(TermiosTest, PurgeDropsWaitingInput) {
    ASSERT_TRUE(pty.Write("junk"));
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(device->PurgeComm(plat::PURGE_RXABORT | plat::PURGE_RXCLEAR));
    plat::DWORD errors = 0;
    plat::COMSTAT stat;
    ASSERT_TRUE(device->ClearCommError(errors, stat));
    EXPECT_EQ(stat.cbInQue, 0u);
    EXPECT_FALSE(device->PurgeComm(0x100));
}

TEST(TermiosGone, AVanishedFarSideFailsOnceThenWaitsQuietly) {
    PtyPair pty(false);
    auto device = plat::OpenTermiosDevice(pty.SlavePath());
    ASSERT_TRUE(device);
    ASSERT_TRUE(device->SetCommMask(0x01FD));
    pty.CloseMaster();

    char buf[4];
    plat::DWORD got = 0;
    EXPECT_FALSE(device->ReadFile(buf, 4, got));
    EXPECT_EQ(plat::GetLastError(), plat::ERROR_DEVICE_NOT_CONNECTED);
    plat::DWORD written = 0;
    EXPECT_FALSE(device->WriteFile("x", 1, written, nullptr, 100));
    plat::DWORD errors = 0;
    plat::COMSTAT stat;
    EXPECT_FALSE(device->ClearCommError(errors, stat));

    // A wait on a dead line sleeps (no event ever comes) until it is cancelled.
    plat::Overlapped ov;
    auto waiting = std::async(std::launch::async, [&] {
        plat::DWORD mask = 0;
        if (device->WaitCommEvent(mask, ov)) return true;
        return device->GetCommEventResult(ov, mask);
    });
    EXPECT_EQ(waiting.wait_for(150ms), std::future_status::timeout);
    ov.Cancel();
    ASSERT_EQ(waiting.wait_for(2s), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    const auto start = Clock::now();
    device.reset();
    EXPECT_LT(Clock::now() - start, 1s);
}

TEST(TermiosGone, APendingWaitEndsWhenTheFarSideGoes) {
    PtyPair pty(false);
    auto device = plat::OpenTermiosDevice(pty.SlavePath());
    ASSERT_TRUE(device);
    ASSERT_TRUE(device->SetCommMask(plat::EV_RXCHAR));
    plat::Overlapped ov;
    auto waiting = std::async(std::launch::async, [&] {
        plat::DWORD mask = 0;
        if (device->WaitCommEvent(mask, ov)) return std::make_pair(true, mask);
        const bool ok = device->GetCommEventResult(ov, mask);
        return std::make_pair(ok, ok ? mask : plat::GetLastError());
    });
    std::this_thread::sleep_for(50ms);
    pty.CloseMaster();
    ASSERT_EQ(waiting.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), std::make_pair(false, plat::ERROR_DEVICE_NOT_CONNECTED));
}

} // namespace
