// The diagnostics dialog. Which question lines and buttons are shown depends only on the last fill.
#include "service/Diagnostika.h"

#include "service/main.h"

#include "platform/Formats.h"
#include "platform/qt/QtText.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QWindow>

TForm_dgn* Form_dgn = nullptr;

using plat::Q;

namespace {

constexpr int ClientWidth = 410;
constexpr int ClientHeight = 343;
constexpr int DesignLeft = 354;
constexpr int DesignTop = 225;
constexpr int FontHeight = 11;
constexpr int QuestionFontHeight = 16;
constexpr std::uint16_t CommandOnConsent = 11;

// Index of each bit's byte in DiagnosticValues::DiagFlags (0x10, 0x08, 0x04, 0x02, 0x01).
constexpr int FlagClockFault = 1; // 0x08
constexpr int FlagSdhc = 2;       // 0x04
constexpr int FlagQuestion = 3;   // 0x02
constexpr int FlagNoCard = 4;     // 0x01

std::string Text(int key) {
    return NdForm ? NdForm->Text(key) : std::string();
}

QLabel* NewLabel(QWidget* parent, int left, int top, const char* designText) {
    auto* label = new QLabel(QString::fromUtf8(designText), parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

// Labels size themselves to their text, as the dialog's labels always did.
void SetLabel(QLabel* label, const std::string& text) {
    label->setText(Q(text));
    label->adjustSize();
}

QPushButton* NewButton(QWidget* parent, const char* caption, QStyle::StandardPixmap glyph, int left,
                       int top) {
    auto* button = new QPushButton(parent->style()->standardIcon(glyph), caption, parent);
    button->setGeometry(left, top, 75, 25);
    return button;
}

} // namespace

TForm_dgn::TForm_dgn(QWidget* owner) : QWidget(owner) {
    // A fixed dialog frame: no resizing, no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setObjectName("Form_dgn");
    setProperty("livatForm", true);
    QFont font("MS Sans Serif");
    font.setPixelSize(FontHeight);
    setFont(font);
    setFixedSize(ClientWidth, ClientHeight);
    move(DesignLeft, DesignTop);
    CreateControls();
}

void TForm_dgn::CreateControls() {
    GroupBox1 = new QGroupBox("SD/SDHC", this);
    GroupBox1->setGeometry(8, 16, 393, 81);
    Label2 = NewLabel(GroupBox1, 16, 24, "Статус SD/SDHC карты: ");
    Label3 = NewLabel(GroupBox1, 152, 24, "N/A");
    Label4 = NewLabel(GroupBox1, 16, 48, "Тип карты памяти:");

    GroupBox2 = new QGroupBox("RTC", this);
    GroupBox2->setGeometry(8, 120, 393, 73);
    Label5 = NewLabel(GroupBox2, 16, 32, "Работа таймера: ");

    QFont question = font();
    question.setPixelSize(QuestionFontHeight);
    Label1 = NewLabel(this, 16, 216, "Label1");
    Label1->setFont(question);
    Label6 = NewLabel(this, 16, 256, "Label6");
    Label6->setFont(question);

    BitBtn1 = NewButton(this, "&Yes", QStyle::SP_DialogYesButton, 24, 296);
    BitBtn2 = NewButton(this, "&No", QStyle::SP_DialogNoButton, 296, 296);
    BitBtn3 = NewButton(this, "&Close", QStyle::SP_DialogCloseButton, 160, 296);
    BitBtn1->hide();
    BitBtn2->hide();

    // The tab order of the design: the groups, then Yes, No, Close.
    setTabOrder(GroupBox1, GroupBox2);
    setTabOrder(GroupBox2, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, BitBtn3);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
}

void TForm_dgn::FillAndShow() {
    // One set, taken under the link's lock before any text is set: a diagnostics request
    // posted meanwhile cannot mix two answers in one fill.
    DiagnosticValues values;
    if (NdForm && NdForm->SerialLink) NdForm->SerialLink->GetDiagnostics(values);
    // The dialog belongs to the main form: the window manager keeps it above the form and lets
    // it take the focus even while the operator is busy there, so that it never opens hidden
    // behind the form with the keyboard going to it.
    if (NdForm) {
        winId();
        windowHandle()->setTransientParent(NdForm->windowHandle());
    }
    show();
    raise();
    activateWindow();
    Fill(values);
}

void TForm_dgn::Fill(const DiagnosticValues& values) {
    const auto set = [&values](int flag) { return values.DiagFlags[flag] != 0; };

    std::string status = Text(11021);
    if (values.DiagHigh != 0) status = Text(11022) + " " + plat::IntToStr(values.DiagHigh);
    if (set(FlagNoCard)) status = Text(11024);
    SetLabel(Label3, status);

    const bool question = set(FlagQuestion);
    if (question) {
        SetLabel(Label1, Text(11019));
        SetLabel(Label6, Text(11020));
    }
    for (QWidget* w : {Label1, Label6})
        w->setVisible(question);
    BitBtn1->setVisible(question);
    BitBtn2->setVisible(question);
    BitBtn3->setVisible(!question);

    SetLabel(Label2, Text(11016));
    SetLabel(Label4, Text(11017) + (set(FlagSdhc) ? " SDHC" : " SD"));
    SetLabel(Label5, Text(11018) + " " + Text(set(FlagClockFault) ? 11023 : 11021));
}

// Yes: only command value 11 reaches the recorder (request 21 writes the command register
// alone); a factory number that does not convert stops here with the conversion error, and the
// dialog stays open.
void TForm_dgn::BitBtn1Click() {
    if (!NdForm || !NdForm->SerialLink) return;
    const int number = plat::StrToInt(NdForm->Edit1->text().toStdString());
    NdForm->SerialLink->SetWriteValues(
        static_cast<std::uint16_t>(number), CommandOnConsent,
        static_cast<std::uint16_t>(NdForm->ComboBox2->currentIndex()));
    NdForm->SerialLink->PostCommand(RequestWriteCommandNoResult);
    close();
}

void TForm_dgn::BitBtn2Click() {
    close();
}

void TForm_dgn::BitBtn3Click() {
    close();
}

// The focus goes back to the main form, whose activation then enables its diagnostics button
// again.
void TForm_dgn::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    if (!e->spontaneous() && NdForm && NdForm->isVisible()) NdForm->activateWindow();
}

void TForm_dgn::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}
