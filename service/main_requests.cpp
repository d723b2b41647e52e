// The operator's requests to the recorder, the busy/idle switching of the controls, the reply
// handler and the log.
#include "service/Diagnostika.h"
#include "service/main.h"

#include "platform/DateTime.h"
#include "platform/Formats.h"
#include "platform/qt/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <thread>

using plat::Q;

namespace {

// Years the recorder's clock can hold: it keeps the year minus 2000 in one byte.
constexpr int FirstClockYear = 2000;
constexpr int LastClockYear = 2255;

} // namespace

void TNdForm::Button3Click() {
    if (Button3->text().toStdString() == Text(9002)) {
        // A cyclic read runs: it ends at its next reply.
        Button3->setEnabled(false);
        return;
    }
    ReopenLostPort();
    EnableControls(false);
    SerialLink->PostCommand(PageControl->ActivePageIndex() == 0 ? RequestReadMeasurements
                                                                : RequestReadParams);
    if (CheckBox1->isChecked()) {
        Button3->setText(Q(Text(9002)));
        Button3->setEnabled(true);
    }
}

// During a cyclic read Button3 stays enabled as the stop button, but CheckBox1 does not.
void TNdForm::PageControlChanging(bool& allowChange) {
    allowChange = Button3->isEnabled() && CheckBox1->isEnabled();
}

void TNdForm::Button2Click() {
    plat::TDateTime when = plat::Now();
    if (RadioButton2->isChecked()) {
        const std::string typed = Edit3->text().toStdString() + " " + Edit2->text().toStdString();
        // A year the recorder cannot hold (a time alone gives 1899) would reach it wrapped.
        if (!plat::TryStrToDateTime(typed, when) ||
            plat::DecodeDateTime(when).year < FirstClockYear ||
            plat::DecodeDateTime(when).year > LastClockYear) {
            AddLogLine(Text(11003));
            return;
        }
    }
    const ClockRecord clock = Serial::ClockFromDateTime(when);
    ReopenLostPort();
    EnableControls(false);
    SerialLink->SetClock(clock);
    SerialLink->PostCommand(RequestSetClock);
}

void TNdForm::RadioButton2Click() {
    Edit2->setEnabled(true);
    Edit3->setEnabled(true);
}

// A number the factory-number register cannot hold, or a write without a value chosen, is bad
// input like a text that is not a number: it would reach the recorder truncated or as 0xFFFF.
void TNdForm::Button1Click(QObject* sender) {
    const int mode = ComboBox1->currentIndex();
    const int option = ComboBox2->currentIndex();
    if ((sender == Button7 && mode < 0) || (sender == Button1 && option < 0)) {
        EnableControls(true);
        return;
    }
    try {
        const int number = plat::StrToInt(Edit1->text().toStdString());
        if (number < 0 || number > 0xFFFF)
            throw plat::EConvertError("'" + std::to_string(number) +
                                      "' is not a valid factory number");
        ReopenLostPort();
        EnableControls(false);
        SerialLink->SetWriteValues(static_cast<std::uint16_t>(number),
                                   static_cast<std::uint16_t>(mode),
                                   static_cast<std::uint16_t>(option));
        SerialLink->PostCommand(sender == Button6   ? RequestWriteNumber
                                : sender == Button7 ? RequestWriteCommand
                                                    : RequestWriteOption);
    } catch (const std::exception&) {
        Edit1->setText("0");
        EnableControls(true);
    }
}

void TNdForm::BitBtn1Click() {
    ReopenLostPort();
    SerialLink->PostCommand(RequestDiagnostics);
    BitBtn1->setEnabled(false);
}

void TNdForm::ClearLogClick() {
    ListViewLog->BeginUpdate();
    ListViewLog->ClearItems();
    ListViewLog->EndUpdate();
}

void TNdForm::EnableControls(bool on) {
    Button3->setText(Q(Text(9001)));
    for (QWidget* w :
         std::initializer_list<QWidget*>{Edit2, Edit3, Button2, Button3, ComboBox3, ComboBox5,
                                         CheckBox1, RadioButton1, RadioButton2, BitBtn1})
        w->setEnabled(on);
    if (NormalMode) return;
    for (QWidget* w : std::initializer_list<QWidget*>{Edit1, Button1, Button6, Button7, ComboBox1,
                                                      ComboBox2, ComboBox4})
        w->setEnabled(on);
}

void TNdForm::AddLogLine(const std::string& text) {
    const plat::TDateTime now = plat::Now();
    const std::string stamp = plat::DateToStr(now) + " " + plat::TimeToStr(now);
    const int row = ListViewLog->AddItem("[" + stamp + "]");
    ListViewLog->BeginUpdate();
    ListViewLog->SetCell(row, 1, text);
    // A message longer than its column widens it rather than being cut.
    const int width = ListViewLog->CellWidth(plat::Q(text), false);
    if (width > ListViewLog->columnWidth(1)) ListViewLog->setColumnWidth(1, width);
    ListViewLog->ScrollToEnd();
    ListViewLog->EndUpdate();
}

// A successful read repeats while Button3 is enabled (cyclic reading); a stop click disabled it.
void TNdForm::ContinueOrIdle(int request) {
    if (!Button3->isEnabled()) {
        EnableControls(true);
        return;
    }
    std::this_thread::yield();
    // The open enables the diagnostics button; the cycle goes on.
    if (ReopenLostPort()) BitBtn1->setEnabled(false);
    SerialLink->PostCommand(static_cast<SerialRequestCode>(request));
}

void TNdForm::LogAndIdle(int key) {
    AddLogLine(Text(key));
    EnableControls(true);
}

void TNdForm::OnSerialReply(int result) {
    switch (result) {
    case ResultParamsRead:
        ShowParams();
        ContinueOrIdle(RequestReadParams);
        break;
    case ResultMeasurementsRead:
        ShowMeasurements();
        ContinueOrIdle(RequestReadMeasurements);
        break;
    case ResultClockSet:
        AddLogLine(Text(11006));
        SerialLink->PostCommand(RequestReadParams);
        break;
    case ResultNumberWritten:
    case ResultOptionWritten:
    case ResultCommandWritten:
        SerialLink->PostCommand(RequestReadParams);
        break;
    case ResultCommandFailed:
        // Command value 11 was asked for by the recorder itself (diagnostics); a failure then is
        // not reported, but the form must not stay busy.
        if (Params[DeviceParamWord::Command] == 11)
            EnableControls(true);
        else
            LogAndIdle(11009);
        break;
    case ResultDiagnosticsRead:
        if (Form_dgn) Form_dgn->FillAndShow();
        break;
    case ResultLinkCrc:
        // The failure result of the request follows and ends the busy state.
        AddLogLine(Text(11014));
        break;
    default:
        if (const int key = FailureLogKey(result)) LogAndIdle(key);
        break;
    }
}

int TNdForm::FailureLogKey(int result) {
    switch (result) {
    case ResultParamsFailed:
        return 11004;
    case ResultMeasurementsFailed:
        return 11005;
    case ResultClockSetFailed:
        return 11010;
    case ResultNumberFailed:
        return 11007;
    case ResultOptionFailed:
        return 11008;
    case ResultDiagnosticsFailed:
        return 11025;
    case ResultLinkException:
        return 11011;
    case ResultLinkBadFunction:
        return 11012;
    case ResultLinkBadRegister:
        return 11013;
    case ResultLinkOtherAddress:
        return 11015;
    default:
        return 0;
    }
}
