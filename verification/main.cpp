// The wizard's main form: its construction and destruction, the page registry, the message map
// and the application-wide exception handler.
#include "verification/main.h"

#include "verification/base_frame.h"
#include "verification/signals.h"

#include "comm/RecorderLine.h"
#include "platform/Formats.h"
#include "platform/qt/Application.h"
#include "platform/MainThread.h"
#include "platform/MessageBox.h"

#include <QCloseEvent>
#include <QFrame>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

const std::string WizardTitle = "Мастер поверки ND 3.07";
const std::string MessageCaption = "Поверка НД 3.07";

TMainForm* MainForm = nullptr;
SerialTiming TMainForm::LinkTiming{};
// The worker threads are still running: the program's static objects are not torn down under
// them, but what is buffered for the standard streams still goes out.
std::function<void(int)> TMainForm::ExitProcess = [](int code) {
    std::fflush(nullptr);
    std::quick_exit(code);
};
std::function<void(QObject*, const std::exception&)> TWizardApplication::OnException;

namespace {

constexpr int FormWidth = 640;
constexpr int FormHeight = 480;
constexpr int BtnPanelHeight = 62;
constexpr int ButtonTop = 15;
constexpr int ButtonWidth = 120;
constexpr int ButtonHeight = 25;
constexpr int FontHeight = 14;
// The Windows class name of a conversion error; a class derived from it does not count.
constexpr const char* ConvertErrorClass = "EConvertError";
constexpr int MaxRetries = 5;

const char* ClassNameOf(const std::exception& e) {
    if (const auto* framework = dynamic_cast<const plat::Exception*>(&e))
        return framework->ClassName();
    return "";
}

// The About button's glyph: an "i" in a blue disc.
QIcon InfoGlyph() {
    QPixmap glyph(16, 16);
    glyph.fill(Qt::transparent);
    QPainter p(&glyph);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 90, 180));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(7, 3.5, 2.2, 2.2));
    p.drawRect(QRectF(7, 7, 2.2, 5.5));
    return QIcon(glyph);
}

QPushButton* NewButton(QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setGeometry(0, ButtonTop, ButtonWidth, ButtonHeight);
    return button;
}

} // namespace

int WizardMessageBox(const std::string& text) {
    return plat::MessageBox(text, MessageCaption, plat::MB_OK);
}

// ---------------------------------------------------------------------------------------------
// Application

TWizardApplication::TWizardApplication(int& argc, char** argv) : plat::TApplication(argc, argv) {
    UseRussianButtons();
}

// Every text of the wizard is Russian, so its question boxes answer "Да"/"Нет" whatever the
// desktop's language.
void TWizardApplication::UseRussianButtons() {
    plat::LoadStandardButtonTexts(QLocale(QLocale::Russian, QLocale::Russia));
}

bool TWizardApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        HandleException(receiver, error);
    } catch (...) {
        HandleException(receiver, plat::Exception("Неизвестная ошибка."));
    }
    // An exception in the middle of the GUI thread's queue leaves the rest queued: wake the
    // loop again so that they still run.
    plat::MainThread::Post([] {});
    return false;
}

void TWizardApplication::HandleException(QObject* Sender, const std::exception& E) {
    if (OnException)
        OnException(Sender, E);
    else
        ShowException(E);
}

// ---------------------------------------------------------------------------------------------
// Construction

TMainForm::TMainForm(QWidget* owner) : TMainFormBase(owner) {
    // The pages built after the form reach it through MainForm, as do the handlers below.
    MainForm = this;
    CreateControls();
    FFrames.clear();
    FPortName.clear();
    for (std::string& text : FTools)
        text.clear();
    plat::SetDecimalSeparator('.');
    plat::TApplication::SetTitle(WizardTitle);
    TWizardApplication::OnException = [this](QObject* sender, const std::exception& e) {
        AppException(sender, e);
    };
    setVisible(false);
    setFixedSize(FormWidth, FormHeight);
    setWindowTitle(QString::fromStdString(WizardTitle));
    PlaceButtons();
    FFrames.clear();
    FFailureCode = 0;
    Handle = plat::RegisterWindow([this](plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam) {
        Dispatch(msg, wParam, lParam);
    });
    FSerial = std::make_unique<Serial>(Handle, *this, SerialRequestSet::Wizard, LinkTiming);
    if (!LoadSignals(SignalsFileName())) {
        // The destructor does not run for a form that failed to build: end the link thread
        // and give up the handle here.
        plat::UnregisterWindow(Handle);
        FSerial.reset();
        TWizardApplication::OnException = nullptr;
        MainForm = nullptr;
        throw plat::Exception("Не найден файл \"signals.ini\".\nРабота не может быть продолжена.");
    }
}

