#include "support/PtyPair.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

// While no slave is open the master reports a hang-up at once; that must not turn the waits
// into a busy loop.
void PtyPair::WaitReadable(int ms) const {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, ms) > 0 && !(p.revents & POLLIN)) usleep(static_cast<useconds_t>(ms) * 1000);
}

PtyPair::PtyPair(bool holdSlave) : holdSlave_(holdSlave) {
    OpenPair();
}

void PtyPair::OpenPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
        CloseMaster(); // no destructor runs for a constructor that throws
        throw std::runtime_error("no pseudo-terminal");
    }
    slavePath_ = name;
    // Termios calls on the master act on the slave's line: raw before anybody opens it.
    termios t{};
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
    if (holdSlave_)
        heldSlave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

PtyPair::~PtyPair() {
    CloseMaster();
}

void PtyPair::CloseMaster() {
    if (master_ >= 0) close(master_);
    if (heldSlave_ >= 0) close(heldSlave_);
    master_ = -1;
    heldSlave_ = -1;
}

void PtyPair::Unplug(const std::string& link) {
    CloseMaster();
    std::filesystem::remove(link);
    std::filesystem::create_symlink("/nonexistent/ttyUSB-pulled", link);
}

void PtyPair::Replug(const std::string& link) {
    CloseMaster();
    OpenPair();
    std::filesystem::remove(link);
    std::filesystem::create_symlink(slavePath_, link);
}

bool PtyPair::Write(const void* data, std::size_t length, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < length && master_ >= 0) {
        const ssize_t r = write(master_, bytes + done, length - done);
        if (r > 0) {
            done += static_cast<std::size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN) return false;
        pollfd p{master_, POLLOUT, 0};
        if (poll(&p, 1, Remaining(deadline)) <= 0) return false;
    }
    return done == length;
}

bool PtyPair::Write(const std::string& text, int timeoutMs) {
    return Write(text.data(), text.size(), timeoutMs);
}

std::vector<std::uint8_t> PtyPair::Read(std::size_t n, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<std::uint8_t> out;
    std::uint8_t buffer[4096];
    while (out.size() < n && master_ >= 0) {
        const std::size_t want = std::min(sizeof buffer, n - out.size());
        const ssize_t r = read(master_, buffer, want);
        if (r > 0) {
            out.insert(out.end(), buffer, buffer + r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        const int left = Remaining(deadline);
        if (left == 0) break;
        WaitReadable(std::min(left, 10));
    }
    return out;
}

std::vector<std::uint8_t> PtyPair::ReadUntilQuiet(int quietMs, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<std::uint8_t> out;
    auto quietSince = Clock::now();
    std::uint8_t buffer[4096];
    while (master_ >= 0 && Clock::now() < deadline) {
        const ssize_t r = read(master_, buffer, sizeof buffer);
        if (r > 0) {
            out.insert(out.end(), buffer, buffer + r);
            quietSince = Clock::now();
            continue;
        }
        if (Clock::now() - quietSince >= std::chrono::milliseconds(quietMs)) break;
        WaitReadable(5);
    }
    return out;
}
