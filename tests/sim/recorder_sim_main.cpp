// recorder_sim: a recorder stand-in on a pseudo-terminal, for trying the programs without a
// recorder. It prints the terminal's path and, with --com N, links it as COMN into the ports
// folder, so that a program opens it as that port. It answers until interrupted.
//
//   recorder_sim [--com N] [--ports DIR] [--fault NAME] [--late MS]
//                [--baud RATE] [--chunk BYTES] [--turnaround MS] [--quiet]
//
// With --baud each reply goes out at that line speed, --chunk bytes per write (default 1: byte
// by byte as a UART sends; 8 or 14 as through a FIFO, 64 as through a USB adapter), starting
// --turnaround ms after the request came in.
//
// Faults: none, noreply, wrongcrc, crclowfirst, otheraddress, exception1, exception2,
// exception4, split, late, held (until the next request), garbage, short (a read's reply cut
// after its first word).
#include "platform/SerialDevice.h"
#include "support/RecorderSim.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int) {
    gStop = 1;
}

struct Options {
    int com = 0;
    std::string ports;
    SimFault fault = SimFault::None;
    unsigned lateMs = 0;
    SimPace pace;
    bool quiet = false;
};

bool ParseFault(const std::string& name, SimFault& fault) {
    static const std::map<std::string, SimFault> names = {
        {"none", SimFault::None},
        {"noreply", SimFault::NoReply},
        {"wrongcrc", SimFault::WrongCrc},
        {"crclowfirst", SimFault::CrcLowFirst},
        {"otheraddress", SimFault::OtherAddress},
        {"exception1", SimFault::Exception1},
        {"exception2", SimFault::Exception2},
        {"exception4", SimFault::Exception4},
        {"split", SimFault::SplitReply},
        {"late", SimFault::LateReply},
        {"held", SimFault::HeldReply},
        {"garbage", SimFault::TrailingGarbage},
        {"short", SimFault::ShortReply},
    };
    auto it = names.find(name);
    if (it == names.end()) return false;
    fault = it->second;
    return true;
}

unsigned Number(const char* text) {
    return static_cast<unsigned>(std::strtoul(text, nullptr, 10));
}

bool ParseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--com" && hasValue) {
            o.com = std::atoi(argv[++i]);
            if (o.com < 1) return false;
        } else if (a == "--ports" && hasValue) {
            o.ports = argv[++i];
        } else if (a == "--fault" && hasValue) {
            if (!ParseFault(argv[++i], o.fault)) return false;
        } else if (a == "--late" && hasValue) {
            o.lateMs = Number(argv[++i]);
        } else if (a == "--baud" && hasValue) {
            o.pace.Baud = Number(argv[++i]);
        } else if (a == "--chunk" && hasValue) {
            o.pace.ChunkBytes = Number(argv[++i]);
            if (o.pace.ChunkBytes < 1) return false;
        } else if (a == "--turnaround" && hasValue) {
            o.pace.TurnaroundMs = Number(argv[++i]);
        } else if (a == "--quiet") {
            o.quiet = true;
        } else {
            return false;
        }
    }
    return true;
}

