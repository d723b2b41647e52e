// Language modules: reading a module, finding them, choosing one, the texts and rows it gives
// the main form, and the activation that starts the work with the recorder.
#include "LanguageFixture.h"

#include "platform/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <sys/stat.h>

namespace {

using Lines = std::vector<std::string>;

const std::string Delta = "\xCE\x94";      // Δ
const std::string SmallDelta = "\xCE\xB4"; // δ

// --- Reading and finding modules ----------------------------------------------------------

TEST_F(LanguageTest, ModuleLinesEndWithAnyLineBreakAndAZeroByteEndsTheText) {
    WriteRaw("a.lng", "1=a\r\n2=b\n3=c\r4=d\n\r5=\xC5\xF1\xF2\xFC\r\n\r\n6=e");
    EXPECT_EQ(ReadModuleLines((Modules() / "a.lng").string()),
              (Lines{"1=a", "2=b", "3=c", "4=d", "", "5=Есть", "", "6=e"}));
    WriteRaw("b.lng", std::string("1=a\r\n2=b", 8) + std::string(1, '\0') + "\r\n3=c\r\n");
    EXPECT_EQ(ReadModuleLines((Modules() / "b.lng").string()), (Lines{"1=a", "2=b"}));
    WriteRaw("c.lng", "");
    EXPECT_TRUE(ReadModuleLines((Modules() / "c.lng").string()).empty());
    WriteRaw("d.lng", "\r\r");
    EXPECT_EQ(ReadModuleLines((Modules() / "d.lng").string()), (Lines{"", ""}));
}

TEST_F(LanguageTest, OnlyOrdinaryModuleFilesAreFoundInNameOrder) {
    WriteRaw("b.lng", "");
    WriteRaw("a.LNG", "");
    WriteRaw("c.lng.bak", "");
    WriteRaw("lng", "");
    WriteRaw(".hidden.lng", "");
    std::filesystem::create_directories(Modules() / "folder.lng");
    std::filesystem::create_symlink(Modules() / "missing", Modules() / "dangling.lng");
    EXPECT_EQ(FindLanguageModules(Modules().string()), (Lines{"a.LNG", "b.lng"}));
    EXPECT_TRUE(FindLanguageModules((Modules() / "none").string()).empty());
}

TEST_F(LanguageTest, DisplayNameFollowsTheProfileReaderRules) {
    WriteModule("a.lng", {"[ LANGUAGE ]", " LNG =  Русский  ", "lng=second"});
    EXPECT_EQ(ModuleDisplayName((Modules() / "a.lng").string()), "Русский");
    WriteModule("b.lng", {"[Other]", "lng=x"});
    EXPECT_EQ(ModuleDisplayName((Modules() / "b.lng").string()), "");
    EXPECT_EQ(ModuleDisplayName((Modules() / "none.lng").string()), "");
}

// --- Choosing a module ----------------------------------------------------------------------

TEST_F(LanguageTest, NoModuleShowsTheFatalBoxAndEndsTheProgramWithoutOpeningThePort) {
    TNdForm& f = Create();
    bool timedOut = false;
    QTimer::singleShot(0, &f, [&f] { f.show(); });
    // A local timer dies with the test, so it cannot fire into a later one.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&timedOut] {
        timedOut = true;
        QCoreApplication::quit();
    });
    guard.start(5000);
    QApplication::exec();
    EXPECT_FALSE(timedOut) << "the activation did not end the program";
    EXPECT_EQ(
        boxes_.Texts(),
        Lines{"Критическая ошибка: Не найдены языковые модули.\nДальнейшая работа невозможна."});
    EXPECT_FALSE(f.isVisible());
    EXPECT_FALSE(f.CommPort1->IsEnabled());
    EXPECT_FALSE(FirstActivationDone);
    guitest::Pump(50);
    EXPECT_TRUE(LogTexts().empty()); // no request, so no reply either
}

