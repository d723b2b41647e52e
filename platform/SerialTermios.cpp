// The termios device. It speaks to the kernel through termios2 (any baud rate) and therefore
// includes the kernel's own terminal headers instead of <termios.h> and <sys/ioctl.h>, which
// clash with them.
#include "platform/SerialTermios.h"

#include "platform/SerialLine.h"

#include <asm/ioctls.h>
#include <linux/serial.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace plat {

namespace {

using Clock = std::chrono::steady_clock;

DWORD ErrorFromErrno(int e) {
    switch (e) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
    case ENOTTY:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
        return ERROR_ACCESS_DENIED;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EIO:
    case EPIPE:
        return ERROR_DEVICE_NOT_CONNECTED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

bool Fail(DWORD code) {
    SetLastError(code);
    return false;
}

bool FailErrno() {
    return Fail(ErrorFromErrno(errno));
}

// A pseudo-terminal (and some adapters) has no modem lines, no break and no error counters.
bool Unsupported(int e) {
    return e == ENOTTY || e == EINVAL;
}

void Signal(int efd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t r = write(efd, &one, sizeof one);
}

void Drain(int efd) {
    std::uint64_t count;
    [[maybe_unused]] ssize_t r = read(efd, &count, sizeof count);
}

int PollRetrying(pollfd* fds, nfds_t n, int timeout) {
    for (;;) {
        const int r = poll(fds, n, timeout);
        if (r >= 0 || errno != EINTR) return r;
    }
}

constexpr short HungUp = POLLHUP | POLLERR | POLLNVAL;

// Where path leads (a link in the ports folder, a /dev/serial/by-id name); empty when it leads
// nowhere.
std::string ResolvedDevice(const std::string& path) {
    std::string device;
    if (char* real = realpath(path.c_str(), nullptr)) {
        device = real;
        std::free(real);
    }
    return device;
}

// "path (device)", or path alone when it is the device or leads nowhere.
std::string PathAndDevice(const std::string& path, const std::string& device) {
    return device.empty() || device == path ? path : path + " (" + device + ")";
}

constexpr DWORD LineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR;

DWORD ModemBits(int lines) {
    DWORD status = 0;
    if (lines & TIOCM_CTS) status |= MS_CTS_ON;
    if (lines & TIOCM_DSR) status |= MS_DSR_ON;
    if (lines & TIOCM_RNG) status |= MS_RING_ON;
    if (lines & TIOCM_CD) status |= MS_RLSD_ON;
    return status;
}

class TermiosDevice final : public SerialDevice {
public:
    TermiosDevice(int fd, const TermiosOptions& options, const termios2& found, bool foundExclusive,
                  std::string path);
    ~TermiosDevice() override;

    bool Start();

    bool SetupComm(DWORD inQueue, DWORD outQueue) override;
    bool GetCommState(DCB& dcb) override;
    bool SetCommState(const DCB& dcb) override;
    bool SetCommTimeouts(const COMMTIMEOUTS& timeouts) override;
    bool SetCommMask(DWORD mask) override;
    bool WaitCommEvent(DWORD& mask, Overlapped& ov) override;
    bool GetCommEventResult(Overlapped& ov, DWORD& mask) override;
    bool ReadFile(void* buffer, DWORD n, DWORD& got) override;
    bool WriteFile(const void* buffer, DWORD n, DWORD& written, Overlapped* ov,
                   DWORD holdMs) override;
    bool ClearCommError(DWORD& errors, COMSTAT& stat) override;
    bool PurgeComm(DWORD flags) override;
    bool EscapeCommFunction(DWORD function) override;
    bool GetCommModemStatus(DWORD& status) override;
    bool Gone() const override { return gone_.load(); }

private:
    // The members below that are marked so are guarded by m_.
    DWORD CollectEvents();                        // m_ held
    void CollectModemLines(DWORD& ev);            // m_ held
    void CollectCounters(DWORD& ev);              // m_ held
    int WatchLine(pollfd& line) const;            // m_ held
    bool CompleteWait(DWORD& mask, DWORD events); // m_ held
    bool EndWait(DWORD code);
    bool LineGone(DWORD& mask);
    bool MarkGone(int error);
    void BecomeGone(int error); // m_ held
    void LeaveAsFound();
    DWORD WaitWritable(Overlapped* ov, unsigned aborts, int timeout);
    void NoteWritten();
    void ApplyLineControl(DWORD oldFlags, DWORD newFlags);
    bool SetLine(int bit, bool on);
    bool DrainOutput();

    const int fd_; // once the device is gone, /dev/null
    const TermiosOptions options_;
    const std::string path_;    // what the port was opened by
    const std::string device_;  // where path_ led at the open: a dangling link tells nothing later
    const termios2 found_;      // the settings in force before the open, restored at the close
    const bool foundExclusive_; // another user's exclusive flag, left as it was
    const int wakeFd_;          // wakes a pending comm-event wait
    const int abortFd_;         // wakes a write that PURGE_TXABORT ends
    std::atomic<unsigned> aborts_{0};

    std::mutex m_;
    DCB dcb_;                            // m_
    COMMTIMEOUTS timeouts_;              // m_
    DWORD inQueue_ = 0;                  // m_
    DWORD outQueue_ = 0;                 // m_
    DWORD mask_ = 0;                     // m_
    bool waitPending_ = false;           // m_
    bool maskChanged_ = false;           // m_
    DWORD rxSeen_ = 0;                   // m_: waiting bytes already reported by EV_RXCHAR
    bool txPending_ = false;             // m_: written bytes not yet reported by EV_TXEMPTY
    bool rxFlag_ = false;                // m_
    DWORD errors_ = 0;                   // m_
    bool modemLines_ = true;             // m_
    bool counters_ = true;               // m_
    int lastLines_ = 0;                  // m_
    serial_icounter_struct lastCount_{}; // m_
    // Changed under m_; read without it by the calls that use fd_ outside m_.
    std::atomic<bool> gone_{false};
};

TermiosDevice::TermiosDevice(int fd, const TermiosOptions& options, const termios2& found,
                             bool foundExclusive, std::string path)
    : fd_(fd), options_(options), path_(std::move(path)), device_(ResolvedDevice(path_)),
      found_(found), foundExclusive_(foundExclusive),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      abortFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), dcb_(DcbFromTermios(found)) {}

// Only output that a drain gave up on is dropped (so that close() cannot block on it): on a
// pseudo-terminal a flush would discard bytes the far side has not read yet. A device that is
// gone was left when it went.
TermiosDevice::~TermiosDevice() {
    if (!gone_) {
        if (!DrainOutput()) ioctl(fd_, TCFLSH, TCOFLUSH);
        LeaveAsFound();
    }
    close(fd_);
    if (wakeFd_ >= 0) close(wakeFd_);
    if (abortFd_ >= 0) close(abortFd_);
}

void TermiosDevice::LeaveAsFound() {
    ioctl(fd_, TCSETS2, &found_);
    // Ours, left set, would refuse every later open of a pseudo-terminal.
    if (!foundExclusive_) ioctl(fd_, TIOCNXCL);
}

// Raw mode, the baselines of the line watch, and an empty input queue as a freshly opened
// port has.
bool TermiosDevice::Start() {
    if (wakeFd_ < 0 || abortFd_ < 0) return Fail(ERROR_GEN_FAILURE);
    DCB initial;
    GetCommState(initial);
    if (!SetCommState(initial)) return false;
    std::lock_guard lock(m_);
    if (ioctl(fd_, TIOCMGET, &lastLines_) != 0) modemLines_ = false;
    if (ioctl(fd_, TIOCGICOUNT, &lastCount_) != 0) counters_ = false;
    ioctl(fd_, TCFLSH, TCIFLUSH);
    return true;
}

// Waits while the driver still sends and makes progress; false when it gave up with output
// left.
bool TermiosDevice::DrainOutput() {
    auto lastProgress = Clock::now();
    int previous = -1;
    int queued = 0;
    while (ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) {
        const auto now = Clock::now();
        if (queued != previous) {
            previous = queued;
            lastProgress = now;
        } else if (now - lastProgress >= std::chrono::milliseconds(options_.CloseDrainMs)) {
            return false;
        }
        usleep(10000);
    }
    return true;
}

bool TermiosDevice::SetupComm(DWORD inQueue, DWORD outQueue) {
    // The kernel's queues have fixed sizes; the request is only remembered.
    std::lock_guard lock(m_);
    inQueue_ = inQueue;
    outQueue_ = outQueue;
    return true;
}

bool TermiosDevice::GetCommState(DCB& dcb) {
    std::lock_guard lock(m_);
    dcb = dcb_;
    return true;
}

bool TermiosDevice::SetCommState(const DCB& dcb) {
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS || dcb.BaudRate == 0)
        return Fail(ERROR_INVALID_PARAMETER);
    if (gone_) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    const termios2 t = TermiosFromDcb(dcb);
    if (ioctl(fd_, TCSETS2, &t) != 0) return FailErrno();
    DWORD oldFlags;
    {
        std::lock_guard lock(m_);
        oldFlags = dcb_.Flags;
        dcb_ = dcb;
    }
    ApplyLineControl(oldFlags, dcb.Flags);
    return true;
}

