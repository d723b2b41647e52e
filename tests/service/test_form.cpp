// The main form without a recorder: modes, settings, the reply table, and requests, which fail at
// once in the link thread because the port is closed.
#include "Fixture.h"

#include "platform/Formats.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>

#include <tuple>

namespace {

TEST_F(FormTest, ServiceSwitchIsACaseSensitiveSubstringOfTheCommandLine) {
    EXPECT_FALSE(Create("/tmp/a/zolvy/nd307").NormalMode); // inside the program's own path
    EXPECT_FALSE(Create("nd307 -x/zolvyy").NormalMode);    // glued to another argument
    EXPECT_TRUE(Create("nd307 /ZOLVY /Zolvy / zolvy").NormalMode);
}

TEST_F(FormTest, NormalModeHidesWhatTheServiceModeShows) {
    plat::SetDecimalSeparator(',');
    TNdForm& n = Create();
    EXPECT_EQ(plat::GetDecimalSeparator(), '.');
    EXPECT_EQ(n.PageControl->ActivePageIndex(), 2);
    EXPECT_FALSE(n.PageControl->isTabVisible(1));
    EXPECT_TRUE(n.Button6->isHidden() && n.Button7->isHidden() && n.ComboBox1->isHidden());
    n.EnableControls(true); // leaves the service controls as the constructor left them
    EXPECT_FALSE(n.Edit1->isEnabled() || n.ComboBox4->isEnabled());

    TNdForm& s = Create("nd307 /zolvy");
    EXPECT_EQ(s.PageControl->ActivePageIndex(), 1);
    EXPECT_FALSE(s.Button6->isHidden() || s.Button7->isHidden() || s.ComboBox1->isHidden());
    EXPECT_TRUE(s.ComboBox2->isHidden() && s.Button1->isHidden()); // never shown
    s.EnableControls(false);
    EXPECT_FALSE(s.Edit1->isEnabled() || s.ComboBox4->isEnabled());
    s.EnableControls(true);
    EXPECT_TRUE(s.Edit1->isEnabled() && s.ComboBox4->isEnabled());
}

TEST_F(FormTest, SettingsSurviveARestartAndAreReadUpToTheFirstBadValue) {
    TNdForm& first = Create();
    EXPECT_EQ(first.ComboBox3->currentText() + first.ComboBox4->currentText(), "COM19600");
    first.ComboBox3->setCurrentIndex(4);
    first.ComboBox4->setCurrentIndex(5);
    first.LanguageFile = "nd307_en.lng";
    TNdForm& f = Create();
    EXPECT_EQ(f.ComboBox3->currentText() + " " + f.ComboBox4->currentText(), "COM5 57600");
    EXPECT_EQ(f.LanguageFile, "nd307_en.lng");
    Destroy();

    std::filesystem::remove(dir_ / "registry.txt");
    Store([](plat::TRegistry& r) {
        r.WriteInteger("BaudIndex", 3);
        r.WriteString("Language", "x.lng");
    });
    TNdForm& g = Create();
    EXPECT_EQ(g.ComboBox4->currentIndex(), 1); // PortIndex missing: nothing is restored
    EXPECT_EQ(g.LanguageFile, "");
    Destroy();
    Store([](plat::TRegistry& r) {
        r.WriteInteger("PortIndex", 4);
        r.WriteString("BaudIndex", "3");
    });
    TNdForm& h = Create();
    EXPECT_EQ(h.ComboBox3->currentIndex(), 4);
    EXPECT_EQ(h.ComboBox4->currentIndex(), 1); // of the wrong type: the read stops

    // So does an index outside its list, as a damaged file holds: the lists keep a selection
    // (COM1 or the port read before, 9600) and the save at the end writes it.
    const std::tuple<int, int, int> damaged[] = {{75, 3, 0}, {-3, 3, 0}, {4, 7, 4}};
    for (const auto& [port, baud, kept] : damaged) {
        Destroy();
        Store([port, baud](plat::TRegistry& r) {
            r.WriteInteger("PortIndex", port);
            r.WriteInteger("BaudIndex", baud);
        });
        TNdForm& d = Create();
        EXPECT_EQ(d.ComboBox3->currentIndex(), kept) << port;
        EXPECT_EQ(d.ComboBox4->currentIndex(), 1) << port;
        Destroy();
        plat::TRegistry saved;
        ASSERT_TRUE(saved.OpenKey("Software\\Livat\\ND307", false));
        EXPECT_EQ(saved.ReadInteger("PortIndex"), kept) << port;
        EXPECT_EQ(saved.ReadInteger("BaudIndex"), 1) << port;
    }
}

TEST_F(FormTest, PortZeroIsRefusedAndAStoreThatCannotBeWrittenIsLogged) {
    TNdForm& f = Create();
    f.ComboBox3->setCurrentIndex(-1); // no port chosen
    f.Button5Click();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_NE(Boxes()[0].find("COM port error"), std::string::npos);
    EXPECT_TRUE(Log().empty());
    Destroy();
    plat::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Livat\\ND307", false));
    EXPECT_EQ(reg.ReadInteger("PortIndex"), -1); // written unchanged

    TNdForm& g = Create();
    std::filesystem::remove(dir_ / "registry.txt");
    std::filesystem::create_directories(dir_ / "registry.txt");
    bool logged = false;
    QObject::connect(g.ListViewLog->model(), &QAbstractItemModel::rowsInserted,
                     [&] { logged = true; });
    Destroy();
    EXPECT_TRUE(logged);
}

TEST_F(FormTest, ReplyTableLogsFailuresAndReturnsToIdle) {
    TNdForm& f = Create("nd307 /zolvy");
    const std::pair<int, const char*> failures[] = {
        {3, "T11004"},   {7, "T11010"},   {11, "T11005"}, {13, "T11007"},
        {15, "T11008"},  {17, "T11009"},  {20, "T11025"}, {100, "T11011"},
        {101, "T11012"}, {102, "T11013"}, {104, "T11015"}};
    for (const auto& [result, text] : failures) {
        f.ClearLogClick();
        f.EnableControls(false);
        f.OnSerialReply(result);
        EXPECT_EQ(Log(), Lines{text}) << result;
        EXPECT_TRUE(f.Button3->isEnabled() && f.BitBtn1->isEnabled()) << result;
    }
    // A CRC error leaves the state to the failure that follows it; unlisted codes do nothing.
    f.ClearLogClick();
    f.EnableControls(false);
    for (int result : {103, 1, 4, 5, 8, 9, 19, 21, 22, 99, 105, -1})
        f.OnSerialReply(result);
    EXPECT_EQ(Log(), Lines{"T11014"});
    EXPECT_FALSE(f.Button3->isEnabled());
    // A failed mode write after command value 11 is not logged, but must not leave the form busy.
    f.ClearLogClick();
    f.Params[2] = 11;
    f.OnSerialReply(17);
    EXPECT_TRUE(Log().empty());
    EXPECT_TRUE(f.Button3->isEnabled());
}

TEST_F(FormTest, ReadOnTheClockPageAsksForParametersAndOnlyDiagnosticsLeaveThePagesFree) {
    TNdForm& f = Create();
    f.BitBtn1->setEnabled(false); // a diagnostics request runs: the pages stay free
    f.PageControl->tabBar()->setCurrentIndex(0);
    ASSERT_EQ(f.PageControl->ActivePageIndex(), 0);
    f.PageControl->tabBar()->setCurrentIndex(2);
    f.Button3Click(); // the clock page reads the parameters, and the pages freeze
    f.PageControl->tabBar()->setCurrentIndex(0);
    EXPECT_EQ(f.PageControl->ActivePageIndex(), 2);
    ASSERT_TRUE(guitest::PumpUntil([&] { return !Log().empty(); }, 3000));
    EXPECT_EQ(Log(), Lines{"T11004"});
    // Equal read and stop texts make every read click a stop click.
    f.Texts.clear();
    f.EnableControls(true);
    f.Button3Click();
    EXPECT_FALSE(f.Button3->isEnabled());
    guitest::Pump(100);
    EXPECT_EQ(Log().size(), 1u);
}

TEST_F(FormTest, TypedClockIsCheckedAndCarriesMondayOneToSundaySeven) {
    TNdForm& f = Create();
    f.RadioButton2->click();
    f.Edit2->setText("09:07:05");
    // The recorder keeps the year minus 2000 in one byte: earlier years would reach it wrapped.
    for (const char* date : {"31.02.2014", "1.1.1999", "", "xx"}) {
        f.ClearLogClick();
        f.Edit3->setText(date);
        f.Button2Click();
        EXPECT_EQ(Log(), Lines{"T11003"}) << date;
        EXPECT_TRUE(f.Button3->isEnabled());
    }
    guitest::Pump(50);
    EXPECT_EQ(Log().size(), 1u); // nothing was posted
    for (const auto& [date, dayOfWeek] : {std::pair{"07.09.2014", 7}, std::pair{"08.09.2014", 1}}) {
        f.ClearLogClick();
        f.Edit3->setText(date);
        f.Button2Click();
        ASSERT_TRUE(guitest::PumpUntil([&] { return !Log().empty(); }, 3000));
        DeviceParams p{};
        f.SerialLink->GetConfig(p);
        EXPECT_EQ(p[13], dayOfWeek) << date;
        EXPECT_EQ(p[10] + 100 * p[11] + 10000 * p[12], 5 + 700 + 90000);
        EXPECT_EQ(p[16], 14);
    }
}

// A number the factory-number register cannot hold, and a mode write without a mode, are bad
// input: nothing is posted.
TEST_F(FormTest, ServiceWritesRefuseWhatTheRegistersCannotTake) {
    TNdForm& f = Create("nd307 /zolvy");
    for (const char* typed : {"65536", "-1", "abc", "99999999999"}) {
        f.Edit1->setText(typed);
        f.Button6->click();
        EXPECT_EQ(f.Edit1->text(), "0") << typed;
        EXPECT_TRUE(f.Button3->isEnabled());
    }
    f.Edit1->setText("12");
    ASSERT_EQ(f.ComboBox1->currentIndex(), -1);
    f.Button7->click();
    EXPECT_TRUE(f.Button3->isEnabled());
    EXPECT_EQ(f.Edit1->text(), "12");
    guitest::Pump(100);
    EXPECT_TRUE(Log().empty());

    f.Edit1->setText("65535");
    f.Button6->click();
    EXPECT_FALSE(f.Button3->isEnabled());
    DeviceParams p{};
    f.SerialLink->GetConfig(p);
    EXPECT_EQ(p[0], 65535);
}

} // namespace
