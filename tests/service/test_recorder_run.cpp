// The main form against the recorder simulator on a pseudo-terminal mapped as COM5: the port,
// the receive buffer, the reads and what they show, cyclic reading, failures, the clock and the
// byte view.
#include "FormFixture.h"

#include "service/Unit1.h"
#include "service/main_language.h"

#include "platform/DateTime.h"
#include "support/PtyPair.h"
#include "support/RecorderSim.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>

#include <cmath>
#include <limits>

namespace {

using Lines = std::vector<std::string>;

class RecorderRun : public FormTest {
protected:
    RecorderRun() { std::filesystem::create_symlink(pty_.SlavePath(), PortsDir() / "COM5"); }
    ~RecorderRun() override {
        Destroy();
        sim_.Stop();
        Form1 = nullptr;
    }

    // A form on COM5 with its list rows and mode names as a language module would build them.
    TNdForm& Open(const std::string& commandLine = "nd307") {
        TNdForm& f = Create(commandLine);
        for (int row = 0; row < 112; ++row)
            f.ListView->AddItem("m" + std::to_string(row), {"T7000", "", ""});
        for (int row = 0; row < 12; ++row)
            f.ListViewPar->AddItem("p" + std::to_string(row), {"T7000", ""});
        for (int mode = 0; mode <= 10; ++mode)
            f.ComboBox1->addItem(QString("mode%1").arg(mode));
        f.ComboBox3->setCurrentIndex(4);
        f.Button5Click();
        return f;
    }

    void Serve() { sim_.Serve(pty_.MasterFd()); }

    bool WaitIdle(int ms = 5000) {
        return guitest::PumpUntil(
            [this] { return form_->Button3->isEnabled() && form_->CheckBox1->isEnabled(); }, ms);
    }

    void SetClockRegisters(const std::uint16_t (&clock)[7]) {
        for (int i = 0; i < 7; ++i)
            sim_.SetRegister(static_cast<std::uint16_t>(0x040A + i), clock[i]);
    }

