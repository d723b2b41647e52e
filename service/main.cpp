// The main form's construction, its settings, its mode and the message map.
#include "service/main.h"

#include "comm/RecorderLine.h"
#include "platform/Formats.h"
#include "platform/qt/Application.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <iterator>

std::string ProgramVersion;
TNdForm* NdForm = nullptr;
SerialTiming TNdForm::LinkTiming{};

namespace {

// The unit's start and end: the version string lives as long as the program.
struct ProgramVersionLifetime {
    ProgramVersionLifetime() { ProgramVersion = "4.0"; }
    ~ProgramVersionLifetime() { ProgramVersion.clear(); }
} programVersionLifetime;

constexpr int FormWidth = 640;
constexpr int FormHeight = 570;
constexpr int PanelSetWidth = 227;
constexpr int PanelLogHeight = 93;
constexpr int FontHeight = 14;
constexpr int PortCount = 60;
const char* const BaudRates[] = {"4800", "9600", "14400", "19200", "38400", "57600", "115200"};
const char* const ServiceSwitch = "/zolvy";

// A sunken box that groups controls on a panel, in the manner of a bevel.
QFrame* NewBevel(QWidget* parent) {
    auto* bevel = new QFrame(parent);
    bevel->setFrameShape(QFrame::StyledPanel);
    bevel->setFrameShadow(QFrame::Sunken);
    return bevel;
}

QFrame* NewPanel(QWidget* parent, QFrame::Shadow shadow) {
    auto* panel = new QFrame(parent);
    panel->setFrameShape(shadow == QFrame::Plain ? QFrame::NoFrame : QFrame::Panel);
    panel->setFrameShadow(shadow);
    return panel;
}

// The recorder drawn as a small front panel with a mains wave on its display.
QPixmap RecorderPicture() {
    QPixmap picture(96, 60);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 70), 1.5));
    p.setBrush(QColor(225, 228, 235));
    p.drawRoundedRect(QRectF(2, 2, 92, 56), 6, 6);
    p.setBrush(QColor(30, 70, 60));
    p.drawRect(QRectF(10, 9, 76, 30));
    QPainterPath wave;
    for (int x = 0; x <= 70; ++x) {
        const double y = 24 - 10 * std::sin(x * 2 * 3.14159265 / 35.0);
        if (x == 0)
            wave.moveTo(13 + x, y);
        else
            wave.lineTo(13 + x, y);
    }
    p.setPen(QPen(QColor(120, 255, 160), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.setPen(QColor(60, 60, 70));
    QFont font("Sans");
    font.setPixelSize(9);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(10, 41, 76, 14), Qt::AlignCenter, QString::fromUtf8("НД 3.07"));
    return picture;
}

} // namespace

std::string ProcessCommandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!raw.empty() && raw.back() == '\0')
        raw.pop_back();
    for (char& c : raw)
        if (c == '\0') c = ' ';
    return raw;
}

TNdForm::TNdForm(const std::string& commandLine, QWidget* owner) : TMainFormBase(owner) {
    CreateControls();
    LanguageFile.clear();
    RegistryKey.clear();
    NormalMode = commandLine.find(ServiceSwitch) == std::string::npos;
    plat::SetDecimalSeparator('.');
    plat::SetDateSeparator('.');
    SetUpLists();
    FillPortLists();
    Handle = plat::RegisterWindow([this](plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam) {
        Dispatch(msg, wParam, lParam);
    });
    SerialLink = std::make_unique<Serial>(Handle, *this, SerialRequestSet::Service, LinkTiming);
    ReadSettings();
    ApplyMode();
    Texts.clear();
    LanguageFiles.clear();
    WatchActivation();
}

