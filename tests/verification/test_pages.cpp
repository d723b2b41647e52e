// The simple pages of the wizard: what each hands to the page sequence, the insulation entry's
// separator switching, the inspection answer driving Next, and the About box.
#include "WizardTest.h"

#include "verification/base_frame.h"
#include "verification/form_about.h"
#include "verification/frame_climat.h"
#include "verification/frame_finish.h"
#include "verification/frame_impedance.h"
#include "verification/frame_isolation.h"
#include "verification/frame_magnify.h"
#include "verification/frame_select_type.h"
#include "verification/frame_tools.h"

#include "platform/Formats.h"
#include "platform/Shell.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

namespace {

// Pages built on their own, without a main form, as top-level widgets.
class PageTest : public ::testing::Test {
protected:
    PageTest() {
        wizardtest::EnsureApplication();
        plat::SetDecimalSeparator('.');
    }
    ~PageTest() override { plat::SetDecimalSeparator('.'); }

    template <class Page> std::unique_ptr<Page> Make() {
        EXPECT_EQ(MainForm, nullptr);
        return std::make_unique<Page>();
    }

    static void ShowActive(QWidget& page) {
        page.show();
        page.activateWindow();
        wizardtest::PumpUntil([&] { return page.isActiveWindow(); }, 500);
    }
};

float Resistance(TImpedanceFrame& page, const char* text) {
    page.Edit->setText(QString::fromUtf8(text));
    return page.GetResistance();
}

} // namespace

TEST_F(PageTest, ResistanceAcceptsEitherSeparatorAndKeepsTheOneThatWorked) {
    auto page = Make<TImpedanceFrame>();
    EXPECT_FLOAT_EQ(Resistance(*page, "2,5"), 2.5f);
    EXPECT_EQ(plat::GetDecimalSeparator(), ',');
    EXPECT_EQ(plat::FloatToStrF(2.5, plat::ffFixed, 15, 2), "2,50");

    EXPECT_FLOAT_EQ(Resistance(*page, "2.5"), 2.5f);
    EXPECT_EQ(plat::GetDecimalSeparator(), '.');

    EXPECT_FLOAT_EQ(Resistance(*page, "3"), 3.0f);
    EXPECT_EQ(plat::GetDecimalSeparator(), ',');
    EXPECT_FLOAT_EQ(Resistance(*page, "1,99"), 1.99f);
}

TEST_F(PageTest, ResistanceThatIsNoNumberRaisesConvertErrorAndLeavesPoint) {
    auto page = Make<TImpedanceFrame>();
    for (const char* text : {"", "abc", "2,5.1", "1 000", "--2", "1e40", "-1e39"}) {
        plat::SetDecimalSeparator(',');
        try {
            Resistance(*page, text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const plat::Exception& e) {
            EXPECT_STREQ(e.ClassName(), "EConvertError") << text;
        }
        EXPECT_EQ(plat::GetDecimalSeparator(), '.') << text;
    }
    // Large but representable values and the exponent form still convert.
    EXPECT_FLOAT_EQ(Resistance(*page, "1e30"), 1e30f);
    EXPECT_FLOAT_EQ(Resistance(*page, "-0,5"), -0.5f);
}

TEST_F(PageTest, UntouchedPagesHandOverTheirDefaults) {
    auto type = Make<TSelTypeFrame>();
    auto climat = Make<TClimatFrame>();
    auto isolation = Make<TIsolationFrame>();
    auto tools = Make<TToolsFrame>();
    EXPECT_EQ(type->GetVerificationType(), 0);
    EXPECT_EQ(climat->GetTemperature(), 20);
    EXPECT_EQ(climat->GetHumidity(), 50);
    EXPECT_EQ(climat->GetPressure(), 84);
    EXPECT_FALSE(isolation->GetPassed());
    EXPECT_EQ(tools->GetStandardName(),
              "Генератор напряжения многофункциональный \"Ливат ГМ6.220\" зав.№01");
    EXPECT_EQ(tools->GetStandardDate(), "");
    EXPECT_EQ(tools->GetCertificateNumber(), "");
}

TEST_F(PageTest, ChangedPagesHandOverWhatTheOperatorChose) {
    auto type = Make<TSelTypeFrame>();
    type->RadioGroup->Button(1)->click();
    EXPECT_EQ(type->GetVerificationType(), 1);
    EXPECT_FALSE(type->RadioGroup->Button(0)->isChecked());

    auto climat = Make<TClimatFrame>();
    ASSERT_EQ(climat->ComboBox3->count(), 23);
    EXPECT_EQ(climat->ComboBox3->itemText(0), "84");
    EXPECT_EQ(climat->ComboBox3->itemText(22), "106");
    EXPECT_EQ(climat->ComboBox1->count(), 51);
    EXPECT_EQ(climat->ComboBox2->itemText(100), "100");
    EXPECT_FALSE(climat->ComboBox1->isEditable());
    climat->ComboBox1->setCurrentIndex(50);
    climat->ComboBox2->setCurrentIndex(0);
    climat->ComboBox3->setCurrentIndex(22);
    EXPECT_EQ(climat->GetTemperature(), 50);
    EXPECT_EQ(climat->GetHumidity(), 0);
    EXPECT_EQ(climat->GetPressure(), 106);

    auto isolation = Make<TIsolationFrame>();
    isolation->CheckBox1->click();
    EXPECT_TRUE(isolation->GetPassed());

    auto tools = Make<TToolsFrame>();
    tools->Memo1->setPlainText(QString::fromUtf8("Генератор\nзав.№7"));
    tools->Edit1->setText("01.02.2026");
    tools->Edit2->setText("№ 12/34");
    EXPECT_EQ(tools->GetStandardName(), "Генератор\r\nзав.№7");
    EXPECT_EQ(tools->GetStandardDate(), "01.02.2026");
    EXPECT_EQ(tools->GetCertificateNumber(), "№ 12/34");
}

TEST_F(PageTest, KindsSkipFlagAndTitlePlace) {
    auto type = Make<TSelTypeFrame>();
    auto climat = Make<TClimatFrame>();
    auto magnify = Make<TMagnifyFrame>();
    auto impedance = Make<TImpedanceFrame>();
    auto isolation = Make<TIsolationFrame>();
    auto tools = Make<TToolsFrame>();
    auto finish = Make<TFinishFrame>();
    const std::vector<std::pair<TBaseFrame*, int>> pages = {
        {type.get(), 1},      {climat.get(), 2}, {magnify.get(), 3}, {impedance.get(), 4},
        {isolation.get(), 5}, {tools.get(), 10}, {finish.get(), 11}};
    for (const auto& [page, kind] : pages) {
        EXPECT_EQ(page->GetKind(), kind);
        EXPECT_EQ(page->GetSkipPeriodic(), kind == 5) << kind;
        EXPECT_FALSE(page->isVisible());
        EXPECT_EQ(page->CaptionLabel->x(), kind == 1 ? 199 : 162) << kind;
        EXPECT_EQ(page->CaptionLabel->y(), 10);
        EXPECT_TRUE(page->CaptionLabel->font().bold());
    }
    EXPECT_EQ(type->Image->size(), QSize(169, 177));
    EXPECT_EQ(tools->Image->size(), QSize(132, 133));
    EXPECT_EQ(magnify->Memo->blockCount(), 12);
    EXPECT_TRUE(magnify->Memo->isReadOnly());
}

TEST_F(PageTest, ShowFrameFocusesTheMainControl) {
    auto tools = Make<TToolsFrame>();
    ShowActive(*tools);
    tools->ShowFrame();
    EXPECT_TRUE(tools->Memo1->hasFocus());
    EXPECT_EQ(tools->Memo1->textCursor().selectedText(), tools->Memo1->toPlainText());
    tools->hide();

    auto impedance = Make<TImpedanceFrame>();
    ShowActive(*impedance);
    impedance->ShowFrame();
    EXPECT_TRUE(impedance->Edit->hasFocus());
}

TEST_F(PageTest, AboutBoxOpensItsAddressAndEachBoxStandsAlone) {
    std::vector<std::string> opened;
    const auto previous = plat::SetShellOpenHook([&](const std::string& target) {
        opened.push_back(target);
        return false; // a failing shell changes nothing
    });
    {
        TAboutBox first;
        EXPECT_EQ(first.windowTitle(), "О программе");
        EXPECT_EQ(first.Version->text(), "Версия 2.4");
        first.CommentsClick(first.Comments);
    }
    TAboutBox second;
    second.CommentsClick(second.Comments);
    plat::SetShellOpenHook(previous);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], second.Comments->text().toStdString());
    EXPECT_EQ(opened[0].rfind("http", 0), 0u);
}

