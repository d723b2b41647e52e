// The connection page: the operator picks the COM port (and a baud rate and a hidden Modbus
// address), connects, and the main form opens the port and has the recorder's configuration
// read. The three choices are remembered in the registry after a good configuration read.
#pragma once

#include "verification/base_frame.h"

#include <string>

class QComboBox;
class QLabel;
class QPushButton;

// Where the choices are kept (HKEY_CURRENT_USER); each value holds a list index.
extern const char* const ConnectSettingsKey;

class TConnectFrame : public TBaseFrame {
public:
    explicit TConnectFrame(QWidget* owner = nullptr);

    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr; // "COM1".."COM60"; index i is port number i + 1
    QLabel* Label2 = nullptr;
    QComboBox* ComboBox2 = nullptr; // baud rates
    QLabel* Label3 = nullptr;       // hidden
    QComboBox* ComboBox3 = nullptr; // Modbus address 1..254, hidden
    QPushButton* Button1 = nullptr; // "Подключить"

    // Shows the page, disables Next, focuses Button1 and restores the saved choices.
    void ShowFrame() override;
    std::string GetPortName() const;
    int GetBaud() const;
    int GetModbusAddress() const;
    void Button1Click();
    // After a good configuration read: Button1 off, the three choices written.
    void SaveSettings();

private:
    void ReadSettings();
};

extern TConnectFrame* ConnectFrame;
