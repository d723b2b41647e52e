// The main form as it starts: modes, lists, pages, the text lookup and its look.
#include "FormFixture.h"

#include "platform/Formats.h"
#include "platform/Shell.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTimer>

#include <thread>

namespace {

using Lines = std::vector<std::string>;

TEST(TextByKey, TakesTheFirstMatchingLineAndEverythingAfterItsFirstEquals) {
    const Lines lines = {"[Language]", "lng=Name", "1000 =blank before", "2000=a=b", "2000=second",
                         "30000=x",    "3000",     "3000=unit",          "",         "4000=",
                         "ab=cd"};
    EXPECT_EQ(TextByKey(lines, 2000), "a=b");
    EXPECT_EQ(TextByKey(lines, 1000), "");     // a blank before "=" is part of the key
    EXPECT_EQ(TextByKey(lines, 3000), "unit"); // a line without "=" is passed over
    EXPECT_EQ(TextByKey(lines, 300), "");
    EXPECT_EQ(TextByKey(lines, 4000), "");
    EXPECT_EQ(TextByKey({}, 9001), "");
}

class MainFormTest : public FormTest {};

TEST_F(MainFormTest, NormalModeStartsOnTheClockPageWithServiceControlsHidden) {
    TNdForm& f = Create("/usr/bin/nd307 -x");
    EXPECT_TRUE(f.NormalMode);
    EXPECT_EQ(f.PageControl->ActivePageIndex(), 2);
    EXPECT_FALSE(f.PageControl->isTabVisible(1));
    EXPECT_TRUE(f.PageControl->isTabVisible(0));
    EXPECT_FALSE(f.Edit1->isEnabled());
    for (QWidget* w : {static_cast<QWidget*>(f.Button6), static_cast<QWidget*>(f.Bevel4),
                       static_cast<QWidget*>(f.ComboBox1), static_cast<QWidget*>(f.Button7),
                       static_cast<QWidget*>(f.Bevel5), static_cast<QWidget*>(f.Button1)})
        EXPECT_TRUE(w->isHidden()) << w->metaObject()->className();
    EXPECT_FALSE(f.ComboBox4->isEnabled());
    EXPECT_FALSE(f.Label8->isEnabled());
    // Busy and idle leave the service controls alone in the normal mode.
    f.EnableControls(false);
    f.EnableControls(true);
    EXPECT_FALSE(f.Edit1->isEnabled());
    EXPECT_FALSE(f.ComboBox4->isEnabled());
}

TEST_F(MainFormTest, ServiceSwitchAnywhereInTheCommandLineIsCaseSensitive) {
    EXPECT_FALSE(Create("/home/u/zolvy/nd307 /zolvy").NormalMode);
    EXPECT_FALSE(Create("/tmp/a/zolvy/nd307").NormalMode); // inside the program's own path
    EXPECT_FALSE(Create("nd307 -x/zolvyy").NormalMode);    // glued to another argument
    EXPECT_TRUE(Create("nd307 /ZOLVY /Zolvy").NormalMode);
    EXPECT_TRUE(Create("nd307 / zolvy").NormalMode);
}

TEST_F(MainFormTest, ServiceModeShowsTheParameterPageAndTheWriteControls) {
    TNdForm& f = Create("nd307 /zolvy");
    EXPECT_EQ(f.PageControl->ActivePageIndex(), 1);
    EXPECT_TRUE(f.PageControl->isTabVisible(1));
    for (QWidget* w : {static_cast<QWidget*>(f.Button6), static_cast<QWidget*>(f.Button7),
                       static_cast<QWidget*>(f.ComboBox1), static_cast<QWidget*>(f.Edit1)})
        EXPECT_FALSE(w->isHidden());
    // The option controls stay hidden in both modes.
    EXPECT_TRUE(f.ComboBox2->isHidden());
    EXPECT_TRUE(f.Button1->isHidden());
    EXPECT_TRUE(f.ComboBox4->isEnabled());
    f.EnableControls(false);
    EXPECT_FALSE(f.Edit1->isEnabled());
    EXPECT_FALSE(f.ComboBox4->isEnabled());
    f.EnableControls(true);
    EXPECT_TRUE(f.Edit1->isEnabled());
}

TEST_F(MainFormTest, StartsWithItsListsSeparatorsAndIdleControls) {
    plat::SetDecimalSeparator(',');
    TNdForm& f = Create();
    EXPECT_EQ(plat::GetDecimalSeparator(), '.');
    EXPECT_EQ(plat::GetDateSeparator(), '.');
    ASSERT_EQ(f.ComboBox3->count(), 60);
    EXPECT_EQ(f.ComboBox3->itemText(0), "COM1");
    EXPECT_EQ(f.ComboBox3->itemText(59), "COM60");
    EXPECT_EQ(f.ComboBox3->currentIndex(), 0);
    ASSERT_EQ(f.ComboBox4->count(), 7);
    EXPECT_EQ(f.ComboBox4->currentText(), "9600");
    EXPECT_EQ(f.ComboBox4->itemText(6), "115200");
    EXPECT_EQ(f.ListView->columnCount(), 4);
    EXPECT_EQ(f.ListView->columnWidth(3), 350);
    EXPECT_EQ(f.ListViewPar->columnCount(), 3);
    EXPECT_GE(f.ListViewLog->columnWidth(0), 150);
    EXPECT_EQ(f.ListViewLog->columnWidth(1), 450);
    EXPECT_TRUE(f.RadioButton1->isChecked());
    EXPECT_FALSE(f.CheckBox1->isChecked());
    EXPECT_FALSE(f.Button5->isEnabled());
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_EQ(f.Timer1->interval(), 20);
    EXPECT_EQ(f.Button3->text(), "Read");
}

TEST_F(MainFormTest, LogRowsCarryATimeStampAndTheTextAndCanBeCleared) {
    TNdForm& f = Create();
    f.AddLogLine("first");
    f.AddLogLine("second");
    ASSERT_EQ(f.ListViewLog->Count(), 2);
    const std::string stamp = f.ListViewLog->Cell(1, 0);
    // "[dd.mm.yyyy hh:nn:ss]"
    ASSERT_EQ(stamp.size(), 21u) << stamp;
    EXPECT_EQ(stamp.front(), '[');
    EXPECT_EQ(stamp.back(), ']');
    EXPECT_EQ(stamp[3], '.');
    EXPECT_EQ(stamp[6], '.');
    EXPECT_EQ(f.ListViewLog->Cell(1, 1), "second");
    f.ClearLog->trigger();
    EXPECT_EQ(f.ListViewLog->Count(), 0);
    EXPECT_EQ(f.ClearLog->text(), QString::fromUtf8("Очистить список"));
}

TEST_F(MainFormTest, TimerCountsTwentyTicksThenStopsAtEachLaterEnabling) {
    TNdForm& f = Create();
    f.TimerTicks = 0;
    f.Timer1->start();
    for (int i = 0; i < 20; ++i)
        f.Timer1Timer();
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_EQ(f.TimerTicks, 20);
    f.Timer1Timer();
    EXPECT_FALSE(f.Timer1->isActive());
    // The link thread's enabling comes through the event loop.
    std::thread([&f] { f.EnableTimer1(); }).join();
    EXPECT_TRUE(guitest::PumpUntil([&] { return f.Timer1->isActive(); }, 1000));
    EXPECT_TRUE(guitest::PumpUntil([&] { return !f.Timer1->isActive(); }, 1000));
}

TEST_F(MainFormTest, PortOrBaudChangeEnablesTheOpenButton) {
    TNdForm& f = Create("nd307 /zolvy");
    EXPECT_FALSE(f.Button5->isEnabled());
    f.ComboBox4->activated(3);
    EXPECT_TRUE(f.Button5->isEnabled());
    f.Button5->setEnabled(false);
    f.ComboBox3->activated(2);
    EXPECT_TRUE(f.Button5->isEnabled());
}

TEST_F(MainFormTest, LinkLineIsHandedToTheShell) {
    TNdForm& f = Create();
    std::vector<std::string> opened;
    auto previous = plat::SetShellOpenHook([&](const std::string& target) {
        opened.push_back(target);
        return true;
    });
    f.Label11->setText("www.example.org");
    f.Label11Click();
    plat::SetShellOpenHook(previous);
    EXPECT_EQ(opened, std::vector<std::string>{"www.example.org"});
}

} // namespace
