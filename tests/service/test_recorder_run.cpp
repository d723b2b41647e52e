// The main form against the recorder simulator on a pseudo-terminal mapped as COM5: the port,
// the receive buffer, reads and what they show, cyclic reading, failures, the clock, the service
// writes, the byte view, and a whole run with the shipped Russian module and the diagnostics.
#include "Fixture.h"

#include "service/Unit1.h"
#include "service/main_language.h"

#include "platform/DateTime.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QWindow>

#include <limits>

namespace {

void SetClock(RecorderSim& sim, const std::uint16_t (&clock)[7]) {
    for (int i = 0; i < 7; ++i)
        sim.SetRegister(static_cast<std::uint16_t>(0x040A + i), clock[i]);
}

TEST_F(RecorderRun, ParameterReadFillsTheListTheNumberAndTheClockFields) {
    sim_.SetRegister(0x0400, 65535);
    sim_.SetRegister(0x0401, 307);
    sim_.SetRegister(0x0402, 3);
    for (std::uint16_t i = 0; i < 6; ++i)
        sim_.SetRegister(static_cast<std::uint16_t>(0x0404 + i), static_cast<std::uint16_t>(i + 1));
    SetClock(sim_, {0, 7, 9, 3, 5, 3, 14});
    sim_.SetRegister(0x0411, 1);
    sim_.Serve(pty_.MasterFd());
    TNdForm& f = Open("nd307 /zolvy");
    f.Button3Click();
    ASSERT_TRUE(WaitIdle());
    const Lines expected = {"65535", "307", "mode3", "1",          "2",        "3",
                            "4",     "5",   "6",     "05.03.2014", "09:07:00", "T7018"};
    for (int row = 0; row < 12; ++row)
        EXPECT_EQ(f.ListViewPar->Cell(row, 1), expected[row]) << row;
    EXPECT_EQ(f.Edit1->text(), "65535");
    EXPECT_EQ(f.Edit3->text() + " " + f.Edit2->text(), "05.03.2014 09:07:00");
    // The byte view lists that reply after the link took it: address, function, count, 21
    // words, CRC.
    TForm1 view;
    Form1 = &view;
    f.SpeedButton1Click();
    Form1 = nullptr;
    EXPECT_EQ(view.windowTitle(), "0");
    const QStringList lines = view.Memo1->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 3 + 42 + 2);
    EXPECT_EQ(lines.mid(0, 5).join(' '), "01 03 2A FF FF");

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
}

TEST_F(RecorderRun, MeasurementReadFillsEveryRowInItsFormatAlsoAfterAPulledAdapter) {
    for (int k = 0; k < 115; ++k)
        sim_.SetMeasurement(k, static_cast<float>(k) + 0.25f);
    const std::pair<int, float> values[] = {
        {108, 49.988f},    {105, 0.5f},    {103, 230.46f},
        {107, -0.004f},    {106, 2.3146f}, {104, 1.25f},
        {0, 230.46f},      {51, 12345.6f}, {110, 0.34f},
        {111, 1234.5678f}, {113, 1.2f},    {114, std::numeric_limits<float>::quiet_NaN()}};
    for (const auto& [k, v] : values)
        sim_.SetMeasurement(k, v);
    sim_.Serve(pty_.MasterFd());
    TNdForm& f = Open();
    f.PageControl->SetActivePageIndex(0);
    f.Button3Click();
    ASSERT_TRUE(WaitIdle());
    const std::pair<int, const char*> shown[] = {
        {0, "49.988"},  {1, "0.50"},       {2, "230.460"}, {3, "0.00"}, // no "-0.00"
        {4, "2.32"},    {5, "1.25"},       {6, "230.50"},  {7, "1.25"},
        {56, "50.25"},  {57, "1.235E+4"},  {58, "52.25"},  {107, "101.30"},
        {108, "0.340"}, {109, "1234.570"}, {110, "1.200"}, {111, "NAN"}};
    for (const auto& [row, text] : shown)
        EXPECT_EQ(f.ListView->Cell(row, 1), text) << row;
    EXPECT_EQ(f.ListView->Cell(0, 0), "m0"); // only the value column changes

    // The adapter pulled: the next read tries the port again, finds no device and fails at once.
    const std::string link = (PortsDir() / "COM5").string();
    sim_.Stop();
    pty_.Unplug(link);
    ASSERT_TRUE(guitest::PumpUntil([&] { return f.CommPort1->Lost(); }, 3000));
    f.Button3Click();
    ASSERT_TRUE(WaitIdle(1000));
    EXPECT_EQ(Boxes(), Lines{"COM port error: Can't open COM port"});
    // Put back: the next read opens the port again by itself.
    pty_.Replug(link);
    sim_.Serve(pty_.MasterFd());
    sim_.SetMeasurement(114, 1.375f); // K_перU, NaN above
    f.Button3Click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(f.ListView->Cell(111, 1), "1.375");
    EXPECT_EQ(Log(), (Lines{"T11001", "T11005", "T11001"}));
}