TEST_F(LanguageTest, UnknownEmptyOrOtherCaseRegistryNameChoosesTheFirstModuleAndSavesIt) {
    WriteFullModule("b.lng", "Second", "B");
    WriteFullModule("a.lng", "First", "A");
    for (const std::string stored : {"gone.lng", "", "B.lng"}) {
        {
            plat::TRegistry r;
            ASSERT_TRUE(r.OpenKey("Software\\Livat\\ND307", true));
            r.WriteInteger("PortIndex", 0);
            r.WriteInteger("BaudIndex", 1);
            r.WriteString("Language", stored);
        }
        TNdForm& f = Create();
        ASSERT_EQ(f.LanguageFile, stored);
        FirstActivationDone = true; // the port is not the matter here
        f.FormActivate();
        EXPECT_EQ(f.ComboBox5->currentIndex(), 0) << stored;
        EXPECT_EQ(f.LanguageFile, "a.lng") << stored;
        EXPECT_EQ(f.windowTitle().toStdString(), "A1000") << stored;
        Destroy();
        plat::TRegistry r;
        ASSERT_TRUE(r.OpenKey("Software\\Livat\\ND307", false));
        EXPECT_EQ(r.ReadString("Language"), "a.lng") << stored;
    }
}

TEST_F(LanguageTest, RegistryNameSelectsItsModuleAndTheComboSwitchesModules) {
    WriteFullModule("a.lng", "First", "A");
    WriteFullModule("b.lng", "Second", "B");
    TNdForm& f = Create();
    f.LanguageFile = "b.lng";
    FirstActivationDone = true;
    f.FormActivate();
    EXPECT_EQ(f.ComboBox5->count(), 2);
    EXPECT_EQ(f.ComboBox5->itemText(0).toStdString(), "First");
    EXPECT_EQ(f.ComboBox5->currentIndex(), 1);
    EXPECT_EQ(f.Label9->text().toStdString(), "B1000");

    f.ComboBox5->setCurrentIndex(0);
    f.ComboBox5Change();
    EXPECT_EQ(f.LanguageFile, "a.lng");
    EXPECT_EQ(f.Label9->text().toStdString(), "A1000");
    EXPECT_EQ(f.ListView->Cell(2, 0), "A5003");
}

TEST_F(LanguageTest, TwoModulesWithTheSameNameEachLoadTheirOwnFile) {
    WriteFullModule("a.lng", "Same", "A");
    WriteFullModule("b.lng", "Same", "B");
    TNdForm& f = Create();
    FirstActivationDone = true;
    f.FormActivate();
    ASSERT_EQ(f.ComboBox5->count(), 2);
    EXPECT_EQ(f.ComboBox5->itemText(0), f.ComboBox5->itemText(1));
    f.ComboBox5->setCurrentIndex(1);
    f.ComboBox5Change();
    EXPECT_EQ(f.LanguageFile, "b.lng");
    EXPECT_EQ(f.Text(1000), "B1000");
}

TEST_F(LanguageTest, ReactivationRebuildsTheRowsAndEnablesTheDiagnosticsButton) {
    WriteFullModule("a.lng", "First", "A");
    WriteModule("b.lng", {"1000=no name"});
    TNdForm& f = Create();
    FirstActivationDone = true;
    f.FormActivate();
    f.ListView->SetCell(0, 1, "49.988");
    f.ListViewPar->SetCell(0, 1, "1234");
    f.ComboBox1->setCurrentIndex(3);
    f.BitBtn1->setEnabled(false);

    f.FormActivate();
    EXPECT_EQ(f.ComboBox5->count(), 2);
    EXPECT_EQ(f.ComboBox5->itemText(1).toStdString(), ""); // no "lng": an empty entry
    EXPECT_EQ(f.ComboBox5->currentIndex(), 0);
    EXPECT_EQ(f.ListView->Count(), 112);
    EXPECT_EQ(f.ListView->Cell(0, 1), "A7000");
    EXPECT_EQ(f.ListViewPar->Count(), 12);
    EXPECT_EQ(f.ListViewPar->Cell(0, 1), "A7000");
    EXPECT_EQ(f.ComboBox1->count(), 11);
    EXPECT_EQ(f.ComboBox1->currentIndex(), -1);
    EXPECT_EQ(f.ComboBox2->currentIndex(), -1);
    EXPECT_TRUE(f.BitBtn1->isEnabled());
}

