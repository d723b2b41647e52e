// The connection page and the wizard's only saved settings.
#include "verification/frame_connect.h"

#include "verification/main.h"

#include "platform/Formats.h"
#include "platform/Settings.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

const char* const ConnectSettingsKey = "SoftWare\\Livat\\VRF307v3";
TConnectFrame* ConnectFrame = nullptr;

namespace {

constexpr int PortCount = 60;
constexpr int AddressCount = 254;
const char* const BaudRates[] = {"4800", "9600", "14400", "19200", "38400", "57600", "115200"};

QComboBox* NewList(QWidget* parent, int left, int top) {
    auto* list = new QComboBox(parent);
    list->setEditable(false);
    list->setGeometry(left, top, 100, 21);
    return list;
}

// An index outside its list (a damaged or hand-edited file) is a bad value like a missing one.
void SelectStored(QComboBox* list, const plat::TRegistry& registry, const char* name) {
    list->setCurrentIndex(plat::ReadListIndex(registry, name, list->count()));
}

} // namespace

TConnectFrame::TConnectFrame(QWidget* owner) : TBaseFrame(owner, KindConnect) {
    SetLabelText(CaptionLabel, "Подключение регистратора к компьютеру");
    const int left = CaptionLabel->x();
    ComboBox1 = NewList(this, left, 100);
    for (int port = 1; port <= PortCount; ++port)
        ComboBox1->addItem(QString("COM%1").arg(port));
    ComboBox1->setCurrentIndex(0);
    ComboBox2 = NewList(this, left, 160);
    for (const char* rate : BaudRates)
        ComboBox2->addItem(rate);
    ComboBox2->setCurrentIndex(1);
    ComboBox3 = NewList(this, left, 220);
    for (int address = 1; address <= AddressCount; ++address)
        ComboBox3->addItem(QString::number(address));
    ComboBox3->setCurrentIndex(0);
    Label1 = NewLabel("Порт", left, 80);
    Label2 = NewLabel("Скорость", left, 140);
    Label3 = NewLabel("Адрес Modbus", left, 200);
    Button1 = new QPushButton("Подключить", this);
    Button1->setGeometry(left + ComboBox3->width() + 50, 158, 120, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    setTabOrder(ComboBox1, ComboBox2);
    setTabOrder(ComboBox2, ComboBox3);
    setTabOrder(ComboBox3, Button1);
    Label3->setVisible(false);
    ComboBox3->setVisible(false);
}

void TConnectFrame::ShowFrame() {
    TBaseFrame::ShowFrame();
    if (MainForm) MainForm->DisableNext();
    Button1->setFocus();
    ReadSettings();
}

// Read each time the page comes up; a missing or unreadable value, or an index outside its list,
// ends the reading there and leaves the rest at their defaults.
void TConnectFrame::ReadSettings() {
    plat::TRegistry registry;
    registry.SetRootKey(plat::HKEY_CURRENT_USER);
    if (!registry.KeyExists(ConnectSettingsKey)) return;
    registry.OpenKey(ConnectSettingsKey, true);
    try {
        SelectStored(ComboBox1, registry, "PortIndex");
        SelectStored(ComboBox2, registry, "BaudIndex");
        SelectStored(ComboBox3, registry, "ModbusIndex");
    } catch (const std::exception&) {
        // The defaults stay for what could not be read.
    }
    registry.CloseKey();
}

std::string TConnectFrame::GetPortName() const {
    return ComboBox1->currentText().toStdString();
}

int TConnectFrame::GetBaud() const {
    return plat::StrToInt(ComboBox2->currentText().toStdString());
}

int TConnectFrame::GetModbusAddress() const {
    return plat::StrToInt(ComboBox3->currentText().toStdString());
}

void TConnectFrame::Button1Click() {
    const int address = GetModbusAddress();
    const int baud = GetBaud();
    const std::string port = GetPortName();
    if (MainForm) MainForm->ConnectDevice(port, baud, address);
}

// Only after a good configuration read, so a port that never answered is not remembered.
void TConnectFrame::SaveSettings() {
    Button1->setEnabled(false);
    plat::TRegistry registry;
    registry.SetRootKey(plat::HKEY_CURRENT_USER);
    registry.OpenKey(ConnectSettingsKey, true);
    try {
        registry.WriteInteger("PortIndex", ComboBox1->currentIndex());
        registry.WriteInteger("BaudIndex", ComboBox2->currentIndex());
        registry.WriteInteger("ModbusIndex", ComboBox3->currentIndex());
    } catch (const std::exception&) {
        // What was written stays; nothing is shown.
    }
    registry.CloseKey();
}
