// Every text of the wizard is shown whole, measured with the fonts installed for the programs:
// every page (with measured results in its lists), the averaging wait, the About box and the
// question box.
#include "WizardTest.h"

#include "support/TextFit.h"

#include "verification/base_frame.h"
#include "verification/form_about.h"
#include "verification/frame_signal.h"
#include "verification/frame_up_dn.h"
#include "verification/progress.h"
#include "verification/signals.h"

#include "platform/Formats.h"
#include "platform/MessageBox.h"
#include "platform/qt/Application.h"

#include <QHeaderView>
#include <QMessageBox>

#include <filesystem>

namespace {

// Results a little off their set values, negative errors included, as the lists show them.
void FillResults() {
    for (SignalRecord& s : Signals) {
        s.measured = true;
        s.measDeviationU = s.setDeviationU - 0.37f;
        s.errDeviationU = s.measDeviationU - s.setDeviationU;
        s.measDeviationF = s.setDeviationF - 0.012f;
        s.errDeviationF = s.measDeviationF - s.setDeviationF;
        for (std::size_t n = 0; n < HarmonicCount; ++n) {
            s.measHarmonicV[n] = (s.setHarmonic[n] - 0.13f) * 2.2f;
            s.errHarmonic[n] = s.setHarmonic[n] >= 3 ? 12.34f : -0.13f;
        }
    }
    for (EventSignalRecord& e : EventSignals) {
        e.measured = true;
        e.measDuration = e.setDuration - 12;
        e.errDuration = -12;
        e.measLevel = e.setLevel - 1.234f;
        e.errLevel = -1.234f;
    }
}

class WizardTextFit : public WizardTest {
protected:
    WizardTextFit() {
        // The signal file the wizard ships with, so that the lists hold its real values.
        const auto shipped = wizardtest::ArtefactDir() / "signals.ini";
        if (std::filesystem::exists(shipped))
            std::filesystem::copy_file(shipped, dir_ / "signals.ini",
                                       std::filesystem::copy_options::overwrite_existing);
    }
};

} // namespace

TEST_F(WizardTextFit, EveryPageShowsItsTextsWhole) {
    TMainForm& form = CreateWizard();
    auto* signal = dynamic_cast<TSignalFrame*>(form.FFrames[6]);
    auto* upDn = dynamic_cast<TUpDnFrame*>(form.FFrames[7]);
    ASSERT_TRUE(signal && upDn);
    EXPECT_EQ(guitest::ResolvedFamily(form.font()), "Liberation Sans");
    EXPECT_EQ(guitest::ResolvedFamily(signal->ListView->font()), "Liberation Serif");
    form.show();
    wizardtest::Pump(30);
    const auto check = [&](const std::string& state) {
        for (std::size_t i = 0; i < form.FFrames.size(); ++i) {
            for (TBaseFrame* page : form.FFrames)
                page->setVisible(false);
            form.FFrames[i]->ShowFrame();
            wizardtest::Pump(10);
            const auto faults = guitest::ClippedTexts(form);
            EXPECT_TRUE(faults.empty()) << state << " page " << i << guitest::Described(faults);
        }
    };
    check("");
    FillResults();
    plat::SetDecimalSeparator(',');
    for (int i = 0; i < SignalCount; ++i)
        signal->ShowResult(i);
    for (int i = 0; i < EventSignalCount; ++i)
        upDn->ShowResult(i);
    check("_results");
}

// The averaging wait, the About box and the question box, which also leaves the window manager
// room for its whole caption.
TEST_F(WizardTextFit, DialogsShowTheirTextsWhole) {
    TFormProgress wait;
    TAboutBox about(nullptr);
    const auto box = plat::NewMessageBox("Выйти из программы?", "Подтвердите действие",
                                         plat::MB_YESNO | plat::MB_ICONQUESTION);
    for (QWidget* dialog : {static_cast<QWidget*>(&wait), static_cast<QWidget*>(&about),
                            static_cast<QWidget*>(box.get())}) {
        dialog->show();
        wizardtest::Pump(20);
        const auto faults = guitest::ClippedTexts(*dialog);
        EXPECT_TRUE(faults.empty()) << guitest::Described(faults);
    }
    const int caption = QFontMetrics(plat::TitleBarFont()).horizontalAdvance(box->windowTitle());
    EXPECT_GE(box->width(), caption + plat::TitleBarButtonsWidth);
    box->done(0);
    wait.FormClose();
}

// A list column squeezed below its text is found: the measuring itself works.
TEST_F(WizardTextFit, ASqueezedColumnIsFound) {
    TMainForm& form = CreateWizard();
    form.show();
    auto* upDn = dynamic_cast<TUpDnFrame*>(form.FFrames[7]);
    ASSERT_NE(upDn, nullptr);
    upDn->ShowFrame();
    wizardtest::Pump(10);
    upDn->ListView->setColumnWidth(2, 40);
    EXPECT_FALSE(guitest::ClippedTexts(form).empty());
}
