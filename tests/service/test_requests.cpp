// Requests, the busy and idle states and the reply table, with the port closed: every request
// then fails at once in the link thread and only its failure code comes back.
#include "FormFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>

namespace {

class RequestTest : public FormTest {
protected:
    // Waits for the n-th log row.
    bool WaitForLog(std::size_t n) {
        return guitest::PumpUntil([&] { return LogTexts().size() >= n; }, 3000);
    }
    bool Idle() const { return form_->Button3->isEnabled() && form_->CheckBox1->isEnabled(); }
};

TEST_F(RequestTest, FailureResultsLogTheirTextAndReturnToIdle) {
    TNdForm& f = Create();
    const std::pair<int, const char*> table[] = {
        {3, "T11004"},   {7, "T11010"},   {11, "T11005"},  {13, "T11007"},
        {15, "T11008"},  {17, "T11009"},  {20, "T11025"},  {100, "T11011"},
        {101, "T11012"}, {102, "T11013"}, {104, "T11015"},
    };
    for (const auto& [result, text] : table) {
        f.ClearLogClick();
        f.EnableControls(false);
        f.OnSerialReply(result);
        EXPECT_EQ(LogTexts(), std::vector<std::string>{text}) << result;
        EXPECT_TRUE(Idle()) << result;
        EXPECT_TRUE(f.BitBtn1->isEnabled()) << result;
    }
}

TEST_F(RequestTest, CrcErrorOnlyLogsAndLeavesTheStateToTheFailureThatFollows) {
    TNdForm& f = Create();
    f.EnableControls(false);
    f.OnSerialReply(103);
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"T11014"});
    EXPECT_FALSE(f.Button3->isEnabled());
    f.OnSerialReply(3);
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{"T11014", "T11004"}));
    EXPECT_TRUE(Idle());
}

TEST_F(RequestTest, ModeWriteFailureAfterCommandElevenIsSilentButEndsTheBusyState) {
    TNdForm& f = Create("nd307 /zolvy");
    f.Params[2] = 11;
    f.EnableControls(false);
    f.OnSerialReply(17);
    EXPECT_TRUE(LogTexts().empty());
    EXPECT_TRUE(Idle());
}

TEST_F(RequestTest, UnlistedResultsChangeNothing) {
    TNdForm& f = Create();
    f.EnableControls(false);
    for (int result : {1, 4, 5, 8, 9, 19, 21, 22, 99, 105, -1})
        f.OnSerialReply(result);
    EXPECT_TRUE(LogTexts().empty());
    EXPECT_FALSE(f.Button3->isEnabled());
}

TEST_F(RequestTest, ReadOnTheClockPageAsksForParametersAndReturnsToIdleOnFailure) {
    TNdForm& f = Create();
    f.Button3Click();
    EXPECT_FALSE(f.Button3->isEnabled());
    EXPECT_FALSE(f.ComboBox3->isEnabled());
    ASSERT_TRUE(WaitForLog(1));
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"T11004"});
    EXPECT_TRUE(Idle());
}

TEST_F(RequestTest, ReadOnTheMeasurementPageAsksForMeasurements) {
    TNdForm& f = Create();
    f.PageControl->SetActivePageIndex(0);
    f.Button3Click();
    ASSERT_TRUE(WaitForLog(1));
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"T11005"});
}

TEST_F(RequestTest, PageCannotChangeWhileBusyButCanWhileDiagnosticsRun) {
    TNdForm& f = Create();
    f.EnableControls(false);
    f.PageControl->tabBar()->setCurrentIndex(0);
    EXPECT_EQ(f.PageControl->ActivePageIndex(), 2);
    f.EnableControls(true);
    f.BitBtn1->setEnabled(false); // a diagnostics request runs
    f.PageControl->tabBar()->setCurrentIndex(0);
    EXPECT_EQ(f.PageControl->ActivePageIndex(), 0);
    // The hidden parameter page of the normal mode cannot be reached.
    EXPECT_FALSE(f.PageControl->isTabVisible(1));
}

TEST_F(RequestTest, EqualReadAndStopTextsMakeEveryReadClickAStop) {
    TNdForm& f = Create();
    f.Texts.clear();
    f.EnableControls(true);
    f.Button3Click();
    EXPECT_FALSE(f.Button3->isEnabled());
    guitest::Pump(100);
    EXPECT_TRUE(LogTexts().empty());
}

