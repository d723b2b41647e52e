// The main form on its own: its frame and buttons, the missing test-signal file, the message
// map, the timer, and the application-wide exception handler.
#include "WizardTest.h"

#include "platform/Formats.h"
#include "platform/MessageBox.h"
#include "platform/qt/Application.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace {

TEST_F(WizardTest, FormSetsTheSeparatorTitleAndIdlePort) {
    plat::SetDecimalSeparator(',');
    TMainForm& f = CreateForm();
    EXPECT_EQ(plat::GetDecimalSeparator(), '.');
    EXPECT_EQ(MainForm, &f);
    EXPECT_FALSE(f.windowFlags() & Qt::WindowCloseButtonHint);
    plat::TApplication::ShowException(std::string("x"));
    EXPECT_EQ(Boxes().back(), f.windowTitle().toStdString() + ": x"); // the application's title
    EXPECT_FALSE(f.CommPort1->IsEnabled());
    Destroy();
    EXPECT_EQ(MainForm, nullptr);
}

// The file is looked for in the current directory only; without it nothing is built.
TEST_F(WizardTest, MissingSignalsFileStopsTheConstructor) {
    try {
        TMainForm form;
        ADD_FAILURE() << "no exception";
    } catch (const plat::Exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Не найден файл \"signals.ini\".\nРабота не может быть продолжена.");
    }
    EXPECT_EQ(MainForm, nullptr);
    // A file present afterwards is read.
    EXPECT_NO_THROW(CreateForm());
}

TEST_F(WizardTest, NotificationsReachTheResultHandlerUnchanged) {
    TMainForm& f = CreateForm();
    for (plat::WPARAM code : {104u, 100u, 1u, 3u})
        plat::PostMessage(f.Handle, plat::WM_USER, code, 0);
    plat::PostMessage(f.Handle, plat::WM_USER + 1, 3, 0);
    wizardtest::PumpUntil([this] { return !Boxes().empty(); }, 1000);
    wizardtest::Pump(20);
    EXPECT_EQ(Boxes(), Lines{"Поверка НД 3.07: Не удалось прочитать конфигурацию"});
    ClearBoxes();
    f.Dispatch(plat::WM_USER, 11, 0);
    f.Dispatch(plat::WM_USER, 10, 0); // no measurement page: nothing stored, port untouched
    EXPECT_EQ(Boxes(), Lines{"Поверка НД 3.07: Потеряна связь с НД 3.07.\n"
                             "Чтение показателей качества невозможно."});
    EXPECT_EQ(f.FPortClosed, 0);
}

class ExceptionTest : public WizardTest {
protected:
    ExceptionTest() : previousExit_(TMainForm::ExitProcess) {
        TMainForm::ExitProcess = [this](int code) { exits_.push_back(code); };
    }
    ~ExceptionTest() override {
        Destroy();
        TMainForm::ExitProcess = previousExit_;
    }
    std::vector<int> exits_;
    std::function<void(int)> previousExit_;
};

// Six silent re-reads per started measurement; the seventh failure ends the program. A
// conversion error only tells the operator and touches neither the budget nor the program.
TEST_F(ExceptionTest, ConversionErrorsAreShownOtherErrorsRereadThenEnd) {
    TMainForm& f = CreateForm();
    const plat::EConvertError convert("'x' is not a valid floating point value");
    const plat::Exception other("Access violation");
    TWizardApplication::HandleException(nullptr, convert);
    EXPECT_EQ(Boxes(), Lines{"Поверка НД 3.07: Неверно введено числовое значение."});
    EXPECT_EQ(f.FRetries, 0);
    ClearBoxes();
    for (int i = 0; i < 6; ++i)
        TWizardApplication::HandleException(nullptr, other);
    EXPECT_EQ(f.FRetries, 6);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(exits_.empty());
    TWizardApplication::HandleException(nullptr, convert);
    EXPECT_TRUE(exits_.empty());
    ClearBoxes();
    TWizardApplication::HandleException(nullptr, other);
    EXPECT_EQ(Boxes(), Lines{"Поверка НД 3.07: Access violation"});
    EXPECT_EQ(exits_, std::vector<int>{1});
    // A start button gives a new budget.
    f.FRetries = 0;
    TWizardApplication::HandleException(nullptr, std::runtime_error("x"));
    EXPECT_EQ(f.FRetries, 1);
}

} // namespace

// The wizard speaks Russian whatever the desktop's language: its question boxes must not offer
// "Yes" and "No".
TEST(WizardButtons, QuestionBoxesAnswerInRussian) {
    wizardtest::EnsureApplication();
    TWizardApplication::UseRussianButtons();
    const auto box = plat::NewMessageBox("Выйти из программы?", "Подтвердите действие",
                                         plat::MB_YESNO | plat::MB_ICONQUESTION);
    ASSERT_TRUE(box->button(QMessageBox::Yes) && box->button(QMessageBox::No));
    EXPECT_EQ(box->button(QMessageBox::Yes)->text().remove('&'), QStringLiteral("Да"));
    EXPECT_EQ(box->button(QMessageBox::No)->text().remove('&'), QStringLiteral("Нет"));
}