TEST_F(RecorderRun, CyclicReadingRepeatsUntilStopAndFreezesThePages) {
    sim_.Serve(pty_.MasterFd());
    TNdForm& f = Open();
    f.PageControl->SetActivePageIndex(0);
    f.CheckBox1->setChecked(true);
    f.Button3Click();
    EXPECT_EQ(f.Button3->text(), "Stop");
    ASSERT_TRUE(guitest::PumpUntil([this] { return sim_.FramesReceived() >= 6; }, 10000));
    f.PageControl->tabBar()->setCurrentIndex(2);
    EXPECT_EQ(f.PageControl->ActivePageIndex(), 0);
    f.Button3->click(); // stop: the read in progress still completes
    EXPECT_FALSE(f.Button3->isEnabled());
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(f.Button3->text(), "Read");
    int frames = sim_.FramesReceived();
    guitest::Pump(400);
    EXPECT_EQ(sim_.FramesReceived(), frames);
    EXPECT_EQ(Log(), Lines{"T11001"});

    // Closing during a cycle waits for the request in progress and sends no other.
    f.Button3Click();
    ASSERT_TRUE(guitest::PumpUntil([&] { return sim_.FramesReceived() > frames; }, 5000));
    Destroy();
    frames = sim_.FramesReceived();
    guitest::Pump(300);
    EXPECT_EQ(sim_.FramesReceived(), frames);
}

TEST_F(RecorderRun, FailingReadLogsTheLinkErrorThenTheFailureAndEndsTheCycle) {
    sim_.SetPersistentFault(SimFault::WrongCrc);
    sim_.Serve(pty_.MasterFd());
    TNdForm& f = Open();
    f.CheckBox1->setChecked(true);
    f.Button3Click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log(), (Lines{"T11001", "T11014", "T11004"}));
    EXPECT_EQ(f.Button3->text(), "Read");
}

TEST_F(RecorderRun, ClockIsSetFromTypedValuesOrThePcClockThenTheParametersAreRead) {
    sim_.Serve(pty_.MasterFd());
    TNdForm& f = Open();
    f.RadioButton2->click();
    f.Edit3->setText("05.03.2014");
    f.Edit2->setText("09:07:00");
    f.Button2Click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log(), (Lines{"T11001", "T11006"}));
    const std::uint16_t expected[] = {0, 7, 9, 0, 5, 3, 14}; // day of week is never written
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(sim_.Register(static_cast<std::uint16_t>(0x040A + i)), expected[i]) << i;
    EXPECT_EQ(f.ListViewPar->Cell(9, 1), "05.03.2014");

    f.RadioButton1->click();
    f.Edit3->setText("garbage");
    f.Button2Click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log().back(), "T11006");
    const plat::DateTimeParts now = plat::DecodeDateTime(plat::Now());
    EXPECT_EQ(sim_.Register(0x0410), now.year - 2000);
    EXPECT_EQ(f.Edit3->text().size(), 10); // the recorder's clock again
}

TEST_F(RecorderRun, ServiceWritesReachTheRecorderAndRefreshTheParameters) {
    sim_.Serve(pty_.MasterFd());
    TNdForm& f = Open("nd307 /zolvy");
    f.Edit1->setText("4321");
    f.Button6->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(sim_.Register(0x0400), 4321);
    EXPECT_EQ(f.ComboBox1->currentIndex(), 7); // command value 7 follows the number
    f.ComboBox1->setCurrentIndex(4);
    f.Button7->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(sim_.Register(0x0402), 4);
    EXPECT_EQ(f.ListViewPar->Cell(2, 1), "mode4");
    // Another baud choice reopens the port, but the line keeps the recorder's 57600 baud.
    f.ComboBox4->setCurrentIndex(6);
    f.Button5Click();
    EXPECT_EQ(f.CommPort1->Baud(), 57600);
    EXPECT_EQ(Log(), (Lines{"T11001", "T11001"}));
}

TEST_F(RecorderRun, ReceiveBufferKeepsArrivalOrderAndNeverPassesItsSize) {
    TNdForm& f = Open();
    ASSERT_TRUE(pty_.Write("0123456789"));
    ASSERT_TRUE(guitest::PumpUntil([&] { return f.RxBuffer().Count() == 10; }, 3000));
    ASSERT_TRUE(pty_.Write("abcdefg"));
    ASSERT_TRUE(guitest::PumpUntil([&] { return f.RxBuffer().Count() == 17; }, 3000));
    std::uint8_t taken[ReceiveBuffer::Capacity];
    ASSERT_EQ(f.RxBuffer().Take(taken), 17);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(taken), 17), "0123456789abcdefg");

    std::string burst;
    for (int i = 0; i < 1200; ++i)
        burst += static_cast<char>('A' + i % 26);
    ASSERT_TRUE(pty_.Write(burst));
    // However slowly the burst comes, the buffer fills to its 512 bytes and takes no more.
    ASSERT_TRUE(guitest::PumpUntil(
        [&] { return f.RxBuffer().Count() == 512 && f.CommPort1->InBuffUsed() == 0; }, 3000));
    const std::int32_t held = f.RxBuffer().Count();
    EXPECT_EQ(LastRxLength, held);
    ASSERT_EQ(f.RxBuffer().Take(taken), held);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(taken), static_cast<std::size_t>(held)),
              burst.substr(0, static_cast<std::size_t>(held)));
}

