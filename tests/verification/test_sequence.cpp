// The page sequence through the real pages: what each page hands over, the step numbers, the
// page skipped in periodic verification, the jumps to the finish page and the other buttons.
#include "WizardTest.h"

#include "verification/base_frame.h"
#include "verification/frame_climat.h"
#include "verification/frame_impedance.h"
#include "verification/frame_isolation.h"
#include "verification/frame_select_type.h"
#include "verification/frame_tools.h"
#include "verification/main_protocol.h"
#include "verification/signals.h"

#include "platform/Formats.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <tuple>

namespace {

class SequenceTest : public WizardTest {
protected:
    SequenceTest() {
        CreateWizard();
        form_->FormActivate();
    }

    TMainForm& f() { return *form_; }
    std::string Caption() const { return form_->windowTitle().toStdString(); }
    std::string Step() const {
        const std::string caption = Caption();
        const std::size_t at = caption.rfind(' ');
        return caption.rfind(WizardTitle + " - Шаг ", 0) == 0 ? caption.substr(at + 1) : "-";
    }
    // Presses Next and returns the step number shown afterwards.
    std::string Next() {
        f().NextButtonClick();
        return Step();
    }
    void Choose(int verificationType) { SelTypeFrame->RadioGroup->SetItemIndex(verificationType); }
};

TEST_F(SequenceTest, PrimaryVerificationVisitsEveryPageAndCollectsTheValues) {
    EXPECT_EQ(Caption(), WizardTitle);
    EXPECT_TRUE(f().FFrames[0]->isVisibleTo(f().FramePanel));
    EXPECT_TRUE(f().NextButton->isEnabled());
    EXPECT_FALSE(f().ReadyButton->isEnabled());

    EXPECT_EQ(Next(), "1");
    EXPECT_FALSE(f().FPeriodic);
    EXPECT_FLOAT_EQ(LimitDeviationU, 0.4f);
    EXPECT_FLOAT_EQ(LimitHarmonicRel, 4.0f);
    EXPECT_EQ(Next(), "2");
    EXPECT_EQ(f().FTemperature, 20);
    EXPECT_EQ(f().FHumidity, 50);
    EXPECT_EQ(f().FPressure, 84);
    EXPECT_FALSE(f().NextButton->isEnabled()); // until the inspection is confirmed
    EXPECT_EQ(Next(), "3");
    ImpedanceFrame->Edit->setText("2.0"); // exactly the limit passes
    EXPECT_EQ(Next(), "4");
    EXPECT_FLOAT_EQ(f().FResistance, 2.0f);
    IsolationFrame->CheckBox1->setChecked(true);
    EXPECT_EQ(Next(), "5");
    EXPECT_TRUE(f().FStrengthPassed);
    EXPECT_FALSE(f().NextButton->isEnabled()); // the connection page waits for the recorder
    for (const char* step : {"6", "7", "8"})
        EXPECT_EQ(Next(), step);
    ToolsFrame->Memo1->setPlainText("ГМ6.220\nзав.№01");
    ToolsFrame->Edit1->setText("01.02.2026");
    EXPECT_EQ(Next(), "9");
    EXPECT_EQ(f().FTools[0], "ГМ6.220\r\nзав.№01");
    EXPECT_EQ(f().FTools[1], "01.02.2026");
    EXPECT_EQ(f().FTools[2], "");
    EXPECT_EQ(f().FFailureCode, 0);
    EXPECT_FALSE(f().NextButton->isEnabled());
    EXPECT_TRUE(f().ReadyButton->isEnabled());
    for (int page = 0; page < 9; ++page)
        EXPECT_FALSE(f().FFrames[page]->isVisibleTo(f().FramePanel)) << page;
    EXPECT_TRUE(f().FFrames[9]->isVisibleTo(f().FramePanel));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(SequenceTest, PeriodicVerificationSkipsTheDielectricStrengthPage) {
    Choose(1);
    EXPECT_EQ(Next(), "1");
    EXPECT_TRUE(f().FPeriodic);
    EXPECT_FLOAT_EQ(LimitDeviationU, 0.5f);
    EXPECT_FLOAT_EQ(LimitHarmonicAbs, 0.15f);
    EXPECT_EQ(Next(), "2");
    EXPECT_EQ(Next(), "3");
    ImpedanceFrame->Edit->setText("10");
    EXPECT_EQ(Next(), "5");
    EXPECT_FALSE(f().FStrengthPassed);
    EXPECT_EQ(f().FFailureCode, 0);
    EXPECT_FALSE(IsolationFrame->isVisibleTo(f().FramePanel));
}

// A low resistance, or an unticked dielectric strength in primary verification, is told while
// the page is still up, then the wizard jumps to the finish page.
TEST_F(SequenceTest, FailedInsulationIsToldThenJumpsToTheFinishPage) {
    const std::tuple<const char*, const char*, int> cases[] = {
        {"1,99", "Сопротивление изоляции должно быть больше 2 МОм.", 4},
        {"50",
         "Электрическая прочность изоляции не соответствует установленным требованиям.\n"
         "Проверка не может быть продолжена.",
         5}};
    bool finishShownAtBox = true;
    onBox_ = [this, &finishShownAtBox](const std::string&) {
        finishShownAtBox = f().FFrames[9]->isVisibleTo(f().FramePanel);
    };
    for (const auto& [resistance, box, code] : cases) {
        CreateWizard();
        f().FormActivate();
        ClearBoxes();
        for (int i = 0; i < 3; ++i)
            Next();
        ImpedanceFrame->Edit->setText(resistance);
        std::string steps = Next();
        if (steps == "4") steps += Next();
        EXPECT_EQ(steps, code == 5 ? "49" : "9");
        EXPECT_FALSE(finishShownAtBox);
        EXPECT_EQ(Boxes(), Lines{std::string("Поверка НД 3.07: ") + box});
        EXPECT_EQ(f().FFailureCode, code);
        EXPECT_FALSE(f().NextButton->isEnabled());
        EXPECT_TRUE(f().ReadyButton->isEnabled());
    }
}

// The conversion error leaves before anything changes; the application's handler tells the
// operator and the page stays for a correction. A negative resistance is refused the same way,
// not judged a failed insulation.
TEST_F(SequenceTest, ResistanceThatIsNoNumberKeepsThePage) {
    for (int i = 0; i < 3; ++i)
        Next();
    for (const char* typed : {"", "-5"}) {
        ClearBoxes();
        ImpedanceFrame->Edit->setText(typed);
        try {
            f().NextButtonClick();
            ADD_FAILURE() << "no exception for '" << typed << "'";
        } catch (const plat::EConvertError& e) {
            TWizardApplication::HandleException(nullptr, e);
        }
        EXPECT_EQ(Boxes(), Lines{"Поверка НД 3.07: Неверно введено числовое значение."});
        EXPECT_EQ(f().FCurrent, 3);
        EXPECT_EQ(Step(), "3");
        EXPECT_EQ(f().FFailureCode, 0);
        EXPECT_TRUE(ImpedanceFrame->isVisibleTo(f().FramePanel));
    }
    EXPECT_EQ(f().FRetries, 0);
    ImpedanceFrame->Edit->setText("3");
    EXPECT_EQ(Next(), "4");
}

// A protocol that cannot be written is told and the wizard stays; once the way is clear the
// same press writes it, opens it and closes the wizard.
TEST_F(SequenceTest, ReadyTellsAProtocolThatCannotBeWrittenAndStays) {
    f().show();
    wizardtest::Pump(20);
    const plat::TDateTime now = plat::Now();
    std::vector<std::filesystem::path> obstacles;
    for (plat::TDateTime when : {now, now + 1.0 / 1440})
        obstacles.push_back(dir_ / "Protocols" /
                            ProtocolFileName(ProtocolTitle(false), MakeProtocolStamp(when)));
    for (const auto& obstacle : obstacles)
        std::filesystem::create_directories(obstacle / "x");
    f().ReadyButtonClick();
    ASSERT_EQ(Boxes().size(), 1u);
    // In Russian like the rest of the wizard, with the file and the reason.
    EXPECT_EQ(Boxes()[0].rfind("Поверка НД 3.07: Не удалось записать протокол в файл \"", 0), 0u);
    EXPECT_NE(Boxes()[0].find("/Protocols/" + ProtocolTitle(false) + " НД3.07 от "),
              std::string::npos);
    EXPECT_NE(Boxes()[0].find(": под этим именем уже есть папка."), std::string::npos);
    EXPECT_TRUE(f().isVisible());
    EXPECT_EQ(f().FRetries, 0);
    EXPECT_TRUE(opened_.empty());
    for (const auto& obstacle : obstacles)
        std::filesystem::remove_all(obstacle);
    f().ReadyButtonClick();
    EXPECT_FALSE(f().isVisible());
    EXPECT_EQ(opened_.size(), 1u);
}

} // namespace