TEST_F(LanguageTest, ModuleGoneBeforeItsLoadKeepsThePreviousTexts) {
    WriteFullModule("a.lng", "First", "A");
    TNdForm& f = Create();
    FirstActivationDone = true;
    f.FormActivate();
    f.LoadLanguage("gone.lng");
    EXPECT_EQ(f.Text(1000), "A1000");
    EXPECT_EQ(f.ListView->Count(), 112);
}

// A file that is there but gives an error when read: /proc/self/mem fails at offset 0 even for
// a privileged user, for whom no file mode makes a file unreadable.
TEST_F(LanguageTest, UnreadableModuleReachesTheErrorDisplayAndStopsTheActivation) {
    std::filesystem::create_symlink("/proc/self/mem", Modules() / "broken.lng");
    TNdForm& f = Create();
    f.BitBtn1->setEnabled(false);
    EXPECT_THROW(f.LoadLanguage("broken.lng"), plat::Exception);
    EXPECT_TRUE(f.Texts.empty());

    f.FormActivate();
    ASSERT_EQ(boxes_.Texts().size(), 1u);
    EXPECT_NE(boxes_.Texts()[0].find("broken.lng"), std::string::npos);
    EXPECT_TRUE(f.Texts.empty());
    EXPECT_FALSE(FirstActivationDone);
    EXPECT_FALSE(f.BitBtn1->isEnabled());
    EXPECT_FALSE(f.CommPort1->IsEnabled());
}

// --- What a module gives the form ------------------------------------------------------------

TEST_F(LanguageTest, RowsCarryNamesUnitsNotesAndTheGreekPrefixes) {
    WriteFullModule("a.lng", "First", "A");
    TNdForm& f = Create();
    FirstActivationDone = true;
    f.FormActivate();
    ASSERT_EQ(f.ListView->Count(), 112);
    const auto row = [&f](int r) {
        return Lines{f.ListView->Cell(r, 0), f.ListView->Cell(r, 1), f.ListView->Cell(r, 2),
                     f.ListView->Cell(r, 3)};
    };
    EXPECT_EQ(row(0), (Lines{Delta + "A5000", "A7000", "A3000", "A8000"}));
    EXPECT_EQ(row(1), (Lines{SmallDelta + "A5003", "A7000", "%", "A8001"}));
    EXPECT_EQ(row(2), (Lines{"A5003", "A7000", "A3001", "A8018"}));
    EXPECT_EQ(row(3), (Lines{"A5012", "A7000", "%", "A8019"}));
    EXPECT_EQ(row(4), (Lines{"A5013", "A7000", "%", "A8020"}));
    EXPECT_EQ(row(5), (Lines{"A5014", "A7000", "A3001", "A8021"}));
    EXPECT_EQ(row(6), (Lines{"A5004(0)", "A7000", "A3001", "A80030A8004"}));
    EXPECT_EQ(row(56), (Lines{"A5004(50)", "A7000", "A3001", "A800350A8004"}));
    EXPECT_EQ(row(57), (Lines{"A5011(0)", "A7000", "A3001", "A80030A8017"}));
    EXPECT_EQ(row(107), (Lines{"A5011(50)", "A7000", "A3001", "A800350A8017"}));
    EXPECT_EQ(row(108), (Lines{Delta + "A5006", "A7000", "A3002", "A8006"}));
    EXPECT_EQ(row(109), (Lines{SmallDelta + "A5007", "A7000", "%", "A8007"}));
    EXPECT_EQ(row(110), (Lines{Delta + "A5009", "A7000", "A3002", "A8009"}));
    EXPECT_EQ(row(111), (Lines{"A5010", "A7000", "A3004", "A8010"}));
    for (int r = 0; r < 112; ++r) {
        const bool greek = r == 0 || r == 1 || r == 108 || r == 109 || r == 110;
        EXPECT_EQ(f.ListView->Cell(r, 0).rfind("\xCE", 0) == 0, greek) << r;
    }

    ASSERT_EQ(f.ListViewPar->Count(), 12);
    const char* const units[12] = {"",      "",      "",      "A3003", "A3000", "A3001",
                                   "A3001", "A3001", "A3002", "",      "",      ""};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(f.ListViewPar->Cell(k, 0), "A" + std::to_string(6000 + k));
        EXPECT_EQ(f.ListViewPar->Cell(k, 1), "A7000");
        EXPECT_EQ(f.ListViewPar->Cell(k, 2), units[k]) << k;
    }
}