TEST_F(RequestTest, TypedDateThatDoesNotExistPostsNothing) {
    TNdForm& f = Create();
    f.RadioButton2->click();
    EXPECT_TRUE(f.Edit2->isEnabled());
    for (const char* date : {"31.02.2014", "1.1.1999", "", "xx"}) {
        f.ClearLogClick();
        f.Edit3->setText(date);
        f.Edit2->setText("10:00:00");
        f.Button2Click();
        EXPECT_EQ(LogTexts(), std::vector<std::string>{"T11003"}) << date;
        EXPECT_TRUE(Idle());
        guitest::Pump(50);
        EXPECT_EQ(LogTexts().size(), 1u) << date;
    }
}

TEST_F(RequestTest, TypedClockRecordCarriesMondayOneToSundaySeven) {
    TNdForm& f = Create();
    f.RadioButton2->click();
    const std::pair<const char*, int> days[] = {
        {"07.09.2014", 7}, {"08.09.2014", 1}, {"13.09.2014", 6}};
    for (const auto& [date, dayOfWeek] : days) {
        f.ClearLogClick();
        f.Edit3->setText(date);
        f.Edit2->setText("09:07:05");
        f.Button2Click();
        EXPECT_FALSE(f.Button2->isEnabled());
        ASSERT_TRUE(WaitForLog(1));
        EXPECT_EQ(LogTexts(), std::vector<std::string>{"T11010"}); // the port is closed
        DeviceParams p{};
        f.SerialLink->GetConfig(p);
        EXPECT_EQ(p[10], 5);
        EXPECT_EQ(p[11], 7);
        EXPECT_EQ(p[12], 9);
        EXPECT_EQ(p[13], dayOfWeek) << date;
        EXPECT_EQ(p[15], 9);
        EXPECT_EQ(p[16], 14);
    }
}

TEST_F(RequestTest, PcClockChoiceIgnoresTheTypedFields) {
    TNdForm& f = Create();
    f.Edit3->setText("nonsense");
    f.Button2Click();
    ASSERT_TRUE(WaitForLog(1));
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"T11010"});
    EXPECT_TRUE(f.RadioButton1Checked());
}

TEST_F(RequestTest, FactoryNumberOutsideTheRegisterIsRefusedLikeText) {
    TNdForm& f = Create("nd307 /zolvy");
    for (const char* typed : {"65536", "-1", "abc", "99999999999"}) {
        f.Edit1->setText(typed);
        f.Button6->click();
        EXPECT_EQ(f.Edit1->text(), "0") << typed;
        EXPECT_TRUE(Idle());
    }
    guitest::Pump(100);
    EXPECT_TRUE(LogTexts().empty()); // nothing was posted
    f.Edit1->setText("65535");
    f.Button6->click();
    EXPECT_FALSE(f.Button3->isEnabled());
    ASSERT_TRUE(WaitForLog(1));
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"T11007"});
    DeviceParams p{};
    f.SerialLink->GetConfig(p);
    EXPECT_EQ(p[0], 65535);
}

TEST_F(RequestTest, ModeWriteWithoutAModeSendsNothing) {
    TNdForm& f = Create("nd307 /zolvy");
    f.Edit1->setText("12");
    ASSERT_EQ(f.ComboBox1->currentIndex(), -1);
    f.Button7->click();
    EXPECT_TRUE(Idle());
    EXPECT_EQ(f.Edit1->text(), "12");
    guitest::Pump(100);
    EXPECT_TRUE(LogTexts().empty());

    f.ComboBox1->addItems({"m0", "m1", "m2"});
    f.ComboBox1->setCurrentIndex(2);
    f.Button7->click();
    ASSERT_TRUE(WaitForLog(1));
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"T11009"});
}

TEST_F(RequestTest, DiagnosticsDisablesOnlyItsButtonUntilTheFailureEnablesIt) {
    TNdForm& f = Create();
    f.BitBtn1Click();
    EXPECT_FALSE(f.BitBtn1->isEnabled());
    EXPECT_TRUE(f.Button3->isEnabled());
    ASSERT_TRUE(WaitForLog(1));
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"T11025"});
    EXPECT_TRUE(f.BitBtn1->isEnabled());
}

} // namespace