    PtyPair pty_;
    RecorderSim sim_;
};

TEST_F(RecorderRun, OpeningLogsAndEnablesDiagnostics) {
    TNdForm& f = Open();
    EXPECT_EQ(LogTexts(), Lines{"T11001"});
    EXPECT_TRUE(f.BitBtn1->isEnabled());
    EXPECT_FALSE(f.Button5->isEnabled());
    EXPECT_TRUE(boxes_.Texts().empty());
    // Another port that cannot be opened: the component's message, no log line.
    f.ComboBox3->setCurrentIndex(7);
    f.ComboBox3Change();
    f.Button5Click();
    EXPECT_EQ(boxes_.Texts().size(), 1u);
    EXPECT_EQ(LogTexts().size(), 1u);
    EXPECT_TRUE(f.Button5->isEnabled());
    // Back to COM5 with another baud choice: the line keeps the recorder's 57600 baud.
    f.ComboBox3->setCurrentIndex(4);
    f.ComboBox4->setCurrentIndex(6);
    f.ComboBox3Change();
    f.Button5Click();
    EXPECT_EQ(LogTexts(), (Lines{"T11001", "T11001"}));
    EXPECT_EQ(f.CommPort1->Baud(), 57600);
    EXPECT_EQ(f.CommPort1->ComNumber(), 5);
}

TEST_F(RecorderRun, ParameterReadFillsTheListTheNumberAndTheClockFields) {
    sim_.SetRegister(0x0400, 65535);
    sim_.SetRegister(0x0401, 307);
    sim_.SetRegister(0x0402, 3);
    for (std::uint16_t i = 0; i < 6; ++i)
        sim_.SetRegister(static_cast<std::uint16_t>(0x0404 + i), static_cast<std::uint16_t>(i + 1));
    SetClockRegisters({0, 7, 9, 3, 5, 3, 14});
    sim_.SetRegister(0x0411, 1);
    Serve();
    TNdForm& f = Open("nd307 /zolvy");
    f.Button3Click();
    ASSERT_TRUE(WaitIdle());
    const Lines expected = {"65535", "307", "mode3", "1",          "2",        "3",
                            "4",     "5",   "6",     "05.03.2014", "09:07:00", "T7018"};
    for (int row = 0; row < 12; ++row)
        EXPECT_EQ(f.ListViewPar->Cell(row, 1), expected[row]) << row;
    EXPECT_EQ(f.Edit1->text(), "65535");
    EXPECT_EQ(f.ComboBox1->currentIndex(), 3);
    EXPECT_EQ(f.Edit3->text(), "05.03.2014");
    EXPECT_EQ(f.Edit2->text(), "09:07:00");
    EXPECT_EQ(LogTexts(), Lines{"T11001"});

    // Typed values stay while the typed choice is on; a mode beyond the list selects nothing.
    f.RadioButton2->click();
    f.Edit3->setText("01.01.2020");
    sim_.SetRegister(0x0402, 11);
    sim_.SetRegister(0x0411, 0);
    f.Button3Click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(f.Edit3->text(), "01.01.2020");
    EXPECT_EQ(f.ComboBox1->currentIndex(), -1);
    EXPECT_EQ(f.ListViewPar->Cell(2, 1), "");
    EXPECT_EQ(f.ListViewPar->Cell(11, 1), "T7017");
    EXPECT_EQ(f.Params[2], 11);
}

TEST_F(RecorderRun, MeasurementReadOnTheFirstPageFillsEveryRowInItsFormat) {
    for (int k = 0; k < 115; ++k)
        sim_.SetMeasurement(k, static_cast<float>(k) + 0.25f);
    const std::pair<int, float> values[] = {{108, 49.988f},
                                            {105, 0.5f},
                                            {103, 230.46f},
                                            {107, -0.004f},
                                            {106, 2.3146f},
                                            {104, 1.25f},
                                            {0, 230.46f},
                                            {51, 12345.6f},
                                            {50, -0.001f},
                                            {110, 0.34f},
                                            {111, 1234.5678f},
                                            {113, 1.2f},
                                            {114, std::numeric_limits<float>::quiet_NaN()}};
    for (const auto& [k, v] : values)
        sim_.SetMeasurement(k, v);
    Serve();
    TNdForm& f = Open();
    f.PageControl->SetActivePageIndex(0);
    f.Button3Click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(f.ListView->Cell(0, 1), "49.988");
    EXPECT_EQ(f.ListView->Cell(1, 1), "0.50");
    EXPECT_EQ(f.ListView->Cell(2, 1), "230.460");
    EXPECT_EQ(f.ListView->Cell(3, 1), "0.00"); // no "-0.00"
    EXPECT_EQ(f.ListView->Cell(4, 1), "2.32");
    EXPECT_EQ(f.ListView->Cell(5, 1), "1.25");
    EXPECT_EQ(f.ListView->Cell(6, 1), "230.50"); // four significant digits
    EXPECT_EQ(f.ListView->Cell(7, 1), "1.25");
    EXPECT_EQ(f.ListView->Cell(56, 1), "0.00");
    EXPECT_EQ(f.ListView->Cell(57, 1), "1.235E+4");
    EXPECT_EQ(f.ListView->Cell(58, 1), "52.25");
    EXPECT_EQ(f.ListView->Cell(107, 1), "101.30");
    EXPECT_EQ(f.ListView->Cell(108, 1), "0.340");
    EXPECT_EQ(f.ListView->Cell(109, 1), "1234.570"); // six significant digits
    EXPECT_EQ(f.ListView->Cell(110, 1), "1.200");
    EXPECT_EQ(f.ListView->Cell(111, 1), "NAN");
    EXPECT_EQ(f.ListView->Cell(0, 0), "m0"); // only the value column changes
}

TEST_F(RecorderRun, CyclicReadingRepeatsUntilStopAndFreezesThePages) {
    Serve();
    TNdForm& f = Open();
    f.PageControl->SetActivePageIndex(0);
    f.CheckBox1->setChecked(true);
    f.Button3Click();
    EXPECT_EQ(f.Button3->text(), "Stop");
    EXPECT_TRUE(f.Button3->isEnabled());
    EXPECT_FALSE(f.CheckBox1->isEnabled());
    // Three reads of two blocks each; the replies need the event loop running.
    ASSERT_TRUE(guitest::PumpUntil([this] { return sim_.FramesReceived() >= 6; }, 10000));
    f.PageControl->tabBar()->setCurrentIndex(2);
    EXPECT_EQ(f.PageControl->ActivePageIndex(), 0);

    f.Button3->click(); // stop
    EXPECT_FALSE(f.Button3->isEnabled());
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(f.Button3->text(), "Read");
    const int frames = sim_.FramesReceived();
    guitest::Pump(400);
    EXPECT_EQ(sim_.FramesReceived(), frames);
    EXPECT_EQ(LogTexts(), Lines{"T11001"});
    f.PageControl->tabBar()->setCurrentIndex(2);
    EXPECT_EQ(f.PageControl->ActivePageIndex(), 2);
}

TEST_F(RecorderRun, ClosingDuringACyclicReadWaitsForTheRequestAndDropsItsReply) {
    Serve();
    TNdForm& f = Open();
    f.PageControl->SetActivePageIndex(0);
    f.CheckBox1->setChecked(true);
    f.Button3Click();
    ASSERT_TRUE(guitest::PumpUntil([this] { return sim_.FramesReceived() >= 3; }, 10000));
    Destroy();
    const int frames = sim_.FramesReceived();
    guitest::Pump(300);
    EXPECT_EQ(sim_.FramesReceived(), frames);
}

TEST_F(RecorderRun, FailingReadWritesTheLinkErrorThenTheFailureAndEndsTheCycle) {
    sim_.SetPersistentFault(SimFault::WrongCrc);
    Serve();
    TNdForm& f = Open();
    f.CheckBox1->setChecked(true);
    f.Button3Click();
    ASSERT_TRUE(WaitIdle(8000));
    EXPECT_EQ(LogTexts(), (Lines{"T11001", "T11014", "T11004"}));
    EXPECT_EQ(f.Button3->text(), "Read");

    f.ClearLogClick();
    sim_.SetPersistentFault(SimFault::Exception2);
    f.PageControl->SetActivePageIndex(0);
    f.Button3Click();
    ASSERT_TRUE(WaitIdle(8000));
    EXPECT_EQ(LogTexts(), (Lines{"T11013", "T11005"}));
}

TEST_F(RecorderRun, ClockIsSetFromTypedValuesThenTheParametersAreRead) {
    Serve();
    TNdForm& f = Open();
    f.RadioButton2->click();
    f.Edit3->setText("05.03.2014");
    f.Edit2->setText("09:07:00");
    f.Button2Click();
    EXPECT_FALSE(f.Button3->isEnabled());
    ASSERT_TRUE(WaitIdle(8000));
    EXPECT_EQ(LogTexts(), (Lines{"T11001", "T11006"}));
    const std::uint16_t expected[] = {0, 7, 9, 0, 5, 3, 14}; // day of week is never written
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(sim_.Register(static_cast<std::uint16_t>(0x040A + i)), expected[i]) << i;
    EXPECT_EQ(sim_.Register(0x0402), 6); // the last command value of the sequence
    // The parameter read that followed shows the new clock.
    EXPECT_EQ(f.ListViewPar->Cell(9, 1), "05.03.2014");
}

TEST_F(RecorderRun, ClockIsSetFromThePcClock) {
    Serve();
    TNdForm& f = Open();
    f.Edit3->setText("garbage");
    f.Button2Click();
    ASSERT_TRUE(WaitIdle(8000));
    EXPECT_EQ(LogTexts(), (Lines{"T11001", "T11006"}));
    const plat::DateTimeParts now = plat::DecodeDateTime(plat::Now());
    EXPECT_EQ(sim_.Register(0x0410), now.year - 2000);
    EXPECT_EQ(sim_.Register(0x040F), now.month);
    // The fields show the recorder's clock after the read that followed.
    EXPECT_EQ(f.Edit3->text().size(), 10);
}

TEST_F(RecorderRun, ServiceWritesReachTheRecorderAndRefreshTheParameters) {
    Serve();
    TNdForm& f = Open("nd307 /zolvy");
    f.Edit1->setText("4321");
    f.Button6->click();
    ASSERT_TRUE(WaitIdle(8000));
    EXPECT_EQ(sim_.Register(0x0400), 4321);
    EXPECT_EQ(sim_.Register(0x0402), 7);
    EXPECT_EQ(f.ComboBox1->currentIndex(), 7); // shown by the parameter read that followed

    f.ComboBox1->setCurrentIndex(4);
    f.Button7->click();
    ASSERT_TRUE(WaitIdle(8000));
    EXPECT_EQ(sim_.Register(0x0402), 4);
    EXPECT_EQ(f.ListViewPar->Cell(2, 1), "mode4");
    EXPECT_EQ(LogTexts(), Lines{"T11001"});
}

TEST_F(RecorderRun, ReceiveBufferKeepsArrivalOrderAndNeverPassesItsSize) {
    TNdForm& f = Open();
    const std::string first = "0123456789";
    const std::string second = "abcdefg";
    ASSERT_TRUE(pty_.Write(first));
    ASSERT_TRUE(guitest::PumpUntil([&] { return f.RxBuffer().Count() == 10; }, 3000));
    ASSERT_TRUE(pty_.Write(second));
    ASSERT_TRUE(guitest::PumpUntil([&] { return f.RxBuffer().Count() == 17; }, 3000));
    std::uint8_t taken[ReceiveBuffer::Capacity];
    ASSERT_EQ(f.RxBuffer().Take(taken), 17);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(taken), 17), first + second);
    EXPECT_EQ(LastRxLength, 17);
    EXPECT_EQ(f.RxActivity, 1);

    std::string burst;
    for (int i = 0; i < 1200; ++i)
        burst += static_cast<char>('A' + i % 26);
    ASSERT_TRUE(pty_.Write(burst));
    ASSERT_TRUE(guitest::PumpUntil([&] { return f.RxBuffer().Count() > 0; }, 3000));
    guitest::Pump(200);
    const std::int32_t held = f.RxBuffer().Count();
    EXPECT_LE(held, 512);
    EXPECT_EQ(LastRxLength, held);
    ASSERT_EQ(f.RxBuffer().Take(taken), held);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(taken), static_cast<std::size_t>(held)),
              burst.substr(0, static_cast<std::size_t>(held)));
}