// Plausible contents: a 220 V supply with a few harmonics, one dip and one swell recorded.
void FillRegisters(RecorderSim& sim) {
    sim.SetRegister(0x0400, 1234);   // factory number
    sim.SetRegister(0x0401, 0x0105); // firmware version
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    const int dow = t.tm_wday == 0 ? 7 : t.tm_wday;
    const int clock[7] = {
        t.tm_sec, t.tm_min, t.tm_hour, dow, t.tm_mday, t.tm_mon + 1, t.tm_year + 1900 - 2000};
    for (int i = 0; i < 7; ++i)
        sim.SetRegister(static_cast<std::uint16_t>(0x040A + i),
                        static_cast<std::uint16_t>(clock[i]));
    sim.SetMeasurement(1, 220.0f);
    for (int n = 2; n <= 50; ++n)
        sim.SetMeasurement(n, n % 2 ? 6.6f / static_cast<float>(n) : 0.05f);
    sim.SetMeasurement(52, 100.0f);
    for (int n = 2; n <= 50; ++n)
        sim.SetMeasurement(51 + n, n % 2 ? 3.0f / static_cast<float>(n) : 0.02f);
    sim.SetMeasurement(103, 220.1f);
    sim.SetMeasurement(104, 50.012f);
    sim.SetMeasurement(105, 0.05f);
    sim.SetMeasurement(106, 1.234f);
    sim.SetMeasurement(107, 2.5f);
    sim.SetMeasurement(108, 0.012f);
    sim.SetMeasurement(110, 0.0215f);
    sim.SetMeasurement(111, 45.5f);
    sim.SetMeasurement(113, 0.52f);
    sim.SetMeasurement(114, 1.15f);
    // Bits 0x01 and 0x08: nd307's diagnostics show the card as not inserted ("карта не
    // установлена"), the card type SD and the timer as faulty ("неисправность"), so that a trial
    // sees the texts of a recorder in need of service.
    sim.SetDiagnosticWord(0x0009);
}

// A raw pseudo-terminal; the slave stays open here so that its settings hold between the
// program's openings and the master never sees a hang-up.
bool OpenPty(int& master, int& slave, std::string& path) {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return false;
    char name[128];
    if (::ptsname_r(master, name, sizeof name) != 0) return false;
    path = name;
    slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) return false;
    termios tio{};
    if (::tcgetattr(slave, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    return ::tcsetattr(slave, TCSANOW, &tio) == 0;
}

void PrintFrames(const RecorderSim& sim, std::size_t& shown) {
    const auto frames = sim.Frames();
    for (; shown < frames.size(); ++shown) {
        std::printf("<-");
        for (std::uint8_t b : frames[shown])
            std::printf(" %02X", b);
        std::printf("\n");
    }
    std::fflush(stdout);
}

// Links the terminal as COM<n> in the ports folder, in place of an earlier link of that name.
bool LinkAsCom(const Options& o, const std::string& path, std::filesystem::path& link) {
    const std::filesystem::path folder = o.ports.empty() ? plat::PortsFolder() : o.ports;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    link = folder / ("COM" + std::to_string(o.com));
    std::filesystem::remove(link, ec);
    std::filesystem::create_symlink(path, link, ec);
    if (!ec) return true;
    std::fprintf(stderr, "recorder_sim: cannot link %s: %s\n", link.c_str(), ec.message().c_str());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseArgs(argc, argv, o)) {
        std::fprintf(stderr, "usage: recorder_sim [--com N] [--ports DIR] [--fault NAME] "
                             "[--late MS] [--baud RATE] [--chunk BYTES] [--turnaround MS] "
                             "[--quiet]\n");
        return 2;
    }
    int master = -1;
    int slave = -1;
    std::string path;
    if (!OpenPty(master, slave, path)) {
        std::fprintf(stderr, "recorder_sim: no pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    std::filesystem::path link;
    if (o.com > 0 && !LinkAsCom(o, path, link)) return 1;
    std::printf("%s\n", path.c_str());
    if (!link.empty()) std::printf("linked as %s\n", link.c_str());
    std::fflush(stdout);

    RecorderSim sim;
    FillRegisters(sim);
    sim.SetPersistentFault(o.fault);
    if (o.lateMs > 0) sim.SetLateDelay(o.lateMs);
    sim.SetPace(o.pace);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    sim.Serve(master);
    std::size_t shown = 0;
    while (!gStop) {
        ::usleep(50 * 1000);
        if (!o.quiet) PrintFrames(sim, shown);
    }
    sim.Stop();
    if (!link.empty()) {
        std::error_code ec;
        std::filesystem::remove(link, ec);
    }
    ::close(slave);
    ::close(master);
    return 0;
}
