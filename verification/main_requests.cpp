// The form's side of the conversation with the recorder: opening the port from the connection
// page, the receive path that collects reply bytes for the link thread, and the start of the
// measurement requests, with the port reopened when it was closed after a stored result.
#include "verification/main.h"

#include "verification/frame_connect.h"

#include <QComboBox>
#include <QTimer>

namespace {

constexpr int TimerTickLimit = 20;

// The port number chosen on the connection page (list index + 1); without that page, the number
// in the port name, else the component's present number.
int ChosenPortNumber(const std::string& portName, int present) {
    if (ConnectFrame) return ConnectFrame->ComboBox1->currentIndex() + 1;
    if (portName.rfind("COM", 0) == 0) {
        int number = 0;
        for (std::size_t i = 3; i < portName.size() && number < 1000; ++i) {
            if (portName[i] < '0' || portName[i] > '9') return present;
            number = number * 10 + (portName[i] - '0');
        }
        if (number > 0) return number;
    }
    return present;
}

} // namespace

// The line stays at 9600 baud and the link at slave address 1, which is where the recorder
// answers the wizard; the chosen rate and address are only remembered.
void TMainForm::ConnectDevice(const std::string& portName, int, int modbusAddress) {
    FPortName = portName;
    FModbusAddress = modbusAddress;
    CommPort1->SetComNumber(ChosenPortNumber(portName, CommPort1->ComNumber()));
    CommPort1->SetOpen(true);
    FDataReceived = 0;
}

void TMainForm::CommPort1Open(int) {
    // A port reopened for a measurement gets neither the greeting nor a configuration read.
    if (FPortClosed == 1 || FReopening) return;
    WizardMessageBox("Последовательный порт открыт!");
    FSerial->PostCommand(RequestReadParams);
}

void TMainForm::CommPort1DataReceived(std::uint32_t) {
    FDataReceived = 1;
    // Everything the port holds is taken, and what does not fit the 512 bytes is dropped. Bytes
    // still on their way stay in the port: they are the rest of the reply, and bring a call of
    // their own.
    FRxBuffer.AppendFrom(
        [this](std::uint8_t* to, std::uint32_t n) { return CommPort1->GetBlock(to, n); }, FRxChunk,
        CommPort1->InBuffUsed());
}

void TMainForm::Timer1Timer() {
    if (FTimerTicks >= TimerTickLimit)
        Timer1->stop();
    else
        ++FTimerTicks;
}

// On the port chosen on the connection page, quietly: the connection's greeting and
// configuration read are not repeated. A failed open shows the component's box, and the request
// that follows fails at once with its usual message.
void TMainForm::ReopenPort() {
    FReopening = true;
    CommPort1->SetComNumber(ChosenPortNumber(FPortName, CommPort1->ComNumber()));
    CommPort1->SetOpen(true);
    FReopening = false;
    FDataReceived = 0;
}

// Closed after a stored result, or lost with its adapter (pulled and put back) at any time, even
// before the first result.
void TMainForm::ReopenPortIfClosedOrLost() {
    if (FPortClosed == 1 || CommPort1->Lost()) ReopenPort();
}

// A started measurement gets the port back and a fresh budget of silent re-reads.
void TMainForm::StartMeasurement(int row, SerialRequestCode request) {
    ReopenPortIfClosedOrLost();
    FRetries = 0;
    FSignalIndex = row;
    FSerial->PostCommand(request);
}

void TMainForm::StartWorkMode(int row) {
    StartMeasurement(row, RequestWriteCommands);
}

void TMainForm::StartSignalTest(int row) {
    StartMeasurement(row, RequestReadParamsTwice);
}

// "Работа" left the port open, but its adapter may have been pulled since.
void TMainForm::ReadEventData(int row) {
    if (CommPort1->Lost()) ReopenPort();
    FSignalIndex = row;
    FSerial->PostCommand(RequestReadMeasurements);
}
