// The wizard's longest exchanges, request 22 (the parameter block) and request 10 (the
// measurements, 123 and then 107 registers), through a line paced as a recorder sends at
// 9600 baud: a 251-byte reply takes 261 ms and so reaches the port's handler in many pieces,
// between the port's real 50 ms status pauses. Every piece must reach the receive buffer.
// Twenty signal tests each ("Пуск": request 22, the averaging wait, request 10, the port closed
// after the stored result), so that a loss that strikes one read in ten shows.
#include "WizardTest.h"

#include "verification/frame_signal.h"
#include "verification/progress.h"
#include "verification/signals.h"

#include "support/BusyMachine.h"
#include "support/PacedLine.h"

#include <QPushButton>
#include <QTimer>

#include <optional>

namespace {

// What the program runs with, taken before any test shortens it.
const SerialTiming ProgramTiming = TMainForm::LinkTiming;
const int ProgramAveragingTick = TFormProgress::TickInterval;

// The link's waits, and the averaging wait: 125 ticks of a second, the 125th ending it as
// completed.
TEST(ProductionTiming, TheProgramRunsAtTheRecordersPace) {
    ExpectRecorderPace(ProgramTiming);
    EXPECT_EQ(ProgramAveragingTick, 1000);
    wizardtest::EnsureApplication();
    TFormProgress wait;
    for (int tick = 1; tick < 125; ++tick)
        wait.Timer1Timer();
    EXPECT_TRUE(wait.Timer1->isActive());
    wait.Timer1Timer();
    EXPECT_FALSE(wait.Timer1->isActive());
    EXPECT_EQ(wait.result(), mrOk);
}

class PacedSignalTest : public RecorderRun, public ::testing::WithParamInterface<PaceCase> {
protected:
    // Each reply wait ends once the simulator's answer is held, so that the 261 ms of the
    // longest reply at 9600 baud fall in every way across the port's 50 ms pauses.
    PacedSignalTest() { TMainForm::LinkTiming = SerialTiming{3000, 10, 50, 5, 2000}; }
};

TEST_P(PacedSignalTest, EveryRequestSucceedsWithoutAResend) {
    sim_.SetMeasurement(105, 10.25f);
    sim_.SetPace({9600, GetParam().chunkBytes, 5});
    sim_.Serve(pty_.MasterFd());
    std::optional<BusyMachine> busy;
    if (GetParam().busy) busy.emplace();
    TMainForm& f = Connected();
    ASSERT_EQ(f.FSerialNumber, 12345);
    ASSERT_EQ(f.CommPort1->Timing.StatusPauseMs, 50u);
    f.NextButtonClick();
    ASSERT_EQ(f.FCurrent, 6); // the signal page
    ClearBoxes();
    sim_.ClearCounts();
    constexpr int Tests = 20;
    for (int test = 0; test < Tests; ++test) {
        sim_.SetPace({9600, GetParam().chunkBytes, static_cast<unsigned>(test * 7 % 40)});
        Signals[1].measured = false;
        wizardtest::SelectRow(*SignalFrame->ListView, 1);
        SignalFrame->Button2->click();
        ASSERT_TRUE(WaitPortClosed(f, 10000))
            << "test " << test << ", boxes shown: " << ::testing::PrintToString(Boxes());
        ASSERT_TRUE(Signals[1].measured) << "test " << test;
        ASSERT_EQ(Signals[1].measDeviationU, 10.25f) << "test " << test;
    }
    // Request 22 once, the measurements in their two blocks: nothing sent twice.
    EXPECT_EQ(sim_.FramesReceived(3), 3 * Tests);
    EXPECT_TRUE(Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(At9600, PacedSignalTest,
                         ::testing::Values(PaceCase{1, false}, PaceCase{8, false},
                                           PaceCase{14, false}, PaceCase{64, false},
                                           PaceCase{1, true}),
                         PaceCaseName);

} // namespace
