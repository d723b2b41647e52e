// The wizard's longest exchanges, request 22 (the parameter block) and request 10 (the
// measurements, 123 and then 107 registers), through a line paced as a recorder sends at
// 9600 baud: a 251-byte reply takes 261 ms and so reaches the port's handler in many pieces,
// between the port's real 50 ms status pauses. Every piece must reach the receive buffer.
// Twenty signal tests each ("Пуск": request 22, the averaging wait, request 10, the port closed
// after the stored result), so that a loss that strikes one read in ten shows.
#include "WizardTest.h"

#include "verification/frame_connect.h"
#include "verification/frame_signal.h"
#include "verification/signals.h"

#include "support/BusyMachine.h"
#include "support/PacedLine.h"
#include "support/PtyPair.h"
#include "support/RecorderSim.h"

#include <QComboBox>
#include <QPushButton>

#include <optional>

namespace {

// What the program runs with, taken before any test shortens it.
const SerialTiming ProgramTiming = TMainForm::LinkTiming;

TEST(ProductionTiming, TheProgramRunsAtTheRecordersPace) {
    ExpectRecorderPace(ProgramTiming);
}

constexpr int ConnectPageIndex = 5;
constexpr int SignalPageIndex = 6;

class PacedSignalTest : public WizardTest, public ::testing::WithParamInterface<PaceCase> {
protected:
    PacedSignalTest() {
        std::filesystem::create_symlink(pty_.SlavePath(), PortsDir() / "COM5");
        // Shorter than the recorder's 3000 ms, still ample for the 261 ms of the longest reply
        // at 9600 baud on a loaded machine.
        TMainForm::LinkTiming = SerialTiming{500, 10, 50, 5, 2000};
    }
    ~PacedSignalTest() override {
        Destroy();
        sim_.Stop();
    }

    PtyPair pty_;
    RecorderSim sim_;
};

TEST_P(PacedSignalTest, EveryRequestSucceedsWithoutAResend) {
    sim_.SetRegister(0x0400, 4321);
    sim_.SetMeasurement(105, 10.25f);
    sim_.SetPace({9600, GetParam().chunkBytes, 5});
    sim_.Serve(pty_.MasterFd());
    std::optional<BusyMachine> busy;
    if (GetParam().busy) busy.emplace();
    TMainForm& f = CreateWizard();
    f.FormActivate();
    f.FFrames[0]->setVisible(false);
    f.FCurrent = ConnectPageIndex;
    ConnectFrame->ShowFrame();
    ConnectFrame->ComboBox1->setCurrentIndex(4);
    ConnectFrame->Button1->click();
    ASSERT_TRUE(wizardtest::PumpUntil([&] { return f.NextButton->isEnabled(); }, 5000));
    ASSERT_EQ(f.FSerialNumber, 4321);
    ASSERT_EQ(f.CommPort1->Timing.StatusPauseMs, 50u);
    f.NextButtonClick();
    ASSERT_EQ(f.FCurrent, SignalPageIndex);
    ClearBoxes();
    sim_.ClearCounts();
    constexpr int Tests = 20;
    for (int test = 0; test < Tests; ++test) {
        sim_.SetPace({9600, GetParam().chunkBytes, static_cast<unsigned>(test * 7 % 40)});
        Signals[1].measured = false;
        SignalFrame->ListView->selectRow(1);
        SignalFrame->Button2->click();
        ASSERT_TRUE(wizardtest::PumpUntil([&] { return !f.CommPort1->IsEnabled(); }, 10000))
            << "test " << test;
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