TEST_F(RecorderRun, ByteViewListsTheLastReplyAfterTheLinkTookIt) {
    TForm1 view;
    Form1 = &view;
    sim_.SetRegister(0x0400, 0x1234);
    Serve();
    TNdForm& f = Open();
    f.Button3Click();
    ASSERT_TRUE(WaitIdle());
    f.SpeedButton1Click();
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(view.windowTitle(), "0");
    const QStringList lines = view.Memo1->toPlainText().split('\n');
    // Address, function, byte count, 21 words, CRC.
    ASSERT_EQ(lines.size(), 3 + 42 + 2);
    EXPECT_EQ(lines[0], "01");
    EXPECT_EQ(lines[1], "03");
    EXPECT_EQ(lines[2], "2A");
    EXPECT_EQ(lines[3], "12");
    EXPECT_EQ(lines[4], "34");
    view.hide();
}

// The service mode's parameter page with the shipped Russian module, saved for a reviewer.
TEST_F(RecorderRun, ServiceModeScreenshot) {
    sim_.SetRegister(0x0400, 1234);
    sim_.SetRegister(0x0401, 307);
    sim_.SetRegister(0x0402, 5);
    SetClockRegisters({5, 30, 14, 2, 10, 6, 25});
    Serve();
    SetProgramFolder(guitest::ArtefactDir().string());
    FirstActivationDone = false;
    TNdForm& f = Create("nd307 /zolvy");
    f.ComboBox3->setCurrentIndex(4);
    // The first activation loads the module, opens the port and reads the parameters.
    f.FormActivate();
    SetProgramFolder("");
    FirstActivationDone = false;
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(f.ListViewPar->Cell(0, 1), "1234");
    f.resize(640, 570);
    const std::filesystem::path file = guitest::ArtefactDir() / "nd307_main_service.png";
    EXPECT_TRUE(f.grab().save(QString::fromStdString(file.string())));
    f.PageControl->SetActivePageIndex(2);
    const std::filesystem::path clock = guitest::ArtefactDir() / "nd307_main_service_clock.png";
    EXPECT_TRUE(f.grab().save(QString::fromStdString(clock.string())));
}

} // namespace