TEST_F(PageTest, Screenshots) {
    auto type = Make<TSelTypeFrame>();
    auto climat = Make<TClimatFrame>();
    auto impedance = Make<TImpedanceFrame>();
    for (auto [page, name] : {std::pair<QWidget*, const char*>{type.get(), "page_select_type"},
                              {climat.get(), "page_climat"},
                              {impedance.get(), "page_impedance"}}) {
        page->show();
        wizardtest::Pump(20);
        EXPECT_TRUE(std::filesystem::exists(wizardtest::SaveScreenshot(*page, name)));
    }
    TAboutBox about;
    about.show();
    wizardtest::Pump(20);
    EXPECT_TRUE(std::filesystem::exists(wizardtest::SaveScreenshot(about, "about_box")));
}

// In the running wizard the inspection answer is the only way on past that page.
TEST_F(WizardTest, InspectionAnswerSwitchesNext) {
    TMainForm& form = CreateWizard();
    ASSERT_GE(form.FFrames.size(), 3u);
    auto* magnify = dynamic_cast<TMagnifyFrame*>(form.FFrames[2]);
    ASSERT_NE(magnify, nullptr);
    form.DisableNext();
    magnify->RadioGroup->Button(1)->click();
    EXPECT_TRUE(form.NextButton->isEnabled());
    magnify->RadioGroup->Button(0)->click();
    EXPECT_FALSE(form.NextButton->isEnabled());
    magnify->RadioGroup->Button(1)->click();
    EXPECT_TRUE(form.NextButton->isEnabled());
}

// Pages built with the main form fill its page panel and come in creation order.
TEST_F(WizardTest, PagesRegisterInOrderAndFillThePanel) {
    TMainForm& form = CreateWizard();
    const std::vector<int> kinds = {1, 2, 3, 4, 5, 6, 8, 9, 10, 11};
    ASSERT_EQ(form.FFrames.size(), kinds.size());
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(form.FFrames[i]->GetKind(), kinds[i]) << i;
        EXPECT_EQ(form.FFrames[i]->parentWidget(), form.FramePanel) << i;
        EXPECT_FALSE(form.FFrames[i]->isVisible()) << i;
    }
    form.show();
    wizardtest::Pump(20);
    EXPECT_EQ(form.FFrames[0]->geometry(), form.FramePanel->rect());
    form.FFrames[0]->ShowFrame();
    wizardtest::Pump(20);
    wizardtest::SaveScreenshot(form, "wizard_first_page");
}
