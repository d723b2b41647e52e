// The port: opening it, collecting the received bytes for the link thread, the 20 ms tick
// counter, the byte view and the link line.
#include "service/Unit1.h"
#include "service/main.h"

#include "platform/Shell.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

std::int32_t LastRxLength = 0;

void TNdForm::Button5Click() {
    CommPort1->SetComNumber(ComboBox3->currentIndex() + 1);
    // The open must run whatever state the component believes it is in.
    CommPort1->Open = false;
    CommPort1->SetOpen(true);
    RxActivity = 0;
}

// A port whose device went away (a pulled adapter) is opened again on its number before the
// operator's next request, as Button5 would; the open's log line tells the operator. A failed
// open shows the component's box, and the request then fails at once. True when it tried.
bool TNdForm::ReopenLostPort() {
    if (!CommPort1->Lost()) return false;
    CommPort1->Open = false;
    CommPort1->SetOpen(true);
    return true;
}

// The baud choice only marks the port for reopening: the recorder expects 57600 baud, and a
// different line speed would lose it.
void TNdForm::ComboBox3Change() {
    Button5->setEnabled(true);
}

void TNdForm::CommPort1Open(int) {
    BitBtn1->setEnabled(true);
    Button5->setEnabled(false);
    AddLogLine(Text(11001));
}

void TNdForm::CommPort1DataReceived(std::uint32_t) {
    RxActivity = 1;
    Label6->setText("2");
    // Everything the port holds is taken, and what does not fit the 512 bytes is dropped. Bytes
    // still on their way stay in the port: they are the rest of the reply, and bring a call of
    // their own.
    LastRxLength = RxBuffer().AppendFrom(
        [this](std::uint8_t* to, std::uint32_t n) { return CommPort1->GetBlock(to, n); }, RxChunk,
        CommPort1->InBuffUsed());
}

void TNdForm::CommPort1RxDSignal() {
    Label6->setText(QString::number(RxActivity));
}

void TNdForm::Timer1Timer() {
    if (TimerTicks >= 20)
        Timer1->stop();
    else
        ++TimerTicks;
}

void TNdForm::SpeedButton1Click() {
    Form1->show();
    Form1->Memo1->clear();
    Form1->setWindowTitle(QString::number(RxBuffer().Count()));
    Form1->show();
    Form1->Memo1->clear();
    std::uint8_t bytes[ReceiveBuffer::Capacity];
    const std::int32_t count = std::min(LastRxLength, ReceiveBuffer::Capacity);
    RxBuffer().CopyStored(bytes, count);
    for (std::int32_t i = 0; i < count; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", unsigned{bytes[i]});
        Form1->Memo1->appendPlainText(hex);
    }
}

void TNdForm::Label11Click() {
    plat::ShellExecuteOpen(Label11->text().toStdString());
}

std::uint32_t TNdForm::PutBlock(const std::uint8_t* bytes, std::uint32_t length) {
    return CommPort1->PutBlock(bytes, length);
}

// Called by the link thread.
void TNdForm::EnableTimer1() {
    plat::StartTimerQueued(Timer1);
}

bool TNdForm::RadioButton1Checked() const {
    return pcClock_.load();
}
