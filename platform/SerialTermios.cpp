// The termios device. It speaks to the kernel through termios2 (any baud rate) and therefore
// includes the kernel's own terminal headers instead of <termios.h> and <sys/ioctl.h>, which
// clash with them.
#include "platform/SerialTermios.h"

#include <asm/ioctls.h>
#include <asm/termios.h>
#include <linux/serial.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

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

constexpr short Gone = POLLHUP | POLLERR | POLLNVAL;
constexpr DWORD LineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR;

tcflag_t SizeFlag(BYTE byteSize) {
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

tcflag_t ParityFlags(BYTE parity) {
    switch (parity) {
    case ODDPARITY:
        return PARENB | PARODD;
    case EVENPARITY:
        return PARENB;
    case MARKPARITY:
        return PARENB | CMSPAR | PARODD;
    case SPACEPARITY:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

// Standard rates keep their termios constant (what other tools show); any other rate is set
// as an arbitrary one.
tcflag_t SpeedFlag(DWORD baud) {
    static constexpr struct {
        DWORD rate;
        tcflag_t flag;
    } Rates[] = {{110, B110},       {300, B300},      {600, B600},       {1200, B1200},
                 {2400, B2400},     {4800, B4800},    {9600, B9600},     {19200, B19200},
                 {38400, B38400},   {57600, B57600},  {115200, B115200}, {230400, B230400},
                 {460800, B460800}, {921600, B921600}};
    for (const auto& r : Rates)
        if (r.rate == baud) return r.flag;
    return BOTHER;
}

// The raw line, built from scratch each time so nothing of a previous user's settings (echo,
// IXANY, canonical mode) survives. Linux has no DSR flow control: under the hardware handshake
// only CTS holds the output.
termios2 RawTermios(const DCB& dcb) {
    termios2 t{};
    t.c_iflag = IGNBRK;
    if (dcb.Flags & DCB_OUTX) t.c_iflag |= IXON;
    if (dcb.Flags & DCB_INX) t.c_iflag |= IXOFF;
    if (dcb.Flags & DCB_PARITY) t.c_iflag |= INPCK;
    t.c_cflag = CREAD | CLOCAL | HUPCL | SpeedFlag(dcb.BaudRate) | SizeFlag(dcb.ByteSize) |
                ParityFlags(dcb.Parity);
    if (dcb.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
    const bool rtsHandshake = (dcb.Flags & DCB_RTS_CONTROL_MASK) == DCB_RTS_HANDSHAKE;
    if ((dcb.Flags & DCB_OUTX_CTS_FLOW) || rtsHandshake) t.c_cflag |= CRTSCTS;
    t.c_ispeed = dcb.BaudRate;
    t.c_ospeed = dcb.BaudRate;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = dcb.XonChar;
    t.c_cc[VSTOP] = dcb.XoffChar;
    return t;
}

// The line state as the driver has it when the device is opened.
DCB StateFromTermios(const termios2& t) {
    DCB dcb;
    dcb.BaudRate = t.c_ospeed ? t.c_ospeed : 9600;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        dcb.ByteSize = 5;
        break;
    case CS6:
        dcb.ByteSize = 6;
        break;
    case CS7:
        dcb.ByteSize = 7;
        break;
    default:
        dcb.ByteSize = 8;
    }
    if (t.c_cflag & PARENB) {
        const bool odd = t.c_cflag & PARODD;
        if (t.c_cflag & CMSPAR)
            dcb.Parity = odd ? MARKPARITY : SPACEPARITY;
        else
            dcb.Parity = odd ? ODDPARITY : EVENPARITY;
    }
    dcb.StopBits = (t.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    dcb.Flags = DCB_BINARY | DCB_DTR_ENABLE;
    dcb.Flags |= (t.c_cflag & CRTSCTS) ? DCB_OUTX_CTS_FLOW | DCB_RTS_HANDSHAKE : DCB_RTS_ENABLE;
    if (t.c_iflag & IXON) dcb.Flags |= DCB_OUTX;
    if (t.c_iflag & IXOFF) dcb.Flags |= DCB_INX;
    dcb.XonChar = t.c_cc[VSTART];
    dcb.XoffChar = t.c_cc[VSTOP];
    return dcb;
}

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
    TermiosDevice(int fd, const TermiosOptions& options, const DCB& initial);
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

private:
    // The members below that are marked so are guarded by m_.
    DWORD CollectEvents();                        // m_ held
    void CollectModemLines(DWORD& ev);            // m_ held
    void CollectCounters(DWORD& ev);              // m_ held
    int WatchLine(pollfd& line) const;            // m_ held
    bool CompleteWait(DWORD& mask, DWORD events); // m_ held
    bool EndWait(DWORD code);
    bool LineGone(DWORD& mask);
    bool MarkGone(DWORD code);
    DWORD WaitWritable(Overlapped* ov, unsigned aborts, int timeout);
    void NoteWritten();
    void ApplyLineControl(DWORD oldFlags, DWORD newFlags);
    bool SetLine(int bit, bool on);
    void DrainOutput();

    const int fd_;
    const TermiosOptions options_;
    const int wakeFd_;  // wakes a pending comm-event wait
    const int abortFd_; // wakes a write that PURGE_TXABORT ends
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
    bool gone_ = false;                  // m_
};

TermiosDevice::TermiosDevice(int fd, const TermiosOptions& options, const DCB& initial)
    : fd_(fd), options_(options), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      abortFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), dcb_(initial) {}

TermiosDevice::~TermiosDevice() {
    DrainOutput();
    ioctl(fd_, TCFLSH, TCOFLUSH);
    // Left set, the exclusive flag would refuse every later open of a pseudo-terminal.
    ioctl(fd_, TIOCNXCL);
    close(fd_);
    if (wakeFd_ >= 0) close(wakeFd_);
    if (abortFd_ >= 0) close(abortFd_);
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

void TermiosDevice::DrainOutput() {
    auto lastProgress = Clock::now();
    int previous = -1;
    int queued = 0;
    while (ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) {
        const auto now = Clock::now();
        if (queued != previous) {
            previous = queued;
            lastProgress = now;
        } else if (now - lastProgress >= std::chrono::milliseconds(options_.CloseDrainMs)) {
            break;
        }
        usleep(10000);
    }
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
    const termios2 t = RawTermios(dcb);
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
    gone_ = true;
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
        if (fds[2].revents & Gone) return LineGone(mask);
    }
}

bool TermiosDevice::MarkGone(DWORD code) {
    std::lock_guard lock(m_);
    gone_ = true;
    Signal(wakeFd_);
    return Fail(code);
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
        const DWORD code = r == 0 ? ERROR_DEVICE_NOT_CONNECTED : ErrorFromErrno(errno);
        lock.unlock();
        return MarkGone(code);
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
        if (aborts_.load() != aborts) return Fail(ERROR_OPERATION_ABORTED);
        const ssize_t r = write(fd_, bytes + written, n - written);
        if (r > 0) {
            written += static_cast<DWORD>(r);
            lastProgress = Clock::now();
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r == 0 || errno != EAGAIN)
            return MarkGone(r == 0 ? ERROR_GEN_FAILURE : ErrorFromErrno(errno));
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
    if (fds[0].revents & Gone) {
        MarkGone(ERROR_DEVICE_NOT_CONNECTED);
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
    bool ok = true;
    if (flags & PURGE_RXCLEAR) {
        ok = ioctl(fd_, TCFLSH, TCIFLUSH) == 0 && ok;
        rxSeen_ = 0;
    }
    if (flags & PURGE_TXCLEAR) ok = ioctl(fd_, TCFLSH, TCOFLUSH) == 0 && ok;
    return ok || FailErrno();
}

bool TermiosDevice::EscapeCommFunction(DWORD function) {
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

std::unique_ptr<SerialDevice> OpenTermiosDevice(const std::string& path,
                                                const TermiosOptions& options) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        FailErrno();
        return nullptr;
    }
    // flock as well as TIOCEXCL: root ignores the exclusive flag.
    termios2 t{};
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TCGETS2, &t) != 0) {
        FailErrno();
        close(fd);
        return nullptr;
    }
    ioctl(fd, TIOCEXCL);
    auto device = std::make_unique<TermiosDevice>(fd, options, StateFromTermios(t));
    if (!device->Start()) {
        const DWORD code = GetLastError();
        device.reset();
        SetLastError(code);
        return nullptr;
    }
    return device;
}

} // namespace plat
