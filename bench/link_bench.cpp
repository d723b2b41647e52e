// Measurement reads of the service program's size (123 and then 107 registers) through the real
// port component and link thread, against the recorder simulator pacing its replies as a
// recorder's UART does, at 57600 and 9600 baud, byte by byte and in 14-byte FIFO bursts. For
// each: the reads that failed, the blocks sent again, and the mean time from the request to its
// result beyond the fixed reply waits.
//
//   link_bench [N] [--reply-wait MS]   (default 50 reads; the recorder's 3000 ms wait)
#include "comm/CommPort.h"
#include "link/serial.h"
#include "platform/MainThread.h"
#include "platform/Messages.h"
#include "platform/SerialTermios.h"
#include "support/PtyPair.h"
#include "support/RecorderSim.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// The service program's main form as far as the link sees it, with its data handler.
struct BenchForm : SerialHost {
    explicit BenchForm(const std::string& path) {
        plat::SetSerialDeviceFactory([path](int) { return plat::OpenTermiosDevice(path); });
        CommPort1.SetBaudRate(cbr57600);
        CommPort1.OnDataReceived = [this](TCommPort*, plat::DWORD) {
            Rx.AppendFrom(
                [this](std::uint8_t* to, std::uint32_t n) { return CommPort1.GetBlock(to, n); },
                Chunk, CommPort1.InBuffUsed());
        };
        CommPort1.OpenPort();
        if (!CommPort1.Open) std::abort();
    }
    ~BenchForm() {
        CommPort1.ClosePort();
        plat::SetSerialDeviceFactory({});
    }
    std::uint32_t PutBlock(const std::uint8_t* data, std::uint32_t length) override {
        return CommPort1.PutBlock(data, length);
    }
    ReceiveBuffer& RxBuffer() override { return Rx; }
    void EnableTimer1() override {}
    bool RadioButton1Checked() const override { return false; }

    TCommPort CommPort1;
    ReceiveBuffer Rx;
    std::uint8_t Chunk[ReceiveBuffer::Capacity] = {};
};

struct Figures {
    int failed = 0;
    int resends = 0;
    double beyondMs = 0; // mean, per read
};

Figures RunReads(int reads, unsigned baud, unsigned chunkBytes, const SerialTiming& timing) {
    PtyPair pty;
    RecorderSim sim;
    sim.Serve(pty.MasterFd());
    BenchForm form(pty.SlavePath());
    int result = 0;
    const plat::HWND window = plat::RegisterWindow(
        [&](plat::UINT, plat::WPARAM code, plat::LPARAM) { result = static_cast<int>(code); });
    Figures f;
    double beyond = 0;
    {
        Serial link(window, form, SerialRequestSet::Service, timing);
        for (int read = 0; read < reads; ++read) {
            // The recorder's turnaround varies, so that replies fall in every way across the
            // port's 50 ms status pauses.
            sim.SetPace({baud, chunkBytes, static_cast<unsigned>(read * 7 % 40)});
            result = 0;
            const auto start = Clock::now();
            link.PostCommand(RequestReadMeasurements);
            plat::MainThread::ProcessUntil([&] {
                return result == ResultMeasurementsRead || result == ResultMeasurementsFailed;
            });
            const double ms =
                std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            beyond += ms - 2.0 * timing.ReplyWait;
            f.failed += result != ResultMeasurementsRead;
        }
    }
    plat::UnregisterWindow(window);
    f.resends = sim.FramesReceived(3) - 2 * reads;
    f.beyondMs = beyond / reads;
    sim.Stop();
    return f;
}

} // namespace

int main(int argc, char** argv) {
    int reads = 50;
    SerialTiming timing;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reply-wait") == 0 && i + 1 < argc)
            timing.ReplyWait = static_cast<plat::DWORD>(std::strtoul(argv[++i], nullptr, 10));
        else
            reads = std::max(1, std::atoi(argv[i]));
    }
    plat::MainThread::Bind();
    std::printf("%d measurement reads each (2 blocks, 2 x %u ms reply wait), status pause %u ms\n",
                reads, timing.ReplyWait, TCommPortTiming{}.StatusPauseMs);
    std::printf("%-22s %8s %8s %14s\n", "line", "failed", "resends", "beyond waits");
    const struct {
        unsigned baud, chunk;
        const char* name;
    } lines[] = {{57600, 1, "57600, byte by byte"},
                 {57600, 14, "57600, 14-byte bursts"},
                 {9600, 1, "9600, byte by byte"},
                 {9600, 14, "9600, 14-byte bursts"}};
    for (const auto& l : lines) {
        const Figures f = RunReads(reads, l.baud, l.chunk, timing);
        std::printf("%-22s %8d %8d %11.1f ms\n", l.name, f.failed, f.resends, f.beyondMs);
        std::fflush(stdout);
    }
    return 0;
}