TEST_F(LanguageTest, CaptionsLabelsListsAndTheDialogTakeTheirKeys) {
    WriteFullModule("a.lng", "First", "A");
    TNdForm& f = Create();
    TForm_dgn& dialog = Dialog();
    FirstActivationDone = true;
    f.FormActivate();
    const auto text = [](const auto* w) { return w->text().toStdString(); };
    EXPECT_EQ(f.windowTitle().toStdString(), "A1000");
    EXPECT_EQ(QGuiApplication::applicationDisplayName().toStdString(), "A1000");
    for (int page = 0; page < 3; ++page)
        EXPECT_EQ(f.PageControl->tabText(page).toStdString(), "A" + std::to_string(2000 + page));
    EXPECT_EQ(f.ListView->ColumnCaption(3), "A4003");
    EXPECT_EQ(f.ListViewPar->ColumnCaption(2), "A4006");
    EXPECT_EQ(f.ListViewLog->ColumnCaption(1), "A4008");
    EXPECT_EQ(text(f.Label1), "A6000");
    EXPECT_EQ(text(f.Label2), "A6002");
    EXPECT_EQ(text(f.Label3), "A6012");
    for (const QPushButton* b : {f.Button1, f.Button2, f.Button5, f.Button6, f.Button7})
        EXPECT_EQ(text(b), "A9000");
    EXPECT_EQ(text(f.BitBtn1), "A9009");
    EXPECT_EQ(f.BitBtn1->toolTip().toStdString(), "A8022");
    EXPECT_EQ(dialog.windowTitle().toStdString(), "A6013");
    ASSERT_EQ(f.ComboBox1->count(), 11);
    EXPECT_EQ(f.ComboBox1->itemText(0).toStdString(), "A7001");
    EXPECT_EQ(f.ComboBox1->itemText(10).toStdString(), "A7011");
    ASSERT_EQ(f.ComboBox2->count(), 2);
    EXPECT_EQ(f.ComboBox2->itemText(1).toStdString(), "A8016");
    EXPECT_EQ(f.GroupBox1->title().toStdString(), " A9003 ");
    EXPECT_EQ(text(f.RadioButton1), "A9004");
    EXPECT_EQ(text(f.RadioButton2), "A9005");
    EXPECT_EQ(text(f.Label4), "A6010");
    EXPECT_EQ(text(f.Label5), "A6009");
    EXPECT_EQ(text(f.Button3), "A9001");
    EXPECT_EQ(text(f.CheckBox1), "A9006");
    EXPECT_EQ(text(f.Label7), "A9007");
    EXPECT_EQ(text(f.Label8), "A9008");
    EXPECT_EQ(text(f.Label9), "A1000");
    EXPECT_EQ(text(f.Label10), "A10000 4.0");
    EXPECT_EQ(text(f.Label11), "A10001");
}