TNdForm::~TNdForm() {
    SaveSettings();
    LanguageFiles.clear();
    Texts.clear();
    Registry.reset();
    // Replies still on their way must not reach a form that is half gone: closing the port
    // below serves the GUI thread's queue while it waits for the port's threads.
    plat::UnregisterWindow(Handle);
    SerialLink.reset();
    // The port goes while the controls its events touch still exist; closing may raise one
    // more receive event, which still finds the component.
    CommPort1->ClosePort();
    CommPort1.reset();
    if (NdForm == this) NdForm = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Controls

void TNdForm::CreateControls() {
    setObjectName("NdForm");
    setProperty("livatForm", true);
    QFont font("MS Sans Serif");
    font.setPixelSize(FontHeight);
    setFont(font);
    resize(FormWidth, FormHeight);
    setMinimumSize(560, 480);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->setSpacing(0);
    auto* top = new QHBoxLayout;
    top->setSpacing(0);
    form->addLayout(top, 1);

    Panel = NewPanel(this, QFrame::Sunken);
    top->addWidget(Panel, 1);
    PanelSet = NewPanel(this, QFrame::Sunken);
    PanelSet->setFixedWidth(PanelSetWidth);
    top->addWidget(PanelSet);
    PanelLog = NewPanel(this, QFrame::Plain);
    PanelLog->setFixedHeight(PanelLogHeight);
    form->addWidget(PanelLog);

    CreatePages();
    CreateClockPage();
    CreateSettingsPanel();
    CreateLog();

    CommPort1 = std::make_unique<TCommPort>();
    SetUpCommPort();
    Timer1 = new QTimer(this);
    Timer1->setInterval(20);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

void TNdForm::CreatePages() {
    auto* layout = new QVBoxLayout(Panel);
    layout->setContentsMargins(3, 3, 3, 3);
    PageControl = new plat::TPageControl(Panel);
    layout->addWidget(PageControl);

    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    TabSheet3 = new QWidget;
    PageControl->addTab(TabSheet1, QString());
    PageControl->addTab(TabSheet2, QString());
    PageControl->addTab(TabSheet3, QString());
    PageControl->OnChanging = [this](bool& allow) { PageControlChanging(allow); };

    ListView = new plat::TListView(TabSheet1);
    (new QVBoxLayout(TabSheet1))->addWidget(ListView);
    ListViewPar = new plat::TListView(TabSheet2);
    (new QVBoxLayout(TabSheet2))->addWidget(ListViewPar);
    for (QWidget* sheet : {TabSheet1, TabSheet2})
        sheet->layout()->setContentsMargins(2, 2, 2, 2);
}

void TNdForm::CreateClockPage() {
    auto* page = new QVBoxLayout(TabSheet3);
    page->setContentsMargins(6, 6, 6, 6);
    page->setSpacing(6);

    GroupBox1 = new QGroupBox(TabSheet3);
    auto* clock = new QGridLayout(GroupBox1);
    RadioButton1 = new QRadioButton(GroupBox1);
    RadioButton2 = new QRadioButton(GroupBox1);
    Label5 = new QLabel(GroupBox1);
    Edit3 = new QLineEdit(GroupBox1);
    Label4 = new QLabel(GroupBox1);
    Edit2 = new QLineEdit(GroupBox1);
    Button2 = new QPushButton(GroupBox1);
    clock->addWidget(RadioButton1, 0, 0, 1, 3);
    clock->addWidget(RadioButton2, 1, 0, 1, 3);
    clock->addWidget(Label5, 2, 0);
    clock->addWidget(Edit3, 2, 1);
    clock->addWidget(Label4, 3, 0);
    clock->addWidget(Edit2, 3, 1);
    clock->addWidget(Button2, 3, 2);
    clock->setColumnStretch(1, 1);
    page->addWidget(GroupBox1);

    Bevel1 = NewBevel(TabSheet3);
    Label1 = new QLabel(Bevel1);
    Edit1 = new QLineEdit(Bevel1);
    Button6 = new QPushButton(Bevel1);
    AddRow(Bevel1, Label1, Edit1, Button6);
    page->addWidget(Bevel1);

    Bevel4 = NewBevel(TabSheet3);
    Label2 = new QLabel(Bevel4);
    ComboBox1 = new QComboBox(Bevel4);
    Button7 = new QPushButton(Bevel4);
    AddRow(Bevel4, Label2, ComboBox1, Button7);
    page->addWidget(Bevel4);

    Bevel5 = NewBevel(TabSheet3);
    Label3 = new QLabel(Bevel5);
    ComboBox2 = new QComboBox(Bevel5);
    Button1 = new QPushButton(Bevel5);
    AddRow(Bevel5, Label3, ComboBox2, Button1);
    Bevel5->setMinimumHeight(12);
    page->addWidget(Bevel5);
    for (QWidget* w : {static_cast<QWidget*>(Label3), static_cast<QWidget*>(ComboBox2),
                       static_cast<QWidget*>(Button1)})
        w->setVisible(false);

    Bevel8 = NewBevel(TabSheet3);
    SpeedButton1 = new QToolButton(Bevel8);
    Label6 = new QLabel(Bevel8);
    BitBtn1 = new QPushButton(Bevel8);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_FileDialogInfoView));
    auto* diag = new QHBoxLayout(Bevel8);
    diag->addWidget(SpeedButton1);
    diag->addWidget(Label6);
    diag->addStretch(1);
    diag->addWidget(BitBtn1);
    SpeedButton1->setVisible(false);
    Label6->setVisible(false);
    page->addWidget(Bevel8);
    page->addStretch(1);

    connect(RadioButton1, &QRadioButton::clicked, this, [this] { RadioButton2Click(); });
    connect(RadioButton2, &QRadioButton::clicked, this, [this] { RadioButton2Click(); });
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) { pcClock_.store(on); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    for (QPushButton* b : {Button6, Button7, Button1})
        connect(b, &QPushButton::clicked, this, [this, b] { Button1Click(b); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
}

void TNdForm::AddRow(QFrame* bevel, QLabel* label, QWidget* field, QPushButton* button) {
    auto* row = new QGridLayout(bevel);
    row->addWidget(label, 0, 0, 1, 2);
    row->addWidget(field, 1, 0);
    row->addWidget(button, 1, 1);
    row->setColumnStretch(0, 1);
}

void TNdForm::CreateSettingsPanel() {
    auto* panel = new QVBoxLayout(PanelSet);
    panel->setContentsMargins(6, 6, 6, 6);
    panel->setSpacing(6);

    Bevel6 = NewBevel(PanelSet);
    ComboBox5 = new QComboBox(Bevel6);
    (new QVBoxLayout(Bevel6))->addWidget(ComboBox5);
    panel->addWidget(Bevel6);

    Bevel2 = NewBevel(PanelSet);
    Button3 = new QPushButton(Bevel2);
    CheckBox1 = new QCheckBox(Bevel2);
    auto* read = new QVBoxLayout(Bevel2);
    read->addWidget(Button3);
    read->addWidget(CheckBox1);
    panel->addWidget(Bevel2);

    Bevel3 = NewBevel(PanelSet);
    Label7 = new QLabel(Bevel3);
    ComboBox3 = new QComboBox(Bevel3);
    Label8 = new QLabel(Bevel3);
    ComboBox4 = new QComboBox(Bevel3);
    Button5 = new QPushButton(Bevel3);
    auto* port = new QGridLayout(Bevel3);
    port->addWidget(Label7, 0, 0);
    port->addWidget(ComboBox3, 0, 1);
    port->addWidget(Label8, 1, 0);
    port->addWidget(ComboBox4, 1, 1);
    port->addWidget(Button5, 2, 0, 1, 2);
    port->setColumnStretch(1, 1);
    panel->addWidget(Bevel3);
    panel->addStretch(1);

    Bevel7 = NewBevel(PanelSet);
    Image = new QLabel(Bevel7);
    Image->setPixmap(RecorderPicture());
    Image->setAlignment(Qt::AlignCenter);
    Label9 = new QLabel(Bevel7);
    Label10 = new QLabel(Bevel7);
    Label11 = new QLabel(Bevel7);
    auto* about = new QVBoxLayout(Bevel7);
    for (QLabel* l : {Image, Label9, Label10, Label11}) {
        l->setAlignment(Qt::AlignCenter);
        l->setWordWrap(true);
        about->addWidget(l);
    }
    panel->addWidget(Bevel7);

    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(ComboBox3, &QComboBox::activated, this, [this] { ComboBox3Change(); });
    connect(ComboBox4, &QComboBox::activated, this, [this] { ComboBox3Change(); });
    connect(ComboBox5, &QComboBox::activated, this, [this] { ComboBox5Change(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    Label11->installEventFilter(this);
}

void TNdForm::CreateLog() {
    ListViewLog = new plat::TListView(PanelLog);
    auto* layout = new QVBoxLayout(PanelLog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ListViewLog);
    PopupMenu = new QMenu(this);
    ClearLog = PopupMenu->addAction(QString::fromUtf8("Очистить список"));
    ListViewLog->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListViewLog, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu->popup(ListViewLog->viewport()->mapToGlobal(at));
    });
    connect(ClearLog, &QAction::triggered, this, [this] { ClearLogClick(); });
}

// Design-time settings of the port component: 57600 baud, 8N1, no flow control, DTR and RTS off.
void TNdForm::SetUpCommPort() {
    TCommPort& port = *CommPort1;
    SetUpRecorderLine(port, 40, cbr57600);
    port.OnOpen = [this](TCommPort*, int error) { CommPort1Open(error); };
    port.OnDataReceived = [this](TCommPort*, plat::DWORD count) { CommPort1DataReceived(count); };
    port.OnRxDSignal = [this](TCommPort*) { CommPort1RxDSignal(); };
}

// ---------------------------------------------------------------------------------------------
// Constructor steps

void TNdForm::SetUpLists() {
    setWindowFlag(Qt::Window);
    QFont listFont = ListView->font();
    listFont.setFamily("Times New Roman");
    ListView->setFont(listFont);
    ListViewPar->setFont(listFont);
    PageControl->SetActivePageIndex(1);

    ListViewLog->ClearAll();
    // The time stamp keeps its designed width unless the font in use needs more to show it whole.
    const int stampWidth =
        ListViewLog->fontMetrics().horizontalAdvance(QStringLiteral("[00.00.0000 00:00:00]")) + 12;
    ListViewLog->AddColumn(std::max(150, stampWidth), true);
    ListViewLog->AddColumn(LogMessageWidth, false);
    ListView->ClearAll();
    for (int width : {90, 80, 60, 350})
        ListView->AddColumn(width, true);
    ListViewPar->ClearAll();
    // The parameter columns grow to the texts of the language in use (LoadLanguage).
    for (int width : TNdForm::ParameterColumnWidths)
        ListViewPar->AddColumn(width, true);

    RadioButton1->setChecked(true);
    RadioButton2->setChecked(false);
    Edit1->clear();
    Edit2->clear();
    Edit3->clear();
    CheckBox1->setChecked(false);
    Button5->setEnabled(false);
}

void TNdForm::FillPortLists() {
    ComboBox3->clear();
    for (int i = 1; i <= PortCount; ++i)
        ComboBox3->addItem(QString("COM%1").arg(i));
    ComboBox3->setCurrentIndex(0);
    ComboBox4->clear();
    for (const char* rate : BaudRates)
        ComboBox4->addItem(rate);
    ComboBox4->setCurrentIndex(1);
    ComboBox5->clear();

    QPalette link = Label11->palette();
    link.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label11->setPalette(link);
    Label11->setCursor(Qt::PointingHandCursor);
    for (QLabel* label : {Label9, Label10, Label11}) {
        QFont bold = label->font();
        bold.setBold(true);
        bold.setUnderline(label == Label11);
        label->setFont(bold);
    }
}

void TNdForm::ReadSettings() {
    Registry = std::make_unique<plat::TRegistry>();
    Registry->SetRootKey(plat::HKEY_CURRENT_USER);
    RegistryKey = "Software\\Livat\\ND307";
    if (!Registry->KeyExists(RegistryKey)) return;
    if (Registry->OpenKey(RegistryKey, true)) ReadSettingValues();
    Registry->CloseKey();
}

// Stops at the first value that is missing, of another type or, for an index, outside its list:
// the lists keep a selection, so the port opens and the save at the end writes a good index.
void TNdForm::ReadSettingValues() {
    try {
        ComboBox3->setCurrentIndex(plat::ReadListIndex(*Registry, "PortIndex", ComboBox3->count()));
        ComboBox4->setCurrentIndex(plat::ReadListIndex(*Registry, "BaudIndex", ComboBox4->count()));
        LanguageFile = Registry->ReadString("Language");
    } catch (const plat::ERegistryException&) {
    }
}

void TNdForm::ApplyMode() {
    if (!NormalMode) return;
    PageControl->SetTabVisible(1, false);
    PageControl->SetActivePageIndex(2);
    Edit1->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{Button6, Bevel4, Label2, ComboBox1, Button7,
                                                      Bevel5, Label3, ComboBox2, Button1})
        w->setVisible(false);
    Label8->setEnabled(false);
    ComboBox4->setEnabled(false);
}

void TNdForm::SaveSettings() {
    if (!Registry) return;
    try {
        if (!Registry->OpenKey(RegistryKey, true))
            throw plat::ERegistryException("Failed to create key " + RegistryKey);
        Registry->WriteInteger("PortIndex", ComboBox3->currentIndex());
        Registry->WriteInteger("BaudIndex", ComboBox4->currentIndex());
        Registry->WriteString("Language", LanguageFile);
    } catch (const plat::ERegistryException&) {
        AddLogLine(Text(11002));
    }
    Registry->CloseKey();
}

// ---------------------------------------------------------------------------------------------
// Messages and activation

void TNdForm::Dispatch(plat::UINT msg, plat::WPARAM wParam, plat::LPARAM) {
    if (msg == plat::WM_USER) OnSerialReply(static_cast<int>(static_cast<std::intptr_t>(wParam)));
}

bool TNdForm::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Label11 && e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        Label11Click();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

// The form becomes the program's active form: at start, and when the focus comes back from
// another form of the program. Returning from another application or from a message box is not
// an activation of the form.
void TNdForm::WatchActivation() {
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* now) {
        if (!now) return;
        QWindow* before = lastFocusWindow_;
        lastFocusWindow_ = now;
        if (now != windowHandle() || before == now) return;
        if (before == nullptr) {
            ShownActivation();
        } else if (IsFormWindow(before)) {
            FormActivate();
        }
    });
}

// The start's activation comes once: by the focus or by showing, whichever is first.
void TNdForm::ShownActivation() {
    if (activatedOnce_) return;
    activatedOnce_ = true;
    FormActivate();
}

bool TNdForm::IsFormWindow(QWindow* window) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowHandle() == window) return w->property("livatForm").toBool();
    return false;
}

std::string TNdForm::Text(int key) const {
    return TextByKey(Texts, key);
}

std::string TextByKey(const std::vector<std::string>& lines, int key) {
    const std::string wanted = std::to_string(key);
    for (const std::string& line : lines) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq != wanted.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < eq && same; ++i)
            same = std::tolower(static_cast<unsigned char>(line[i])) ==
                   std::tolower(static_cast<unsigned char>(wanted[i]));
        if (same) return line.substr(eq + 1);
    }
    return {};
}