// DTR and RTS follow a change of their control mode; an unchanged mode leaves the lines as
// the escape functions set them. Under handshake a line is raised and then belongs to the
// handshake (the kernel drives RTS; DTR stays up, telling the far side there is room).
void TermiosDevice::ApplyLineControl(DWORD oldFlags, DWORD newFlags) {
    const DWORD dtr = newFlags & DCB_DTR_CONTROL_MASK;
    if (dtr != (oldFlags & DCB_DTR_CONTROL_MASK)) SetLine(TIOCM_DTR, dtr != DCB_DTR_DISABLE);
    const DWORD rts = newFlags & DCB_RTS_CONTROL_MASK;
    if (rts != (oldFlags & DCB_RTS_CONTROL_MASK)) SetLine(TIOCM_RTS, rts != DCB_RTS_DISABLE);
}

bool TermiosDevice::SetLine(int bit, bool on) {
    return ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0 || Unsupported(errno) || FailErrno();
}

bool TermiosDevice::SetCommTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(m_);
    timeouts_ = timeouts;
    return true;
}

bool TermiosDevice::SetCommMask(DWORD mask) {
    std::lock_guard lock(m_);
    mask_ = mask;
    if (waitPending_) {
        maskChanged_ = true;
        Signal(wakeFd_);
    }
    return true;
}

