// The service program's main form: the log, the measurement/parameter/clock pages, the port and
// language panel, the recorder link thread and the port component. The form is the link
// thread's host: the thread sends through CommPort1, takes replies from RxBuffer, enables Timer1
// and reads the clock-source choice.
#pragma once

#include "comm/CommPort.h"
#include "link/ReceiveBuffer.h"
#include "link/serial.h"
#include "platform/Messages.h"
#include "platform/Settings.h"
#include "platform/qt/ListView.h"
#include "platform/qt/MainForm.h"
#include "platform/qt/PageControl.h"

#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;

// "4.0"; shown after text 10000 on the panel.
extern std::string ProgramVersion;

// The raw command line: the program path and all arguments joined by blanks.
std::string ProcessCommandLine();

// Text K of a loaded language module: the rest of the first line whose part before its first
// "=" is K in decimal; empty when no line has it.
std::string TextByKey(const std::vector<std::string>& lines, int key);

class TNdForm;
extern TNdForm* NdForm;

class TNdForm : public plat::TMainFormBase, public SerialHost {
public:
    // The service mode is on when "/zolvy" occurs anywhere in commandLine.
    explicit TNdForm(const std::string& commandLine, QWidget* owner = nullptr);
    ~TNdForm() override;

    // --- Controls (owned by the widget tree) ---
    QFrame* PanelSet = nullptr;
    QFrame* Bevel6 = nullptr;
    QComboBox* ComboBox5 = nullptr; // language
    QFrame* Bevel2 = nullptr;
    QPushButton* Button3 = nullptr; // read / stop
    QCheckBox* CheckBox1 = nullptr; // cyclic reading
    QFrame* Bevel3 = nullptr;
    QLabel* Label7 = nullptr;
    QComboBox* ComboBox3 = nullptr; // port
    QLabel* Label8 = nullptr;
    QComboBox* ComboBox4 = nullptr; // baud
    QPushButton* Button5 = nullptr; // open the port
    QFrame* Bevel7 = nullptr;
    QLabel* Image = nullptr;
    QLabel* Label9 = nullptr;  // title
    QLabel* Label10 = nullptr; // version line
    QLabel* Label11 = nullptr; // link line

    QFrame* PanelLog = nullptr;
    plat::TListView* ListViewLog = nullptr;
    QMenu* PopupMenu = nullptr;
    QAction* ClearLog = nullptr;

    QFrame* Panel = nullptr;
    plat::TPageControl* PageControl = nullptr;
    QWidget* TabSheet1 = nullptr;
    plat::TListView* ListView = nullptr; // measured values
    QWidget* TabSheet2 = nullptr;
    plat::TListView* ListViewPar = nullptr; // recorder parameters
    QWidget* TabSheet3 = nullptr;

    QGroupBox* GroupBox1 = nullptr;       // clock
    QRadioButton* RadioButton1 = nullptr; // PC clock
    QRadioButton* RadioButton2 = nullptr; // typed date and time
    QLabel* Label5 = nullptr;
    QLineEdit* Edit3 = nullptr; // date
    QLabel* Label4 = nullptr;
    QLineEdit* Edit2 = nullptr; // time
    QPushButton* Button2 = nullptr;

    QFrame* Bevel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr; // factory number
    QPushButton* Button6 = nullptr;
    QFrame* Bevel4 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* ComboBox1 = nullptr; // mode
    QPushButton* Button7 = nullptr;
    QFrame* Bevel5 = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* ComboBox2 = nullptr; // option (never shown)
    QPushButton* Button1 = nullptr;
    QFrame* Bevel8 = nullptr;
    QToolButton* SpeedButton1 = nullptr; // byte view (never shown)
    QLabel* Label6 = nullptr;
    QPushButton* BitBtn1 = nullptr; // diagnostics

    std::unique_ptr<TCommPort> CommPort1;
    QTimer* Timer1 = nullptr;

    // --- Non-visual fields ---
    std::string LanguageFile;
    std::vector<std::string> Texts;         // lines of the loaded language module (UTF-8)
    std::vector<std::string> LanguageFiles; // index-aligned with ComboBox5
    std::unique_ptr<plat::TRegistry> Registry;
    std::string RegistryKey;
    DeviceParams Params{};
    Measurements Measured{};
    bool NormalMode = true;
    std::unique_ptr<Serial> SerialLink;
    std::uint8_t RxChunk[ReceiveBuffer::Capacity] = {};
    std::int16_t RxActivity = 0;
    std::int32_t TimerTicks = 0;

    plat::HWND Handle = 0; // target of the link thread's notifications

    // Design widths of the parameter list's columns and of the log's message column; each grows
    // to the longest text it is to show.
    static constexpr int ParameterColumnWidths[3] = {240, 80, 60};
    static constexpr int LogMessageWidth = 450;

    // The link's fixed waits; tests shorten them before creating a form.
    static SerialTiming LinkTiming;

    // Text K of the loaded language module; empty when the key is missing.
    std::string Text(int key) const;

    // --- Requests and replies ---
    void Button3Click();
    void PageControlChanging(bool& allowChange);
    void Button2Click();
    void RadioButton2Click();
    void Button1Click(QObject* sender);
    void BitBtn1Click();
    void ClearLogClick();
    void EnableControls(bool on);
    void AddLogLine(const std::string& text);
    void Dispatch(plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam);
    void OnSerialReply(int result);

    // --- Port handling and byte view ---
    void Button5Click();
    void ComboBox3Change();
    void CommPort1Open(int error);
    void CommPort1DataReceived(std::uint32_t count);
    void CommPort1RxDSignal();
    void Timer1Timer();
    void SpeedButton1Click();
    void Label11Click();
    bool ReopenLostPort();

    // --- Language modules (main_language.cpp) ---
    void FormActivate();
    void ComboBox5Change();
    void LoadLanguage(const std::string& fileName);

    // --- SerialHost: called by the link thread ---
    std::uint32_t PutBlock(const std::uint8_t* bytes, std::uint32_t length) override;
    // The link's receive buffer with its count (RxLength) and its lock.
    ReceiveBuffer& RxBuffer() override { return rxBuffer_; }
    void EnableTimer1() override;
    bool RadioButton1Checked() const override;

protected:
    void ShownActivation() override;
    bool IsMainForm() const override { return NdForm == this; }
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void CreateControls();
    void CreatePages();
    void CreateClockPage();
    void CreateSettingsPanel();
    void CreateLog();
    void AddRow(QFrame* bevel, QLabel* label, QWidget* field, QPushButton* button);
    void SetUpCommPort();
    void ReadSettingValues();
    void WatchActivation();
    static bool IsFormWindow(QWindow* window);
    void SetUpLists();
    void FillPortLists();
    void ReadSettings();
    void ApplyMode();
    void SaveSettings();
    void ShowParams();
    void ShowMeasurements();
    void ContinueOrIdle(int request);
    void LogAndIdle(int key);
    static int FailureLogKey(int result);

    ReceiveBuffer rxBuffer_;
    std::atomic<bool> pcClock_{true}; // RadioButton1's state for the link thread
    bool activatedOnce_ = false;      // the start's activation came, by focus or by showing
    QPointer<QWindow> lastFocusWindow_;
};

// The program-wide count of bytes in RxBuffer after the last receive event; the byte view lists
// that many.
extern std::int32_t LastRxLength;
