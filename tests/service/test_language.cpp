// Language modules: finding and choosing them, the lookup rules, what a module gives the form,
// the activation that starts the work, and the diagnostics dialog's texts.
#include "Fixture.h"

#include "service/main_language.h"

#include "platform/Exception.h"
#include "platform/qt/Application.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <fstream>

namespace {

const std::string Delta = "\xCE\x94";      // Δ
const std::string SmallDelta = "\xCE\xB4"; // δ

class LanguageTest : public FormTest {
protected:
    // A form whose activation finds the modules written so far; the port is not the matter.
    TNdForm& Activated() {
        TNdForm& f = Create();
        f.Texts.clear();
        FirstActivationDone = true;
        f.FormActivate();
        return f;
    }
    Lines Row(int r) const {
        const plat::TListView* l = form_->ListView;
        return {l->Cell(r, 0), l->Cell(r, 1), l->Cell(r, 2), l->Cell(r, 3)};
    }
};

TEST_F(LanguageTest, OnlyOrdinaryModuleFilesAreFound) {
    for (const char* name : {"b.lng", "a.LNG", "c.lng.bak", "lng", ".hidden.lng"})
        WriteRaw(name, "");
    std::filesystem::create_directories(Modules() / "folder.lng");
    std::filesystem::create_symlink(Modules() / "missing", Modules() / "dangling.lng");
    EXPECT_EQ(FindLanguageModules(Modules().string()), (Lines{"a.LNG", "b.lng"}));
}

TEST_F(LanguageTest, LookupRulesOfAModule) {
    // CR-only line ends; a zero byte ends the text.
    WriteRaw("a.lng", "[Language]\rlng=X\r"
                      "1000 =blank before the sign\r"
                      "5004=U=V\r"
                      "[Other]\r5004=second\r"
                      "6000=cut" +
                          std::string(1, '\0') + "\r6001=after the zero byte\r");
    TNdForm& f = Activated();
    EXPECT_EQ(f.windowTitle().toStdString(), ""); // "1000 " is not the key 1000
    EXPECT_EQ(f.ListView->Cell(6, 0), "U=V(0)");  // the first occurrence, a second "=" kept
    EXPECT_EQ(f.ListView->Cell(107, 0), "(50)");  // a missing key gives the empty text
    EXPECT_EQ(f.ListViewPar->Cell(0, 0), "cut");
    EXPECT_EQ(f.ListViewPar->Cell(1, 0), "");
    EXPECT_EQ(f.Label10->text().toStdString(), " 4.0");
    // Without keys 8003 and 8004 the notes of the harmonic rows are the bare orders.
    for (int n = 0; n <= 50; ++n)
        EXPECT_EQ(f.ListView->Cell(6 + n, 3), std::to_string(n));
}

TEST_F(LanguageTest, RowsCarryTheirNamesUnitsNotesAndGreekPrefixes) {
    WriteFullModule("a.lng", "First", "A");
    TNdForm& f = Activated();
    ASSERT_EQ(f.ListView->Count(), 112);
    EXPECT_EQ(Row(0), (Lines{Delta + "A5000", "A7000", "A3000", "A8000"}));
    EXPECT_EQ(Row(1), (Lines{SmallDelta + "A5003", "A7000", "%", "A8001"}));
    EXPECT_EQ(Row(56), (Lines{"A5004(50)", "A7000", "A3001", "A800350A8004"}));
    EXPECT_EQ(Row(57), (Lines{"A5011(0)", "A7000", "A3001", "A80030A8017"}));
    EXPECT_EQ(Row(108), (Lines{Delta + "A5006", "A7000", "A3002", "A8006"}));
    EXPECT_EQ(Row(109), (Lines{SmallDelta + "A5007", "A7000", "%", "A8007"}));
    EXPECT_EQ(Row(110), (Lines{Delta + "A5009", "A7000", "A3002", "A8009"}));
    for (int r = 0; r < 112; ++r)
        EXPECT_EQ(Row(r)[0].rfind("\xCE", 0) == 0, r < 2 || (r >= 108 && r <= 110)) << r;
    plat::TApplication::ShowException(std::string("x"));
    EXPECT_EQ(Boxes().back(), "A1000: x"); // the application's title
}

TEST_F(LanguageTest, NoModuleShowsTheFatalBoxAndEndsTheProgramWithoutOpeningThePort) {
    TNdForm& f = Create();
    bool timedOut = false;
    QTimer::singleShot(0, &f, [&f] { f.show(); });
    QTimer guard; // dies with the test, so it cannot fire into a later one
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&timedOut] {
        timedOut = true;
        QCoreApplication::quit();
    });
    guard.start(5000);
    QApplication::exec();
    EXPECT_FALSE(timedOut) << "the activation did not end the program";
    EXPECT_EQ(Boxes(), Lines{"Критическая ошибка: Не найдены языковые модули.\n"
                             "Дальнейшая работа невозможна."});
    EXPECT_FALSE(f.CommPort1->IsEnabled());
    EXPECT_FALSE(FirstActivationDone);
    // No second quit is left behind to end the next modal loop at once.
    guitest::Pump(50);
    QEventLoop loop;
    QTimer::singleShot(10, &loop, [&loop] { loop.exit(7); });
    EXPECT_EQ(loop.exec(), 7);
}