void TermiosDevice::CollectModemLines(DWORD& ev) {
    if (!modemLines_) return;
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) != 0) {
        if (Unsupported(errno)) modemLines_ = false;
        return;
    }
    const int changed = lines ^ lastLines_;
    if (changed & TIOCM_CTS) ev |= EV_CTS;
    if (changed & TIOCM_DSR) ev |= EV_DSR;
    if (changed & TIOCM_CD) ev |= EV_RLSD;
    if ((changed & TIOCM_RNG) && (lines & TIOCM_RNG)) ev |= EV_RING;
    lastLines_ = lines;
}

// Break and line errors, from the driver's counters.
void TermiosDevice::CollectCounters(DWORD& ev) {
    if (!counters_) return;
    serial_icounter_struct c{};
    if (ioctl(fd_, TIOCGICOUNT, &c) != 0) {
        if (Unsupported(errno)) counters_ = false;
        return;
    }
    DWORD errors = 0;
    if (c.frame != lastCount_.frame) errors |= CE_FRAME;
    if (c.overrun != lastCount_.overrun) errors |= CE_OVERRUN;
    if (c.parity != lastCount_.parity) errors |= CE_RXPARITY;
    if (c.buf_overrun != lastCount_.buf_overrun) errors |= CE_RXOVER;
    if (errors) ev |= EV_ERR;
    if (c.brk != lastCount_.brk) {
        ev |= EV_BREAK;
        errors |= CE_BREAK;
    }
    errors_ |= errors;
    lastCount_ = c;
}

DWORD TermiosDevice::CollectEvents() {
    DWORD ev = 0;
    if (!gone_) {
        int waiting = 0;
        if (ioctl(fd_, FIONREAD, &waiting) == 0) {
            const auto now = static_cast<DWORD>(waiting);
            if (now > rxSeen_) ev |= EV_RXCHAR;
            rxSeen_ = now;
        }
        if (txPending_) {
            int queued = 0;
            if (!(mask_ & EV_TXEMPTY) || ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued == 0) {
                txPending_ = false;
                ev |= EV_TXEMPTY;
            }
        }
        CollectModemLines(ev);
        CollectCounters(ev);
    }
    if (rxFlag_) {
        rxFlag_ = false;
        ev |= EV_RXFLAG;
    }
    return ev & mask_;
}

