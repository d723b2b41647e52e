// The wizard's main form: the page panel that shows one page at a time, the button bar, the
// serial-port component and the link thread, the values the pages collect, and the bookkeeping
// of the running measurement. The form is the link thread's host: the thread sends through
// CommPort1, takes replies from FRxBuffer and enables Timer1.
#pragma once

#include "comm/CommPort.h"
#include "link/ReceiveBuffer.h"
#include "link/serial.h"
#include "platform/Messages.h"
#include "platform/qt/Application.h"
#include "platform/qt/MainForm.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCloseEvent;
class QFrame;
class QPushButton;
class QTimer;
class TBaseFrame;

// "Мастер поверки ND 3.07": the application title, the caption before the first step and the
// start of every step caption.
extern const std::string WizardTitle;
// The caption of every message box of the wizard.
extern const std::string MessageCaption;

class TMainForm;
extern TMainForm* MainForm;

class TMainForm : public plat::TMainFormBase, public SerialHost {
public:
    // Raises plat::Exception when "signals.ini" is missing from the current directory.
    explicit TMainForm(QWidget* owner = nullptr);
    ~TMainForm() override;

    // --- Controls (owned by the widget tree, CommPort1 by the form) ---
    QFrame* FramePanel = nullptr; // parent of every page
    QFrame* BtnPanel = nullptr;
    QFrame* Bevel = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* NextButton = nullptr;
    QPushButton* ReadyButton = nullptr;
    QPushButton* InfoButton = nullptr;
    std::unique_ptr<TCommPort> CommPort1;
    QTimer* Timer1 = nullptr;

    // --- Fields (zero, false or empty when the form is created) ---
    std::vector<TBaseFrame*> FFrames; // registration order; the list does not own the pages
    int FCurrent = 0;                 // index in FFrames of the page now shown
    std::unique_ptr<Serial> FSerial;
    std::uint16_t FSerialNumber = 0;
    std::uint16_t FFirmwareVersion = 0;
    std::int32_t FFailureCode = 0; // 0 none; 4 insulation resistance; 5 dielectric strength
    std::int32_t FTemperature = 0; // degrees Celsius
    std::int32_t FHumidity = 0;    // per cent
    std::int32_t FPressure = 0;    // kPa
    float FResistance = 0.0f;      // MOhm
    bool FStrengthPassed = false;
    std::string FPortName; // "COM" and the number
    std::int32_t FModbusAddress = 0;
    std::array<std::string, 3> FTools; // name/type/number, date of verification, certificate
    std::int32_t FSignalIndex = 0;     // row in Signals (signal page) or EventSignals (events page)
    std::uint8_t FRxChunk[ReceiveBuffer::Capacity] = {};
    // The link thread's receive buffer: 512 bytes with their count (FRxLength) under one lock.
    ReceiveBuffer FRxBuffer;
    std::uint16_t FDataReceived = 0;
    std::int32_t FTimerTicks = 0;
    std::int32_t FPortClosed = 0; // 1 once the port was closed during the measurements
    bool FReopening = false;      // a measurement opens the port again: no greeting
    std::int32_t FRetries = 0;    // re-reads started by AppException since the last start
    bool FPeriodic = false;       // 0 primary, 1 periodic verification

    plat::HWND Handle = 0; // target of the link thread's notifications

    // The link's fixed waits; tests shorten them before creating the form.
    static SerialTiming LinkTiming;
    // How the process ends after the seventh unexpected exception; tests replace it.
    static std::function<void(int)> ExitProcess;

    // --- Start-up and message map ---
    void AddFrame(TBaseFrame* frame);
    void Dispatch(plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam);
    // The application's handler for every exception that escapes a GUI-thread handler.
    void AppException(QObject* Sender, const std::exception& E);

    // --- Page sequence ---
    void FormActivate();
    void NextButtonClick();
    void CancelButtonClick();
    // "Выйти из программы?": true when the operator answers Yes.
    bool ConfirmExit();
    void ReadyButtonClick();
    void InfoButtonClick();
    void EnableNext();
    void DisableNext();

    // --- Connection and measurement requests ---
    void ConnectDevice(const std::string& portName, int baudRate, int modbusAddress);
    void CommPort1Open(int Error);
    void CommPort1DataReceived(std::uint32_t Count);
    void Timer1Timer();
    // "Работа" and "Пуск": the port, closed during the measurements or lost with its device,
    // opened again on the port chosen on the connection page, then the request for the row.
    void StartWorkMode(int row);
    void StartSignalTest(int row);
    // "Считать": the port stays as "Работа" left it, unless its device was lost.
    void ReadEventData(int row);

    // --- Results ---
    void OnSerialMessage(int result);

    // --- Protocol (main_protocol.cpp) ---
    void BuildProtocolReport();

    // --- SerialHost: called by the link thread ---
    std::uint32_t PutBlock(const std::uint8_t* bytes, std::uint32_t length) override;
    ReceiveBuffer& RxBuffer() override { return FRxBuffer; }
    void EnableTimer1() override;
    bool RadioButton1Checked() const override { return false; }

protected:
    void ShownActivation() override;
    bool IsMainForm() const override { return MainForm == this; }
    void closeEvent(QCloseEvent* e) override;

private:
    void CreateControls();
    void PlaceButtons();
    void SetUpCommPort();
    void CollectPageValues();
    void ShowStepCaption();
    int NextPageIndex() const;
    void RunAveragingWait();
    void StoreSignalResult();
    void StoreEventResult();
    void ClosePortAfterResult();
    void ReopenPort();
    void ReopenPortIfClosedOrLost();
    void StartMeasurement(int row, SerialRequestCode request);
    int CurrentKind() const;

    bool activated_ = false;
    bool exitChosen_ = false; // Cancel answered Yes, or the protocol was written
};

// The wizard's application object: every exception that escapes a handler of the GUI thread goes
// to OnException (the main form's AppException while the form exists), else to the default
// display.
class TWizardApplication : public plat::TApplication {
public:
    TWizardApplication(int& argc, char** argv);
    static void UseRussianButtons();
    bool notify(QObject* receiver, QEvent* event) override;

    static std::function<void(QObject* Sender, const std::exception& E)> OnException;
    // Hands an escaped exception to OnException; shared by notify and the tests.
    static void HandleException(QObject* Sender, const std::exception& E);
};

// Every message box of the wizard: caption "Поверка НД 3.07", OK button, no icon.
int WizardMessageBox(const std::string& text);