TEST_F(LanguageTest, UnknownEmptyOrOtherCaseNameChoosesTheFirstModuleAndSavesIt) {
    WriteFullModule("b.lng", "Second", "B");
    WriteFullModule("a.lng", "First", "A");
    for (const std::string stored : {"gone.lng", "", "B.lng"}) {
        Store([&stored](plat::TRegistry& r) {
            r.WriteInteger("PortIndex", 0);
            r.WriteInteger("BaudIndex", 1);
            r.WriteString("Language", stored);
        });
        TNdForm& f = Activated();
        EXPECT_EQ(f.LanguageFile, "a.lng") << stored;
        EXPECT_EQ(f.windowTitle().toStdString(), "A1000") << stored;
        Destroy();
        plat::TRegistry r;
        ASSERT_TRUE(r.OpenKey("Software\\Livat\\ND307", false));
        EXPECT_EQ(r.ReadString("Language"), "a.lng") << stored;
    }
}

TEST_F(LanguageTest, EveryActivationRebuildsOneEntryPerModuleAndEachLoadsItsOwnFile) {
    WriteFullModule("a.lng", "Same", "A");
    WriteFullModule("b.lng", "Same", "B");
    WriteRaw("c.lng", "1000=no name\r\n");
    TNdForm& f = Create();
    f.LanguageFile = "b.lng";
    FirstActivationDone = true;
    for (int activation = 0; activation < 2; ++activation) {
        f.ListView->SetCell(0, 1, "49.988");
        f.ComboBox1->setCurrentIndex(3);
        f.BitBtn1->setEnabled(false);
        f.FormActivate();
        ASSERT_EQ(f.ComboBox5->count(), 3);
        EXPECT_EQ(f.ComboBox5->itemText(0), f.ComboBox5->itemText(1));
        EXPECT_EQ(f.ComboBox5->itemText(2).toStdString(), ""); // no "lng": an empty entry
        EXPECT_EQ(f.ComboBox5->currentIndex(), 1);
        EXPECT_EQ(f.ListView->Cell(0, 1), "B7000"); // the values wait for the next reply
        EXPECT_EQ(f.ComboBox1->currentIndex(), -1);
        EXPECT_TRUE(f.BitBtn1->isEnabled());
    }
    f.ComboBox5->setCurrentIndex(0);
    f.ComboBox5Change();
    EXPECT_EQ(f.LanguageFile, "a.lng");
    EXPECT_EQ(f.ListView->Cell(2, 0), "A5003");
    f.LoadLanguage("gone.lng"); // a module gone before its load changes nothing
    EXPECT_EQ(f.Text(1000), "A1000");
}

// /proc/self/mem exists but fails to read at offset 0, even for a privileged user.
TEST_F(LanguageTest, UnreadableModuleReachesTheErrorDisplayAndStopsTheActivation) {
    std::filesystem::create_symlink("/proc/self/mem", Modules() / "broken.lng");
    TNdForm& f = Create();
    f.BitBtn1->setEnabled(false);
    f.FormActivate();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_NE(Boxes()[0].find("broken.lng"), std::string::npos);
    EXPECT_TRUE(f.Texts.empty());
    EXPECT_FALSE(FirstActivationDone);
    EXPECT_FALSE(f.BitBtn1->isEnabled());
    EXPECT_FALSE(f.CommPort1->IsEnabled());
}

