// The diagnostics dialog: its look, the fill from the diagnostic word, the question with Yes
// and No, and a whole run of the program against the recorder simulator.
#include "LanguageFixture.h"

#include "support/PtyPair.h"
#include "support/RecorderSim.h"

#include "platform/Exception.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// The values as the link keeps them after a good reply with this diagnostic word.
DiagnosticValues ValuesOf(std::uint16_t word) {
    DiagnosticValues v;
    v.DiagWord = word;
    v.DiagHigh = static_cast<std::uint8_t>(word >> 8);
    const auto low = static_cast<std::uint8_t>(word & 0xFF);
    v.DiagFlags = {static_cast<std::uint8_t>(low & 0x10), static_cast<std::uint8_t>(low & 0x08),
                   static_cast<std::uint8_t>(low & 0x04), static_cast<std::uint8_t>(low & 0x02),
                   static_cast<std::uint8_t>(low & 0x01)};
    return v;
}

std::string Str(const QLabel* label) {
    return label->text().toStdString();
}

class DiagnosticsTest : public LanguageTest {
protected:
    DiagnosticsTest() { WriteFullModule("a.lng", "First", "A"); }

    TNdForm& Start() {
        TNdForm& f = Create();
        Dialog();
        FirstActivationDone = true; // no port here
        f.FormActivate();
        return f;
    }

    // Which of the question lines and buttons show.
    static std::vector<bool> Question(const TForm_dgn& d) {
        return {!d.Label1->isHidden(), !d.Label6->isHidden(), !d.BitBtn1->isHidden(),
                !d.BitBtn2->isHidden(), !d.BitBtn3->isHidden()};
    }
    const std::vector<bool> asked = {true, true, true, true, false};
    const std::vector<bool> notAsked = {false, false, false, false, true};
};

TEST_F(DiagnosticsTest, StartsHiddenWithItsDesignedControls) {
    Start();
    TForm_dgn& d = Dialog();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.size(), QSize(410, 343));
    EXPECT_EQ(d.minimumSize(), d.maximumSize()); // not resizable
    EXPECT_EQ(d.GroupBox1->title().toStdString(), "SD/SDHC");
    EXPECT_EQ(d.GroupBox1->geometry(), QRect(8, 16, 393, 81));
    EXPECT_EQ(d.GroupBox2->title().toStdString(), "RTC");
    EXPECT_EQ(d.GroupBox2->geometry(), QRect(8, 120, 393, 73));
    EXPECT_EQ(d.Label2->pos(), QPoint(16, 24));
    EXPECT_EQ(d.Label3->pos(), QPoint(152, 24));
    EXPECT_EQ(d.Label4->pos(), QPoint(16, 48));
    EXPECT_EQ(d.Label5->pos(), QPoint(16, 32));
    EXPECT_EQ(d.Label1->pos(), QPoint(16, 216));
    EXPECT_EQ(d.Label6->pos(), QPoint(16, 256));
    EXPECT_EQ(d.Label1->font().pixelSize(), 16);
    EXPECT_EQ(d.BitBtn1->geometry(), QRect(24, 296, 75, 25));
    EXPECT_EQ(d.BitBtn2->geometry(), QRect(296, 296, 75, 25));
    EXPECT_EQ(d.BitBtn3->geometry(), QRect(160, 296, 75, 25));
    EXPECT_EQ(d.BitBtn1->text().toStdString(), "&Yes");
    EXPECT_EQ(d.BitBtn2->text().toStdString(), "&No");
    EXPECT_EQ(d.BitBtn3->text().toStdString(), "&Close");
    EXPECT_TRUE(d.BitBtn1->isHidden());
    EXPECT_TRUE(d.BitBtn2->isHidden());
    EXPECT_FALSE(d.BitBtn3->isHidden());
    EXPECT_EQ(d.windowModality(), Qt::NonModal);
}

TEST_F(DiagnosticsTest, FillShowsCardStatusTypeAndClockByTheDiagnosticWord) {
    Start();
    TForm_dgn& d = Dialog();
    struct Case {
        std::uint16_t word;
        const char* status;
        const char* type;
        const char* clock;
    };
    const Case cases[] = {
        {0x0000, "A11021", "A11017 SD", "A11018 A11021"},
        {0x0500, "A11022 5", "A11017 SD", "A11018 A11021"},
        {0x0501, "A11024", "A11017 SD", "A11018 A11021"}, // no card wins over the code
        {0xFF00, "A11022 255", "A11017 SD", "A11018 A11021"},
        {0x000C, "A11021", "A11017 SDHC", "A11018 A11023"},
        {0x0010, "A11021", "A11017 SD", "A11018 A11021"}, // bit 0x10 is not shown
    };
    for (const Case& c : cases) {
        d.Fill(ValuesOf(c.word));
        EXPECT_EQ(Str(d.Label2), "A11016") << c.word;
        EXPECT_EQ(Str(d.Label3), c.status) << c.word;
        EXPECT_EQ(Str(d.Label4), c.type) << c.word;
        EXPECT_EQ(Str(d.Label5), c.clock) << c.word;
        EXPECT_EQ(Question(d), notAsked) << c.word;
    }
}