// What a pending wait polls the line for, and for how long. Waits that find nothing to report
// sleep in poll; only a device with modem lines (looked at every few tens of ms), unread
// reported bytes or output still being sent need a tick. POLLIN is level-triggered: it is asked
// for only when no reported byte is unread. A device that is gone is not polled at all.
int TermiosDevice::WatchLine(pollfd& line) const {
    if (gone_) return -1;
    const bool edge = (mask_ & EV_RXCHAR) && rxSeen_ == 0;
    line = {fd_, static_cast<short>(edge ? POLLIN : 0), 0};
    const bool lines = (modemLines_ || counters_) && (mask_ & LineEvents);
    const bool unread = (mask_ & EV_RXCHAR) && rxSeen_ > 0;
    const bool sending = txPending_ && (mask_ & EV_TXEMPTY);
    return lines || unread || sending ? static_cast<int>(options_.ModemPollMs) : -1;
}

bool TermiosDevice::WaitCommEvent(DWORD& mask, Overlapped&) {
    std::lock_guard lock(m_);
    if (waitPending_) return Fail(ERROR_INVALID_PARAMETER);
    maskChanged_ = false;
    const DWORD ev = CollectEvents();
    if (ev) {
        mask = ev;
        return true;
    }
    waitPending_ = true;
    return Fail(ERROR_IO_PENDING);
}

bool TermiosDevice::CompleteWait(DWORD& mask, DWORD events) {
    waitPending_ = false;
    maskChanged_ = false;
    mask = events;
    return true;
}

bool TermiosDevice::EndWait(DWORD code) {
    std::lock_guard lock(m_);
    waitPending_ = false;
    return Fail(code);
}

// The line hung up: the events it still has are reported first; after that the device is
// gone for good and later waits sleep until cancelled.
bool TermiosDevice::LineGone(DWORD& mask) {
    std::lock_guard lock(m_);
    if (const DWORD ev = CollectEvents()) return CompleteWait(mask, ev);
    BecomeGone(0);
    waitPending_ = false;
    return Fail(ERROR_DEVICE_NOT_CONNECTED);
}

bool TermiosDevice::GetCommEventResult(Overlapped& ov, DWORD& mask) {
    for (;;) {
        Drain(wakeFd_);
        pollfd fds[3] = {{wakeFd_, POLLIN, 0}, {ov.Fd(), POLLIN, 0}, {-1, 0, 0}};
        int timeout;
        {
            std::lock_guard lock(m_);
            if (!waitPending_) return Fail(ERROR_INVALID_PARAMETER);
            if (maskChanged_) return CompleteWait(mask, 0);
            if (const DWORD ev = CollectEvents()) return CompleteWait(mask, ev);
            timeout = WatchLine(fds[2]);
        }
        if (PollRetrying(fds, 3, timeout) < 0) return EndWait(ErrorFromErrno(errno));
        if (fds[1].revents) return EndWait(ERROR_OPERATION_ABORTED);
        if (fds[2].revents & HungUp) return LineGone(mask);
    }
}

// error is the errno of the failed call, 0 for a hang-up.
bool TermiosDevice::MarkGone(int error) {
    std::lock_guard lock(m_);
    BecomeGone(error);
    Signal(wakeFd_);
    return Fail(error ? ErrorFromErrno(error) : ERROR_DEVICE_NOT_CONNECTED);
}

// Said once, however many threads find the line dead. The terminal is let go at once, so that
// the kernel can give a replugged adapter its old name: /dev/null takes the descriptor's place
// in one step (a call in flight in another thread keeps the old file until it returns), which
// drops our lock and our hold on the terminal. From here on every call fails before it uses
// fd_: a write to /dev/null would succeed.
void TermiosDevice::BecomeGone(int error) {
    if (gone_.exchange(true)) return;
    LeaveAsFound();
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        dup3(null, fd_, O_CLOEXEC);
        close(null);
    }
    std::fprintf(stderr, "%s\n", GoneText(path_, device_, error).c_str());
}