TEST_F(LanguageTest, ShippedModulesGiveEveryKeyInCodePage1251WithCrLf) {
    for (const char* name : {"nd307.lng", "nd307_en.lng"}) {
        const std::filesystem::path path = guitest::ArtefactDir() / name;
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(bytes.find('\0'), std::string::npos) << name;
        for (std::size_t i = bytes.find('\n'); i != std::string::npos; i = bytes.find('\n', i + 1))
            ASSERT_EQ(bytes[i - 1], '\r') << name << " @" << i;
        for (int key : AllKeys())
            EXPECT_FALSE(TextByKey(ReadModuleLines(path.string()), key).empty()) << name << key;
    }
    EXPECT_EQ(ModuleDisplayName((guitest::ArtefactDir() / "nd307.lng").string()), "Русский");
    // The program's own language comes first when nothing is chosen yet.
    EXPECT_EQ(FindLanguageModules(guitest::ArtefactDir().string()).front(), "nd307.lng");
}

// --- The diagnostics dialog ------------------------------------------------------------------

DiagnosticValues ValuesOf(std::uint16_t word) {
    DiagnosticValues v;
    v.DiagHigh = static_cast<std::uint8_t>(word >> 8);
    for (std::size_t i = 0; i < 5; ++i)
        v.DiagFlags[i] = static_cast<std::uint8_t>(word & (0x10u >> i));
    return v;
}

// The card status, type and clock lines, then which of the question, Yes, No and Close show.
std::string Shown(const TForm_dgn& d) {
    std::string shown =
        (d.Label3->text() + "|" + d.Label4->text() + "|" + d.Label5->text() + "|").toStdString();
    for (const QWidget* w :
         std::initializer_list<const QWidget*>{d.Label1, d.BitBtn1, d.BitBtn2, d.BitBtn3})
        shown += w->isHidden() ? '-' : '+';
    return shown;
}

TEST_F(LanguageTest, DiagnosticsFillFollowsTheDiagnosticWord) {
    WriteFullModule("a.lng", "First", "A");
    TForm_dgn& d = Dialog();
    Activated();
    EXPECT_EQ(d.windowTitle().toStdString(), "A6013");
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0x0000, "A11021|A11017 SD|A11018 A11021|---+"},
        {0x0500, "A11022 5|A11017 SD|A11018 A11021|---+"},
        {0x0501, "A11024|A11017 SD|A11018 A11021|---+"}, // no card wins over the code
        {0x000C, "A11021|A11017 SDHC|A11018 A11023|---+"},
        {0x0002, "A11021|A11017 SD|A11018 A11021|+++-"},
        {0x0010, "A11021|A11017 SD|A11018 A11021|---+"}, // after a question: Close again
    };
    for (const auto& [word, shown] : cases) {
        d.Fill(ValuesOf(word));
        EXPECT_EQ(Shown(d), shown) << word;
    }
}

TEST_F(LanguageTest, DiagnosticsOpenOnResultEighteenAndOnlyYesSendsSomething) {
    WriteFullModule("a.lng", "First", "A");
    TNdForm& f = Activated();
    TForm_dgn& d = Dialog();
    f.OnSerialReply(20); // a failure does not open it
    EXPECT_FALSE(d.isVisible());
    f.ClearLogClick();
    for (int way = 0; way < 3; ++way) {
        f.OnSerialReply(18);
        d.Fill(ValuesOf(0x0002));
        ASSERT_TRUE(d.isVisible());
        way == 0 ? d.BitBtn2Click() : way == 1 ? d.BitBtn3Click() : void(d.close());
        EXPECT_FALSE(d.isVisible()) << way;
    }
    // Yes with a factory number that is no number: the conversion error, the dialog stays.
    f.OnSerialReply(18);
    f.Edit1->setText("12a");
    EXPECT_THROW(d.BitBtn1Click(), plat::EConvertError);
    EXPECT_TRUE(d.isVisible());
    guitest::Pump(50);
    EXPECT_TRUE(Log().empty()); // nothing was asked of the link
}

} // namespace