TEST_F(LanguageTest, LookupRulesOfAModule) {
    WriteRaw("a.lng", "[Language]\rlng=X\r"
                      "1000 =blank before the sign\r"
                      "5004=U=V\r"
                      "5011=\r"
                      "[Other]\r5004=second\r"
                      "6000=cut" +
                          std::string(1, '\0') + "\r6001=after the zero byte\r");
    TNdForm& f = Create();
    FirstActivationDone = true;
    f.FormActivate();
    EXPECT_EQ(f.windowTitle().toStdString(), ""); // "1000 " is not the key 1000
    EXPECT_EQ(f.ListView->Cell(6, 0), "U=V(0)");  // a second "=" stays in the text
    EXPECT_EQ(f.ListView->Cell(57, 0), "(0)");    // an empty text
    EXPECT_EQ(f.ListView->Cell(107, 0), "(50)");
    EXPECT_EQ(f.ListViewPar->Cell(0, 0), "cut");
    EXPECT_EQ(f.ListViewPar->Cell(1, 0), ""); // behind the zero byte
    EXPECT_EQ(f.ListView->Cell(0, 0), Delta); // a missing key
    EXPECT_EQ(f.Label10->text().toStdString(), " 4.0");
    // Without keys 8003 and 8004 the notes of the harmonic rows are the bare orders.
    for (int n = 0; n <= 50; ++n)
        EXPECT_EQ(f.ListView->Cell(6 + n, 3), std::to_string(n));
}

TEST_F(LanguageTest, FirstActivationOpensThePortAndReadsOnceLaterOnesDoNot) {
    WriteFullModule("a.lng", "First", "A");
    std::filesystem::create_symlink(dir_.Path() / "no-device", PortsDir() / "COM1");
    TNdForm& f = Create();
    f.TimerTicks = 7;
    f.FormActivate();
    EXPECT_TRUE(FirstActivationDone);
    EXPECT_EQ(f.TimerTicks, 0);
    // COM1 leads nowhere: the port component reports it, and the read fails and is logged.
    ASSERT_TRUE(guitest::PumpUntil([this] { return !LogTexts().empty(); }, 3000));
    EXPECT_EQ(LogTexts(), Lines{"A11004"});
    EXPECT_EQ(boxes_.Texts().size(), 1u);
    f.ClearLogClick();
    f.FormActivate();
    guitest::Pump(50);
    EXPECT_TRUE(LogTexts().empty());
}

// --- The modules shipped beside the program ---------------------------------------------------

class ShippedModules : public LanguageTest {
protected:
    // The build copies the modules beside the program; the test program lies there too.
    static std::filesystem::path Shipped(const std::string& name) {
        return guitest::ArtefactDir() / name;
    }
};

TEST_F(ShippedModules, GiveEveryKeyInCodePage1251WithCrLf) {
    for (const char* name : {"nd307.lng", "nd307_en.lng"}) {
        std::ifstream in(Shipped(name), std::ios::binary);
        ASSERT_TRUE(in) << name;
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const bool crlf = bytes[i] == '\r'   ? i + 1 < bytes.size() && bytes[i + 1] == '\n'
                              : bytes[i] == '\n' ? i > 0 && bytes[i - 1] == '\r'
                                                 : true;
            ASSERT_TRUE(crlf) << name << " @" << i;
            ASSERT_NE(bytes[i], '\0') << name;
        }
        const Lines lines = ReadModuleLines(Shipped(name).string());
        for (int key : AllKeys())
            EXPECT_FALSE(TextByKey(lines, key).empty()) << name << " " << key;
        EXPECT_EQ(TextByKey(lines, 10001).rfind("http://", 0), 0u) << name;
        EXPECT_FALSE(ModuleDisplayName(Shipped(name).string()).empty()) << name;
    }
    EXPECT_EQ(ModuleDisplayName(Shipped("nd307.lng").string()), "Русский");
    EXPECT_EQ(ModuleDisplayName(Shipped("nd307_en.lng").string()), "English");
    // The program's own language comes first when nothing is chosen yet.
    EXPECT_EQ(FindLanguageModules(guitest::ArtefactDir().string()).front(), "nd307.lng");
}

} // namespace