// The program as it starts beside its shipped modules: the first read, the diagnostics and
// the operator's yes.
TEST_F(RecorderRun, RussianModuleFirstReadDiagnosticsAndYes) {
    std::filesystem::remove(PortsDir() / "COM5");
    std::filesystem::create_symlink(pty_.SlavePath(), PortsDir() / "COM1");
    sim_.SetRegister(0x0400, 1234);
    sim_.SetRegister(0x0402, 5);
    SetClock(sim_, {5, 30, 14, 2, 10, 6, 25});
    sim_.Serve(pty_.MasterFd());
    SetProgramFolder(guitest::ArtefactDir().string());
    TNdForm& f = Create();
    f.Texts.clear();
    TForm_dgn& d = Dialog();
    f.show();
    ASSERT_TRUE(guitest::PumpUntil([&] { return f.ListViewPar->Cell(0, 1) == "1234"; }, 5000));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(f.windowTitle().toStdString(), "Сервисная программа НД 3.07");
    EXPECT_EQ(f.ListViewPar->Cell(2, 1), "Работа");
    EXPECT_EQ(Log(), Lines{"Порт открыт."});

    // An SDHC card, a clock fault and a question for the operator, asked by Enter held on the
    // diagnostics button: the repeats that reach the dialog press none of its buttons, Yes
    // (which formats the card) least of all, whose mark shows what a fresh Enter would press.
    sim_.SetDiagnosticWord(0x030E);
    guitest::ShowActive(f);
    f.BitBtn1->setFocus();
    guitest::Hold(Qt::Key_Return, 30, [&d, &f] {
        ASSERT_TRUE(d.isVisible());
        // Kept above the form by the window manager, never opened behind it.
        EXPECT_EQ(d.windowHandle()->transientParent(), f.windowHandle());
        EXPECT_EQ(QApplication::focusWidget(), d.BitBtn1);
        EXPECT_TRUE(d.BitBtn1->isDefault());
    });
    ASSERT_TRUE(guitest::PumpUntil([&] { return d.isVisible(); }, 5000));
    EXPECT_EQ(sim_.Register(0x0402), 5);
    EXPECT_EQ(d.windowTitle().toStdString(), "Диагностика НД 3.07");
    EXPECT_EQ(d.Label3->text().toStdString(), "ошибка, код 3");
    EXPECT_EQ(d.Label4->text().toStdString(), "Тип карты памяти: SDHC");
    EXPECT_FALSE(d.BitBtn1->isHidden());
    EXPECT_FALSE(f.BitBtn1->isEnabled()); // until the main form is active again

    // However the dialog closes (Esc, No, Close), the focus is back on the diagnostics button,
    // not on the language list next to it: a Down there would switch the program's language.
    const auto focusBack = [&f] {
        ASSERT_TRUE(guitest::PumpUntil([&f] { return f.BitBtn1->isEnabled(); }, 3000));
        EXPECT_EQ(QApplication::focusWidget(), f.BitBtn1);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        guitest::Press(QApplication::focusWidget(), Qt::Key_Down);
        EXPECT_EQ(f.windowTitle().toStdString(), "Сервисная программа НД 3.07");
    };
    const auto ask = [this, &d, &f](std::uint16_t word) {
        sim_.SetDiagnosticWord(word);
        f.BitBtn1->setFocus();
        guitest::Press(f.BitBtn1, Qt::Key_Return);
        ASSERT_TRUE(guitest::PumpUntil([&d] { return d.isActiveWindow(); }, 5000));
    };
    guitest::Press(&d, Qt::Key_Escape);
    focusBack();
    ask(0x030E);
    d.BitBtn2->click();
    focusBack();
    ask(0x030C);
    guitest::Press(d.BitBtn3, Qt::Key_Return);
    focusBack();
    ask(0x030E);

    // Yes: only the command register gets 11. The main form's activation that follows enables
    // the button again and, not being the first, sends nothing.
    sim_.ClearCounts();
    d.BitBtn1Click();
    EXPECT_FALSE(d.isVisible());
    ASSERT_TRUE(guitest::PumpUntil([&] { return sim_.Register(0x0402) == 11; }, 3000));
    EXPECT_TRUE(guitest::PumpUntil([&] { return f.BitBtn1->isEnabled(); }, 3000));
    guitest::Pump(300);
    EXPECT_EQ(sim_.FramesReceived(), 1);
    EXPECT_EQ(sim_.Register(0x0400), 1234);
    EXPECT_TRUE(Boxes().empty());

    // A read gives the focus back to "Считать", which it disabled while it ran.
    sim_.ClearCounts();
    f.Button3->setFocus();
    guitest::Press(f.Button3, Qt::Key_Return);
    EXPECT_FALSE(f.Button3->isEnabled());
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(sim_.FramesReceived(), 1);
    EXPECT_EQ(QApplication::focusWidget(), f.Button3);
}

} // namespace
