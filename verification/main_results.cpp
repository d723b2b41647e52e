// What the form does with each outcome the link thread reports: the configuration read, the
// averaging wait before a signal's results are read, storing a signal's or an event's results
// with their errors, and closing the port after each stored result.
#include "verification/main.h"

#include "verification/base_frame.h"
#include "verification/frame_connect.h"
#include "verification/frame_signal.h"
#include "verification/frame_up_dn.h"
#include "verification/progress.h"
#include "verification/signals.h"

#include <QPushButton>

#include <cmath>

namespace {

// The measured K_U(n) in % of the nominal voltage less the set one.
float HarmonicDifference(float measuredVolts, float setPercent) {
    const long double measuredPercent =
        static_cast<long double>(measuredVolts) * 100.0L * (1.0L / NominalVoltage);
    return static_cast<float>(measuredPercent - setPercent);
}

// Measured minus set, formed in extended precision and kept in single precision.
float Difference(float measured, float set) {
    return static_cast<float>(static_cast<long double>(measured) - set);
}

} // namespace

void TMainForm::OnSerialMessage(int result) {
    switch (result) {
    case ResultParamsRead:
        FSerialNumber = FSerial->GetSerialNumber();
        FFirmwareVersion = FSerial->GetFirmwareVersion();
        if (CurrentKind() == KindConnect)
            if (auto* page = dynamic_cast<TConnectFrame*>(FFrames[FCurrent])) page->SaveSettings();
        NextButton->setEnabled(true);
        NextButton->setFocus();
        break;
    case ResultParamsFailed:
        WizardMessageBox("Не удалось прочитать конфигурацию");
        break;
    case ResultCommandsWritten:
    case ResultParamsReadTwice:
        if (CurrentKind() == KindSignal)
            RunAveragingWait();
        else if (CurrentKind() == KindUpDn)
            if (auto* page = dynamic_cast<TUpDnFrame*>(FFrames[FCurrent])) page->WorkModeStarted();
        break;
    case ResultCommandsFailed:
    case ResultMeasurementsFailed:
        WizardMessageBox("Потеряна связь с НД 3.07.\nЧтение показателей качества невозможно.");
        break;
    case ResultMeasurementsRead:
        if (CurrentKind() == KindSignal)
            StoreSignalResult();
        else if (CurrentKind() == KindUpDn)
            StoreEventResult();
        break;
    default:
        break;
    }
}

void TMainForm::RunAveragingWait() {
    auto wait = std::make_unique<TFormProgress>(nullptr);
    if (wait->ShowModal() == mrOk) FSerial->PostCommand(RequestReadMeasurements);
}

void TMainForm::StoreSignalResult() {
    // A row index from outside the table (no row was selected) stores nothing.
    if (FSignalIndex < 0 || FSignalIndex >= SignalCount) return;
    const int i = FSignalIndex;
    SignalRecord& s = Signals[static_cast<std::size_t>(i)];
    s.measured = true;
    FSerial->GetSignalResults(s.measDeviationU, s.measDeviationF, s.measHarmonicV,
                              s.measInterharmonic);
    s.errDeviationU = Difference(s.measDeviationU, s.setDeviationU);
    s.errDeviationF = Difference(s.measDeviationF, s.setDeviationF);
    for (std::size_t n = 0; n < s.errHarmonic.size(); ++n) {
        const float h = HarmonicDifference(s.measHarmonicV[n], s.setHarmonic[n]);
        if (IsRelativeHarmonic(s.setHarmonic[n]))
            s.errHarmonic[n] = static_cast<float>(std::fabs(static_cast<long double>(h)) * 100.0L /
                                                  s.setHarmonic[n]);
        else
            s.errHarmonic[n] = h;
    }
    if (auto* page = dynamic_cast<TSignalFrame*>(FFrames[FCurrent])) page->ShowResult(i);
    ClosePortAfterResult();
}

void TMainForm::StoreEventResult() {
    if (FSignalIndex < 0 || FSignalIndex >= EventSignalCount) return;
    const int i = FSignalIndex;
    EventSignalRecord& e = EventSignals[static_cast<std::size_t>(i)];
    FSerial->GetEventResults(IsSwell(i), e.measDuration, e.measLevel);
    e.errDuration = Difference(e.measDuration, e.setDuration);
    e.errLevel = Difference(e.measLevel, e.setLevel);
    // A duration of 0 is the recorder's way of saying that it registered no event: the errors
    // are kept, but the protocol leaves the event out.
    e.measured = e.measDuration != 0.0f;
    if (auto* page = dynamic_cast<TUpDnFrame*>(FFrames[FCurrent])) page->ShowResult(i);
    ClosePortAfterResult();
}

// From here on every start opens the port again first, without a greeting.
void TMainForm::ClosePortAfterResult() {
    CommPort1->ClosePort();
    FPortClosed = 1;
    FDataReceived = 0;
}