TMainForm::~TMainForm() {
    // The link thread goes first: it uses the port, the timer and the receive buffer. Replies
    // still queued must not reach a form that is half gone.
    plat::UnregisterWindow(Handle);
    FSerial.reset();
    FTools[2].clear();
    FTools[1].clear();
    FTools[0].clear();
    FPortName.clear();
    FFrames.clear();
    // The pages belong to the application, not to the page panel that shows them.
    for (QObject* child : FramePanel->children())
        if (auto* page = dynamic_cast<TBaseFrame*>(child)) page->setParent(nullptr);
    CommPort1->ClosePort();
    CommPort1.reset();
    TWizardApplication::OnException = nullptr;
    if (MainForm == this) MainForm = nullptr;
}

void TMainForm::CreateControls() {
    setObjectName("MainForm");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    QFont font("MS Sans Serif");
    font.setPixelSize(FontHeight);
    setFont(font);
    resize(FormWidth, FormHeight);

    BtnPanel = new QFrame(this);
    BtnPanel->setObjectName("BtnPanel");
    BtnPanel->setGeometry(0, FormHeight - BtnPanelHeight, FormWidth, BtnPanelHeight);
    FramePanel = new QFrame(this);
    FramePanel->setObjectName("FramePanel");
    FramePanel->setGeometry(0, 0, FormWidth, FormHeight - BtnPanelHeight);

    // A line along the top of the button bar.
    Bevel = new QFrame(BtnPanel);
    Bevel->setFrameShape(QFrame::HLine);
    Bevel->setFrameShadow(QFrame::Sunken);
    Bevel->setGeometry(0, 0, FormWidth, 3);

    // Tab order: Next, Cancel, Info, Ready.
    NextButton = NewButton(BtnPanel);
    CancelButton = NewButton(BtnPanel);
    InfoButton = NewButton(BtnPanel);
    InfoButton->setIcon(InfoGlyph());
    ReadyButton = NewButton(BtnPanel);
    setTabOrder(NextButton, CancelButton);
    setTabOrder(CancelButton, InfoButton);
    setTabOrder(InfoButton, ReadyButton);
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
    connect(NextButton, &QPushButton::clicked, this, [this] { NextButtonClick(); });
    connect(ReadyButton, &QPushButton::clicked, this, [this] { ReadyButtonClick(); });
    connect(InfoButton, &QPushButton::clicked, this, [this] { InfoButtonClick(); });

    CommPort1 = std::make_unique<TCommPort>();
    SetUpCommPort();
    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
}

void TMainForm::SetUpCommPort() {
    TCommPort& port = *CommPort1;
    SetUpRecorderLine(port, 2, cbr9600);
    port.OnDataReceived = [this](TCommPort*, plat::DWORD count) { CommPort1DataReceived(count); };
    port.OnOpen = [this](TCommPort*, int error) { CommPort1Open(error); };
}

void TMainForm::PlaceButtons() {
    Bevel->setFixedHeight(3);
    CancelButton->setText("Отмена");
    NextButton->setText("Дальше >>");
    ReadyButton->setText("Готово");
    InfoButton->setText("О программе");
    CancelButton->move(20, ButtonTop);
    InfoButton->move(CancelButton->x() + CancelButton->width() + 20, ButtonTop);
    NextButton->move(width() - 2 * NextButton->width() - 40, ButtonTop);
    ReadyButton->move(NextButton->x() + NextButton->width() + 20, ButtonTop);
}

void TMainForm::AddFrame(TBaseFrame* frame) {
    frame->setParent(FramePanel);
    FFrames.push_back(frame);
}

// ---------------------------------------------------------------------------------------------
// Messages and exceptions

void TMainForm::Dispatch(plat::UINT msg, plat::WPARAM wParam, plat::LPARAM) {
    if (msg == plat::WM_USER) OnSerialMessage(static_cast<int>(wParam));
}

void TMainForm::AppException(QObject*, const std::exception& E) {
    if (std::string(ClassNameOf(E)) == ConvertErrorClass) {
        WizardMessageBox("Неверно введено числовое значение.");
        return;
    }
    // Anything else is taken for a broken read: the measurements are read again, silently, a
    // few times per started measurement before the wizard gives up.
    if (FRetries <= MaxRetries) {
        FSerial->PostCommand(RequestReadMeasurements);
        ++FRetries;
        return;
    }
    WizardMessageBox(E.what());
    ExitProcess(1);
}

// The sequence starts once, when the form first comes up; later activations (after a message
// box, a dialog or another application) do not restart it.
void TMainForm::ShownActivation() {
    if (!activated_) FormActivate();
}

// Any close but the two ends the operator chose (Cancel answered Yes, the protocol written) is
// asked about as Cancel is: the window manager's close button and Alt+F4 must not lose a
// verification by accident.
void TMainForm::closeEvent(QCloseEvent* e) {
    if (!exitChosen_ && !ConfirmExit()) {
        e->ignore();
        return;
    }
    TMainFormBase::closeEvent(e);
}

// ---------------------------------------------------------------------------------------------
// Link host

std::uint32_t TMainForm::PutBlock(const std::uint8_t* bytes, std::uint32_t length) {
    return CommPort1->PutBlock(bytes, length);
}

// Called by the link thread.
void TMainForm::EnableTimer1() {
    plat::StartTimerQueued(Timer1);
}
