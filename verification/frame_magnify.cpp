#include "verification/frame_magnify.h"

#include "verification/main.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>

TMagnifyFrame* MagnifyFrame = nullptr;

namespace {

const char* const InspectionLines[] = {
    "Регистратор и комплектующие изделия не имеют ",
    "видимых внешних повреждений корпуса и органов",
    "управления.",
    "",
    "Внутри прибора нет незакрепленных предметов.",
    "",
    "Изоляция не имеет трещин, обугливания и других",
    "повреждений.",
    "",
    "Маркировка аппаратуры, комплектующих изделий",
    "и кабелей легко читается и не имеет повреждений.",
    "",
};

} // namespace

TMagnifyFrame::TMagnifyFrame(QWidget* owner) : TBaseFrame(owner, KindMagnify) {
    Memo = new QPlainTextEdit(this);
    Memo->setGeometry(144, 72, 433, 209);
    Memo->setTabChangesFocus(true);
    RadioGroup = new TRadioGroup(this);
    RadioGroup->setGeometry(144, 304, 433, 81);
    RadioGroup->OnClick = [this] { RadioGroupClick(RadioGroup); };

    SetLabelText(CaptionLabel, "Внешний осмотр");
    Memo->move(CaptionLabel->x(), CaptionLabel->y() + CaptionLabel->height() + 20);
    Memo->resize(width() - Memo->x() - 20,
                 height() - RadioGroup->height() - CaptionLabel->y() - 80);
    Memo->setReadOnly(true);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo->clear();
    for (const char* line : InspectionLines)
        Memo->appendPlainText(QString::fromUtf8(line));

    RadioGroup->move(Memo->x(), Memo->y() + Memo->height() + 10);
    RadioGroup->resize(Memo->width(), RadioGroup->height());
    RadioGroup->setTitle(QString());
    RadioGroup->AddItem("Нет, я не подтверждаю это");
    RadioGroup->AddItem("Да, я подтверждаю это");
    RadioGroup->SetItemIndex(0);
    setTabOrder(Memo, RadioGroup);
}

void TMagnifyFrame::ShowFrame() {
    TBaseFrame::ShowFrame();
    if (QWidget* chosen = RadioGroup->Button(RadioGroup->ItemIndex()))
        chosen->setFocus();
    else
        RadioGroup->setFocus();
}

void TMagnifyFrame::RadioGroupClick(QObject* /*sender*/) {
    if (!MainForm) return;
    if (RadioGroup->ItemIndex() != 0)
        MainForm->EnableNext();
    else
        MainForm->DisableNext();
}