TEST_F(DiagnosticsTest, QuestionShowsYesAndNoUntilAFillWithoutIt) {
    Start();
    TForm_dgn& d = Dialog();
    d.Fill(ValuesOf(0x0002));
    EXPECT_EQ(Question(d), asked);
    EXPECT_EQ(Str(d.Label1), "A11019");
    EXPECT_EQ(Str(d.Label6), "A11020");
    d.Fill(ValuesOf(0x0000));
    EXPECT_EQ(Question(d), notAsked);
}

TEST_F(DiagnosticsTest, ResultEighteenShowsTheDialogAndLeavesTheMainFormAlone) {
    TNdForm& f = Start();
    TForm_dgn& d = Dialog();
    f.BitBtn1->setEnabled(false);
    f.OnSerialReply(18);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(Str(d.Label3), "A11021"); // nothing read yet: the word is 0
    EXPECT_FALSE(f.BitBtn1->isEnabled());
    f.OnSerialReply(18); // already open: stays open and is filled again
    EXPECT_TRUE(d.isVisible());
    d.BitBtn3Click();
    EXPECT_FALSE(d.isVisible());
    f.OnSerialReply(20); // a failure does not open it
    EXPECT_FALSE(d.isVisible());
}

TEST_F(DiagnosticsTest, NoCloseAndTheCloseBoxOnlyHideTheDialog) {
    Start();
    TForm_dgn& d = Dialog();
    for (int way = 0; way < 3; ++way) {
        d.show();
        d.Fill(ValuesOf(0x0002));
        if (way == 0) d.BitBtn2Click();
        if (way == 1) d.BitBtn3Click();
        if (way == 2) d.close();
        EXPECT_FALSE(d.isVisible()) << way;
    }
    guitest::Pump(20);
    EXPECT_TRUE(LogTexts().empty()); // nothing was asked of the link
}

TEST_F(DiagnosticsTest, YesWithAFactoryNumberThatIsNoNumberRaisesAndKeepsTheDialogOpen) {
    TNdForm& f = Start();
    TForm_dgn& d = Dialog();
    d.show();
    d.Fill(ValuesOf(0x0002));
    f.Edit1->setText("12a");
    EXPECT_THROW(d.BitBtn1Click(), plat::EConvertError);
    EXPECT_TRUE(d.isVisible());
    guitest::Pump(20);
    EXPECT_TRUE(LogTexts().empty());
}

// --- A whole run against the recorder simulator -----------------------------------------------

class SimulatorRun : public DiagnosticsTest {
protected:
    SimulatorRun() {
        std::filesystem::create_symlink(pty_.SlavePath(), PortsDir() / "COM1");
        sim_.SetRegister(0x0400, 1234); // factory number
        sim_.SetRegister(0x0401, 307);  // firmware version
        sim_.SetRegister(0x0402, 5);    // mode
        sim_.SetRegister(0x0404, 10);
        sim_.SetRegister(0x0405, 50);
        sim_.SetRegister(0x0406, 220);
        sim_.SetRegister(0x0407, 198);
        sim_.SetRegister(0x0408, 242);
        sim_.SetRegister(0x0409, 1);
        const std::uint16_t clock[7] = {5, 30, 14, 2, 10, 6, 25};
        for (int i = 0; i < 7; ++i)
            sim_.SetRegister(static_cast<std::uint16_t>(0x040A + i), clock[i]);
        sim_.SetRegister(0x0411, 1);
        for (int n = 0; n <= 50; ++n) {
            sim_.SetMeasurement(n, n == 1 ? 229.87f : 4.6f / static_cast<float>(n + 1));
            sim_.SetMeasurement(51 + n, n == 1 ? 230.12f : 4.1f / static_cast<float>(n + 1));
        }
        const std::pair<int, float> values[] = {
            {103, 229.87f}, {104, 230.12f}, {105, 0.05f}, {106, 2.314f}, {107, 2.41f},
            {108, -0.012f}, {110, 0.34f},   {111, 35.2f}, {113, 1.2f},   {114, 1.18f}};
        for (const auto& [k, v] : values)
            sim_.SetMeasurement(k, v);
        sim_.Serve(pty_.MasterFd());
    }
    ~SimulatorRun() override {
        Destroy();
        sim_.Stop();
    }