bool TermiosDevice::ReadFile(void* buffer, DWORD n, DWORD& got) {
    got = 0;
    std::unique_lock lock(m_);
    if (gone_) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    if (n == 0) return true;
    ssize_t r;
    do {
        r = read(fd_, buffer, n);
    } while (r < 0 && errno == EINTR);
    if (r < 0 && errno == EAGAIN) return true;
    if (r <= 0) {
        // 0 is a hang-up (VMIN is 1), EIO a device that went away.
        const int error = r == 0 ? 0 : errno;
        lock.unlock();
        return MarkGone(error);
    }
    got = static_cast<DWORD>(r);
    rxSeen_ = rxSeen_ > got ? rxSeen_ - got : 0;
    bool wake = rxSeen_ == 0;
    if ((mask_ & EV_RXFLAG) && std::memchr(buffer, dcb_.EvtChar, got)) {
        rxFlag_ = true;
        wake = true;
    }
    if (wake && waitPending_) Signal(wakeFd_);
    return true;
}

void TermiosDevice::NoteWritten() {
    std::lock_guard lock(m_);
    txPending_ = true;
    if (waitPending_) Signal(wakeFd_);
}

bool TermiosDevice::WriteFile(const void* buffer, DWORD n, DWORD& written, Overlapped* ov,
                              DWORD holdMs) {
    written = 0;
    Drain(abortFd_);
    const unsigned aborts = aborts_.load();
    const auto* bytes = static_cast<const BYTE*>(buffer);
    auto lastProgress = Clock::now();
    struct Note {
        TermiosDevice* device;
        DWORD& written;
        ~Note() {
            if (written > 0) device->NoteWritten();
        }
    } note{this, written};
    while (written < n) {
        if (gone_) return Fail(ERROR_DEVICE_NOT_CONNECTED);
        if (aborts_.load() != aborts) return Fail(ERROR_OPERATION_ABORTED);
        const ssize_t r = write(fd_, bytes + written, n - written);
        if (r > 0) {
            written += static_cast<DWORD>(r);
            lastProgress = Clock::now();
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r == 0 || errno != EAGAIN) return MarkGone(r == 0 ? 0 : errno);
        int timeout = -1;
        if (holdMs != INFINITE) {
            const auto held =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProgress)
                    .count();
            if (held >= holdMs) return Fail(ERROR_SEM_TIMEOUT);
            timeout = static_cast<int>(holdMs - held);
        }
        if (const DWORD error = WaitWritable(ov, aborts, timeout)) return Fail(error);
    }
    return true;
}

// Waits until the line takes bytes again; an error code when the wait is cancelled or the
// device went away, else 0 (also when the time ran out: the caller looks at the time).
DWORD TermiosDevice::WaitWritable(Overlapped* ov, unsigned aborts, int timeout) {
    pollfd fds[3] = {{fd_, POLLOUT, 0}, {abortFd_, POLLIN, 0}, {ov ? ov->Fd() : -1, POLLIN, 0}};
    if (PollRetrying(fds, 3, timeout) < 0) return ErrorFromErrno(errno);
    if (fds[2].revents) return ERROR_OPERATION_ABORTED;
    if (fds[1].revents && aborts_.load() == aborts) Drain(abortFd_); // an older purge
    if (fds[0].revents & HungUp) {
        MarkGone(0);
        return ERROR_DEVICE_NOT_CONNECTED;
    }
    return 0;
}

bool TermiosDevice::ClearCommError(DWORD& errors, COMSTAT& stat) {
    std::lock_guard lock(m_);
    if (gone_) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    int waiting = 0;
    if (ioctl(fd_, FIONREAD, &waiting) != 0) return FailErrno();
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0) queued = 0;
    stat.cbInQue = static_cast<DWORD>(waiting);
    stat.cbOutQue = static_cast<DWORD>(queued);
    errors = errors_;
    errors_ = 0;
    return true;
}

