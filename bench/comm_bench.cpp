// Throughput and CPU cost of the port component over a pseudo-terminal, each way, against a
// plain read/write loop on the same kind of line; and the CPU an open, idle port uses.
//
//   comm_bench [MiB]   (default 4)
#include "comm/CommPort.h"
#include "platform/MainThread.h"
#include "platform/SerialTermios.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::uint8_t PatternByte(std::size_t i) {
    return static_cast<std::uint8_t>((i % 251) ^ (i >> 13));
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) std::abort();
        slave = ptsname(master);
        termios t{};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    ~Pty() { close(master); }
};

// Streams total pattern bytes into fd (blocking).
void Produce(int fd, std::size_t total) {
    std::uint8_t buf[4096];
    std::size_t at = 0;
    while (at < total) {
        const std::size_t n = std::min(sizeof buf, total - at);
        for (std::size_t i = 0; i < n; ++i)
            buf[i] = PatternByte(at + i);
        std::size_t done = 0;
        while (done < n) {
            const ssize_t r = write(fd, buf + done, n - done);
            if (r > 0) {
                done += static_cast<std::size_t>(r);
            } else if (r < 0 && errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                poll(&p, 1, 100);
            } else if (r < 0 && errno != EINTR) {
                return;
            }
        }
        at += n;
    }
}

// Reads from fd until total bytes came or the line stayed silent for 5 s; counts the bytes
// that came in order.
std::size_t Consume(int fd, std::size_t total) {
    std::uint8_t buf[4096];
    std::size_t at = 0, good = 0;
    while (at < total) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) break;
        const ssize_t r = read(fd, buf, sizeof buf);
        if (r <= 0) {
            if (r < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            break;
        }
        for (ssize_t i = 0; i < r; ++i, ++at)
            good += buf[i] == PatternByte(at);
    }
    return good;
}

struct Result {
    double seconds;
    double cpu;
    std::size_t good;
};

void Print(const char* what, std::size_t total, const Result& r) {
    const double mib = static_cast<double>(total) / (1024.0 * 1024.0);
    std::printf("%-34s %12.0f bytes/s   lost %8zu   CPU %.3f s/MiB\n", what,
                static_cast<double>(r.good) / r.seconds, total - r.good, r.cpu / mib);
}

template <class Body> Result Measure(Body body) {
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    const std::size_t good = body();
    return {std::chrono::duration<double>(Clock::now() - t0).count(), CpuSeconds() - cpu0, good};
}

Result PlainLoop(bool towardsSlave, std::size_t total) {
    Pty pty;
    const int slave = open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    const int from = towardsSlave ? pty.master : slave;
    const int to = towardsSlave ? slave : pty.master;
    const Result r = Measure([&] {
        std::thread producer([&] { Produce(from, total); });
        const std::size_t good = Consume(to, total);
        producer.join();
        return good;
    });
    close(slave);
    return r;
}

void UsePty(const Pty& pty) {
    plat::SetSerialDeviceFactory([path = pty.slave](int) { return plat::OpenTermiosDevice(path); });
}

Result PortReceives(std::size_t total, plat::DWORD statusPauseMs) {
    Pty pty;
    UsePty(pty);
    TCommPort port;
    port.Timing.StatusPauseMs = statusPauseMs;
    std::size_t at = 0, good = 0;
    port.OnDataReceived = [&](TCommPort* sender, plat::DWORD) {
        std::uint8_t buf[512];
        while (const std::uint32_t n = sender->GetBlock(buf, sizeof buf))
            for (std::uint32_t i = 0; i < n; ++i, ++at)
                good += buf[i] == PatternByte(at);
    };
    port.SetBaudRate(cbr115200);
    port.OpenPort();
    if (!port.Open) std::abort();
    const Result r = Measure([&] {
        std::thread far([&] { Produce(pty.master, total); });
        auto lastAt = at;
        auto lastProgress = Clock::now();
        plat::MainThread::ProcessUntil([&] {
            if (at != lastAt) {
                lastAt = at;
                lastProgress = Clock::now();
            }
            return at >= total || Clock::now() - lastProgress > std::chrono::seconds(5);
        });
        far.join();
        return good;
    });
    port.ClosePort();
    return r;
}

Result PortSends(std::size_t total) {
    Pty pty;
    UsePty(pty);
    TCommPort port;
    port.SetBaudRate(cbr115200);
    port.OpenPort();
    if (!port.Open) std::abort();
    const Result r = Measure([&] {
        std::atomic<bool> done{false};
        std::size_t good = 0;
        std::thread far([&] {
            good = Consume(pty.master, total);
            done = true;
        });
        // The producer stands where the link thread would: PutBlock takes what fits.
        std::thread link([&] {
            std::uint8_t buf[4096];
            std::size_t at = 0;
            while (at < total && !done) {
                const std::size_t n = std::min(sizeof buf, total - at);
                for (std::size_t i = 0; i < n; ++i)
                    buf[i] = PatternByte(at + i);
                std::size_t put = 0;
                while (put < n && !done) {
                    const std::uint32_t taken =
                        port.PutBlock(buf + put, static_cast<std::uint32_t>(n - put));
                    put += taken;
                    if (taken == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
                at += n;
            }
        });
        plat::MainThread::ProcessUntil([&] { return done.load(); });
        link.join();
        far.join();
        return good;
    });
    port.ClosePort();
    return r;
}

double IdleCpuShare(int seconds) {
    Pty pty;
    UsePty(pty);
    TCommPort port;
    port.OpenPort();
    if (!port.Open) std::abort();
    plat::MainThread::ProcessUntil([] { return false; }, 200);
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double share =
        (CpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - t0).count();
    port.ClosePort();
    return share;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4;
    const std::size_t total = (mib ? mib : 4) * 1024 * 1024;
    plat::MainThread::Bind();
    std::printf("%zu MiB each way over a pseudo-terminal; CPU is the whole process (both "
                "ends)\n",
                total / (1024 * 1024));
    Print("plain loop, far side -> slave", total, PlainLoop(true, total));
    Print("TCommPort receive (OnDataReceived)", total, PortReceives(total, 50));
    // The 50 ms look-later of the status thread bounds a pseudo-terminal's rate (its 4 KiB
    // queue per pause), far above any rate of the baud table; without it:
    Print("  same, status pause 0 ms", total, PortReceives(total, 0));
    Print("plain loop, slave -> far side", total, PlainLoop(false, total));
    Print("TCommPort send (PutBlock)", total, PortSends(total));
    const double idle = IdleCpuShare(5);
    std::printf("open idle port, 5 s: %.3f %% of one core\n", idle * 100.0);
    return 0;
}
