// The page sequence: the wizard moves forward only, collecting each page's values as it leaves
// it, skipping the dielectric strength page in periodic verification and jumping to the finish
// page after a failed insulation test.
#include "verification/main.h"

#include "verification/base_frame.h"
#include "verification/form_about.h"
#include "verification/frame_climat.h"
#include "verification/frame_impedance.h"
#include "verification/frame_isolation.h"
#include "verification/frame_select_type.h"
#include "verification/frame_tools.h"
#include "verification/signals.h"

#include "platform/MessageBox.h"

#include <QPushButton>

namespace {

// Below this insulation resistance (MOhm) the recorder fails; the value itself passes.
constexpr float MinResistance = 2.0f;

// The page's own class, or none when the page at that place is not of it.
template <class Page> Page* PageAs(TBaseFrame* frame) {
    return dynamic_cast<Page*>(frame);
}

} // namespace

void TMainForm::FormActivate() {
    // Once in the wizard's life: the sequence never restarts.
    activated_ = true;
    if (FFrames.empty()) return;
    FCurrent = 0;
    FFrames[0]->ShowFrame();
    CancelButton->setEnabled(true);
    NextButton->setEnabled(true);
    ReadyButton->setEnabled(false);
    NextButton->setFocus();
}

int TMainForm::CurrentKind() const {
    if (FCurrent < 0 || FCurrent >= static_cast<int>(FFrames.size())) return 0;
    return FFrames[FCurrent]->GetKind();
}

// A conversion error of the resistance leaves from here, before anything changes.
void TMainForm::CollectPageValues() {
    TBaseFrame* frame = FFrames[FCurrent];
    switch (frame->GetKind()) {
    case KindSelectType:
        if (auto* page = PageAs<TSelTypeFrame>(frame)) {
            FPeriodic = page->GetVerificationType() != 0;
            ScaleSignalLimits(FPeriodic ? 1 : 0);
        }
        break;
    case KindClimat:
        if (auto* page = PageAs<TClimatFrame>(frame)) {
            FTemperature = page->GetTemperature();
            FHumidity = page->GetHumidity();
            FPressure = page->GetPressure();
        }
        NextButton->setEnabled(false);
        break;
    case KindImpedance:
        if (auto* page = PageAs<TImpedanceFrame>(frame)) {
            FResistance = page->GetResistance();
            if (FResistance < MinResistance) {
                WizardMessageBox("Сопротивление изоляции должно быть больше 2 МОм.");
                FFailureCode = 4;
            }
        }
        break;
    case KindIsolation:
        if (auto* page = PageAs<TIsolationFrame>(frame)) {
            FStrengthPassed = page->GetPassed();
            if (!FStrengthPassed) {
                WizardMessageBox("Электрическая прочность изоляции не соответствует "
                                 "установленным требованиям.\nПроверка не может быть продолжена.");
                FFailureCode = 5;
            }
        }
        break;
    case KindTools:
        if (auto* page = PageAs<TToolsFrame>(frame)) {
            FTools[0] = page->GetStandardName();
            FTools[1] = page->GetStandardDate();
            FTools[2] = page->GetCertificateNumber();
        }
        break;
    default:
        break;
    }
}

int TMainForm::NextPageIndex() const {
    const int last = static_cast<int>(FFrames.size()) - 1;
    if (FFailureCode != 0) return last;
    int next = FCurrent + 1;
    while (next < last && FPeriodic && FFrames[next]->GetSkipPeriodic())
        ++next;
    return next;
}

void TMainForm::NextButtonClick() {
    const int last = static_cast<int>(FFrames.size()) - 1;
    if (FCurrent < 0 || FCurrent >= last) return;
    CollectPageValues();
    FFrames[FCurrent]->setVisible(false);
    FCurrent = NextPageIndex();
    FFrames[FCurrent]->ShowFrame();
    if (FCurrent == last) {
        NextButton->setEnabled(false);
        ReadyButton->setEnabled(true);
        // The disabled forward button would pass its focus on to Cancel; the operator goes on
        // by keyboard to the end, not out of the program.
        ReadyButton->setFocus();
    }
    ShowStepCaption();
}

// The step number is the page's place in the list, so a skipped page leaves a gap.
void TMainForm::ShowStepCaption() {
    setWindowTitle(QString::fromStdString(WizardTitle + " - Шаг " + std::to_string(FCurrent)));
}

bool TMainForm::ConfirmExit() {
    return plat::MessageBox("Выйти из программы?", "Подтвердите действие",
                            plat::MB_YESNO | plat::MB_ICONQUESTION) == plat::IDYES;
}

void TMainForm::CancelButtonClick() {
    if (!ConfirmExit()) return;
    exitChosen_ = true;
    close();
}

// A protocol that could not be written is told to the operator and the wizard stays on its
// last page, so that nothing of the verification is lost and the press can be repeated. Left
// to the application's handler, the failure would pass silently as a re-read of measurements.
void TMainForm::ReadyButtonClick() {
    try {
        BuildProtocolReport();
    } catch (const std::exception& e) {
        WizardMessageBox(e.what());
        return;
    }
    exitChosen_ = true;
    close();
}

void TMainForm::InfoButtonClick() {
    TAboutBox box(nullptr);
    box.exec();
}

void TMainForm::EnableNext() {
    NextButton->setEnabled(true);
}

void TMainForm::DisableNext() {
    NextButton->setEnabled(false);
}
