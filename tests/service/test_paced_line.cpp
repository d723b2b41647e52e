// The service program's longest exchange, the measurement read (123 and then 107 registers),
// against a recorder that sends its replies at 57600 baud as a UART does: byte by byte, in FIFO
// bursts or in adapter packets. The port keeps its real 50 ms status pause, so a reply arrives
// in several pieces; every piece must reach the receive buffer. Twenty reads each, so that a
// loss that strikes one read in ten shows.
#include "Fixture.h"

#include "support/BusyMachine.h"
#include "support/PacedLine.h"

#include <optional>

namespace {

// What the program runs with, taken before any test shortens it.
const SerialTiming ProgramTiming = TNdForm::LinkTiming;

TEST(ProductionTiming, TheProgramRunsAtTheRecordersPace) {
    ExpectRecorderPace(ProgramTiming);
}

class PacedMeasurementRead : public RecorderRun, public ::testing::WithParamInterface<PaceCase> {
protected:
    // Each reply wait ends once the simulator's answer is held.
    PacedMeasurementRead() { TNdForm::LinkTiming = SerialTiming{3000, 10, 50, 5, 2000}; }
};

TEST_P(PacedMeasurementRead, EveryReadSucceedsWithoutAResend) {
    for (int k = 0; k < 115; ++k)
        sim_.SetMeasurement(k, static_cast<float>(k) + 0.5f);
    sim_.Serve(pty_.MasterFd());
    std::optional<BusyMachine> busy;
    if (GetParam().busy) busy.emplace();
    TNdForm& f = Open();
    ASSERT_TRUE(f.CommPort1->IsEnabled());
    ASSERT_EQ(f.CommPort1->Timing.StatusPauseMs, 50u);
    f.PageControl->SetActivePageIndex(0);
    constexpr int Reads = 20;
    for (int read = 0; read < Reads; ++read) {
        // The recorder's turnaround varies from read to read, so that the 44 ms of a reply
        // fall in every way across the port's 50 ms pauses.
        sim_.SetPace({57600, GetParam().chunkBytes, static_cast<unsigned>(read * 7 % 40)});
        f.ListView->SetCell(114 - 3, 1, "");
        f.Button3Click();
        ASSERT_TRUE(WaitIdle(10000)) << "read " << read;
        ASSERT_EQ(f.ListView->Cell(114 - 3, 1), "114.500") << "read " << read;
    }
    // Each block sent once: no reply was found broken and sent for again.
    EXPECT_EQ(sim_.FramesReceived(3), 2 * Reads);
    EXPECT_EQ(Log(), Lines{"T11001"});
}

INSTANTIATE_TEST_SUITE_P(At57600, PacedMeasurementRead,
                         ::testing::Values(PaceCase{1, false}, PaceCase{8, false},
                                           PaceCase{14, false}, PaceCase{64, false},
                                           PaceCase{1, true}, PaceCase{14, true}),
                         PaceCaseName);

} // namespace