    static void Save(QWidget& w, const char* name) {
        const std::filesystem::path file = guitest::ArtefactDir() / name;
        EXPECT_TRUE(w.grab().save(QString::fromStdString(file.string()))) << file;
    }

    PtyPair pty_;
    RecorderSim sim_;
};

TEST_F(SimulatorRun, RussianModuleFirstReadDiagnosticsAndYes) {
    SetProgramFolder(guitest::ArtefactDir().string()); // the modules shipped beside the program
    TNdForm& f = Create();
    f.Texts.clear();
    TForm_dgn& d = Dialog();
    f.show();
    // The first activation opens the port and reads the parameters.
    ASSERT_TRUE(guitest::PumpUntil([&] { return f.ListViewPar->Cell(0, 1) == "1234"; }, 5000))
        << "boxes: " << boxes_.Texts().size();
    EXPECT_EQ(f.LanguageFile, "nd307.lng");
    EXPECT_EQ(f.windowTitle().toStdString(), "Сервисная программа НД 3.07");
    EXPECT_EQ(f.Edit1->text().toStdString(), "1234");
    EXPECT_EQ(f.ListViewPar->Cell(2, 1), "Работа");
    ASSERT_FALSE(LogTexts().empty());
    EXPECT_EQ(LogTexts().front(), "Порт открыт.");
    ASSERT_TRUE(guitest::PumpUntil([&] { return f.Button3->isEnabled(); }, 3000));
    Save(f, "nd307_main_clock.png");

    // The measurement page, read once.
    f.PageControl->SetActivePageIndex(0);
    f.Button3Click();
    ASSERT_TRUE(guitest::PumpUntil([&] { return f.ListView->Cell(2, 1) == "229.870"; }, 5000));
    ASSERT_TRUE(guitest::PumpUntil([&] { return f.Button3->isEnabled(); }, 3000));
    Save(f, "nd307_main_measurements.png");
    f.PageControl->SetActivePageIndex(2);

    // Diagnostics: SDHC card, clock fault, and a question for the operator.
    sim_.SetDiagnosticWord(0x030E);
    f.BitBtn1Click();
    EXPECT_FALSE(f.BitBtn1->isEnabled());
    ASSERT_TRUE(guitest::PumpUntil([&] { return d.isVisible(); }, 5000));
    guitest::Pump(50);
    EXPECT_EQ(d.windowTitle().toStdString(), "Диагностика НД 3.07");
    EXPECT_EQ(Str(d.Label3), "ошибка, код 3");
    EXPECT_EQ(Str(d.Label4), "Тип карты памяти: SDHC");
    EXPECT_EQ(Str(d.Label5), "Работа таймера: неисправность");
    EXPECT_EQ(Question(d), asked);
    EXPECT_FALSE(f.BitBtn1->isEnabled()); // until the main form is active again
    Save(d, "nd307_diagnostics.png");

    // Yes: only the command register gets 11.
    sim_.ClearCounts();
    d.BitBtn1Click();
    EXPECT_FALSE(d.isVisible());
    ASSERT_TRUE(sim_.WaitForFrames(1, 3000));
    ASSERT_TRUE(guitest::PumpUntil([&] { return sim_.Register(0x0402) == 11; }, 3000));
    EXPECT_EQ(sim_.FramesReceived(), 1);
    EXPECT_EQ(sim_.Register(0x0400), 1234);
    // The focus is back on the main form, whose activation enables the button again.
    EXPECT_TRUE(guitest::PumpUntil([&] { return f.BitBtn1->isEnabled(); }, 3000));
    EXPECT_EQ(f.ComboBox5->count(), 2);
    EXPECT_TRUE(boxes_.Texts().empty());

    // The English module, chosen in the list, for a look at its texts.
    f.ComboBox5->setCurrentIndex(1);
    f.ComboBox5Change();
    EXPECT_EQ(f.LanguageFile, "nd307_en.lng");
    EXPECT_EQ(f.Button3->text().toStdString(), "Read");
    Save(f, "nd307_main_english.png");
    d.show();
    d.Fill(ValuesOf(0x0501));
    EXPECT_EQ(Str(d.Label3), "no card inserted");
    Save(d, "nd307_diagnostics_english.png");
    d.BitBtn3Click();
}

} // namespace
