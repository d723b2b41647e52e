// The simple pages of the wizard: the insulation entry's separator switching, the inspection
// answer driving Next, and the About box.
#include "WizardTest.h"

#include "verification/base_frame.h"
#include "verification/form_about.h"
#include "verification/frame_impedance.h"
#include "verification/frame_magnify.h"
#include "verification/frame_select_type.h"

#include "platform/Formats.h"
#include "platform/Shell.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

namespace {

// Pages built on their own, without a main form, as top-level widgets.
using PageTest = WizardTest;

float Resistance(TImpedanceFrame& page, const char* text) {
    page.Edit->setText(QString::fromUtf8(text));
    return page.GetResistance();
}

} // namespace

TEST_F(PageTest, ResistanceKeepsTheSeparatorThatWorked) {
    auto page = std::make_unique<TImpedanceFrame>();
    EXPECT_FLOAT_EQ(Resistance(*page, "2,5"), 2.5f);
    EXPECT_EQ(plat::GetDecimalSeparator(), ',');
    EXPECT_EQ(plat::FloatToStrF(2.5, plat::ffFixed, 15, 2), "2,50");
    EXPECT_FLOAT_EQ(Resistance(*page, "2.5"), 2.5f);
    EXPECT_EQ(plat::GetDecimalSeparator(), '.');
    EXPECT_FLOAT_EQ(Resistance(*page, "3"), 3.0f);
    EXPECT_EQ(plat::GetDecimalSeparator(), ',');
    EXPECT_FLOAT_EQ(Resistance(*page, "1e30"), 1e30f); // large but within a float

    // What neither separator accepts, a float cannot hold or no resistance can be is a
    // conversion error.
    for (const char* text : {"", "abc", "2,5.1", "1 000", "--2", "1e40", "-1e39", "-5", "-0,5"}) {
        plat::SetDecimalSeparator(',');
        try {
            Resistance(*page, text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const plat::Exception& e) {
            EXPECT_STREQ(e.ClassName(), "EConvertError") << text;
        }
        EXPECT_EQ(plat::GetDecimalSeparator(), '.') << text;
    }
}

TEST_F(PageTest, AboutBoxOpensItsAddressAndEachBoxStandsAlone) {
    plat::SetShellOpenHook([this](const std::string& target) {
        opened_.push_back(target);
        return false; // a failing shell changes nothing
    });
    for (int i = 0; i < 2; ++i) {
        TAboutBox box;
        EXPECT_EQ(box.windowTitle(), "О программе");
        box.CommentsClick(box.Comments);
        EXPECT_EQ(opened_.back(), box.Comments->text().toStdString());
    }
    ASSERT_EQ(opened_.size(), 2u);
    EXPECT_EQ(opened_[0].rfind("http", 0), 0u);
}

// Pages built with the main form: creation order, kinds, skip flag, the panel filled; and the
// inspection answer is the only way on past that page.
TEST_F(WizardTest, PagesInTheWizard) {
    TMainForm& form = CreateWizard();
    const std::vector<int> kinds = {1, 2, 3, 4, 5, 6, 8, 9, 10, 11};
    ASSERT_EQ(form.FFrames.size(), kinds.size());
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        TBaseFrame* page = form.FFrames[i];
        EXPECT_EQ(page->GetKind(), kinds[i]) << i;
        EXPECT_EQ(page->GetSkipPeriodic(), kinds[i] == 5) << i;
        EXPECT_EQ(page->parentWidget(), form.FramePanel) << i;
        EXPECT_FALSE(page->isVisible()) << i;
    }

    auto* magnify = dynamic_cast<TMagnifyFrame*>(form.FFrames[2]);
    ASSERT_NE(magnify, nullptr);
    form.DisableNext();
    magnify->RadioGroup->Button(1)->click();
    EXPECT_TRUE(form.NextButton->isEnabled());
    magnify->RadioGroup->Button(0)->click();
    EXPECT_FALSE(form.NextButton->isEnabled());

    form.show();
    wizardtest::Pump(20);
    EXPECT_EQ(form.FFrames[0]->geometry(), form.FramePanel->rect());
    form.FFrames[0]->ShowFrame();
    wizardtest::Pump(20);

    // The arrow keys choose an answer as a click does.
    form.FFrames[0]->hide();
    form.activateWindow();
    wizardtest::PumpUntil([&] { return form.isActiveWindow(); }, 500);
    magnify->ShowFrame();
    ASSERT_EQ(QApplication::focusWidget(), magnify->RadioGroup->Button(0));
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(QApplication::focusWidget(), &down);
    EXPECT_EQ(magnify->RadioGroup->ItemIndex(), 1);
    EXPECT_TRUE(form.NextButton->isEnabled());
}