bool TermiosDevice::PurgeComm(DWORD flags) {
    if (flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        return Fail(ERROR_INVALID_PARAMETER);
    if (flags & PURGE_TXABORT) {
        aborts_.fetch_add(1);
        Signal(abortFd_);
    }
    std::lock_guard lock(m_);
    if (gone_) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    bool ok = true;
    if (flags & PURGE_RXCLEAR) {
        ok = ioctl(fd_, TCFLSH, TCIFLUSH) == 0 && ok;
        rxSeen_ = 0;
    }
    if (flags & PURGE_TXCLEAR) ok = ioctl(fd_, TCFLSH, TCOFLUSH) == 0 && ok;
    return ok || FailErrno();
}

bool TermiosDevice::EscapeCommFunction(DWORD function) {
    if (gone_) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    DWORD flags;
    {
        std::lock_guard lock(m_);
        flags = dcb_.Flags;
    }
    switch (function) {
    case SETDTR:
    case CLRDTR:
        if ((flags & DCB_DTR_CONTROL_MASK) == DCB_DTR_HANDSHAKE) break;
        return SetLine(TIOCM_DTR, function == SETDTR);
    case SETRTS:
    case CLRRTS:
        if ((flags & DCB_RTS_CONTROL_MASK) == DCB_RTS_HANDSHAKE) break;
        return SetLine(TIOCM_RTS, function == SETRTS);
    case SETBREAK:
    case CLRBREAK:
        return ioctl(fd_, function == SETBREAK ? TIOCSBRK : TIOCCBRK) == 0 || Unsupported(errno) ||
               FailErrno();
    default:
        break;
    }
    // Unknown functions, and a line that the handshake drives.
    return Fail(ERROR_INVALID_PARAMETER);
}

bool TermiosDevice::GetCommModemStatus(DWORD& status) {
    if (gone_) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) == 0) {
        status = ModemBits(lines);
        return true;
    }
    if (!Unsupported(errno)) return FailErrno();
    status = 0;
    return true;
}

} // namespace

std::string OpenFailureText(const std::string& path, const std::string& device, int error,
                            const std::string& group) {
    std::string text = "Can't open " + PathAndDevice(path, device) + ": " + std::strerror(error);
    if ((error == EACCES || error == EPERM) && !group.empty()) {
        text += "; the user must belong to the group \"" + group + "\" that owns the device";
    } else if (error == EACCES || error == EPERM) {
        text += "; the device grants no group read and write access, so only its owner or root "
                "can open it";
    } else if (error == EBUSY || error == EWOULDBLOCK) {
        text += "; another program is using the device";
    }
    return text;
}

std::string GoneText(const std::string& path, const std::string& device, int error) {
    return "Lost " + PathAndDevice(path, device) + ": " +
           (error ? std::strerror(error) : "the line hung up");
}

// The group whose members may read and write the device (its name, or its number when it has
// none); empty when the device's group has not both rights.
std::string DeviceAccessGroup(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return {};
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
    char names[1024];
    struct group entry;
    struct group* found = nullptr;
    if (getgrgid_r(st.st_gid, &entry, names, sizeof names, &found) == 0 && found)
        return found->gr_name;
    return std::to_string(st.st_gid);
}

namespace {

// Where the path leads and the group that may use the device, for the user's diagnosis.
void ReportOpenFailure(const std::string& path, int error) {
    std::fprintf(
        stderr, "%s\n",
        OpenFailureText(path, ResolvedDevice(path), error, DeviceAccessGroup(path)).c_str());
}

bool FailOpen(const std::string& path, int fd) {
    const int error = errno;
    if (fd >= 0) close(fd);
    ReportOpenFailure(path, error);
    errno = error;
    return FailErrno();
}

} // namespace

std::unique_ptr<SerialDevice> OpenTermiosDevice(const std::string& path,
                                                const TermiosOptions& options) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // flock as well as TIOCEXCL: root ignores the exclusive flag. A flag found set (only root
    // gets this far then) belongs to another program and stays.
    termios2 t{};
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TCGETS2, &t) != 0) {
        FailOpen(path, fd);
        return nullptr;
    }
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) != 0) exclusive = 0;
    if (!exclusive) ioctl(fd, TIOCEXCL);
    auto device = std::make_unique<TermiosDevice>(fd, options, t, exclusive != 0, path);
    if (!device->Start()) {
        const DWORD code = GetLastError();
        device.reset();
        SetLastError(code);
        return nullptr;
    }
    return device;
}

} // namespace plat
