#include "verification/frame_isolation.h"

#include <QCheckBox>
#include <QLabel>

TIsolationFrame* IsolationFrame = nullptr;

TIsolationFrame::TIsolationFrame(QWidget* owner) : TBaseFrame(owner, KindIsolation) {
    InfoLabel = new QLabel(this);
    CheckBox1 = new QCheckBox(this);
    CheckBox1->resize(429, CheckBox1->sizeHint().height());

    SetLabelText(CaptionLabel, "Проверка электрической прочности\nизоляции");
    InfoLabel->move(CaptionLabel->x(), CaptionLabel->y() + CaptionLabel->height() + 20);
    SetWrappedText(InfoLabel,
                   "1. Подключить к контакту К0 и контакту \"земля\" установку УПУ-10.\n"
                   "2. Подать напряжение 1.35 кВ и удерживать его в течении минуты.\n"
                   "3. Снять напряжение.\n"
                   "\n"
                   "Регистратор считается выдержавшим испытание,\n"
                   "если не произошло пробоя изоляции.",
                   width() - 10);
    CheckBox1->move(InfoLabel->x(), height() - 50);
    CheckBox1->setText(QString::fromUtf8("Прибор выдержал испытание"));
    CheckBox1->setChecked(false);
}

void TIsolationFrame::ShowFrame() {
    TBaseFrame::ShowFrame();
    CheckBox1->setFocus();
}

bool TIsolationFrame::GetPassed() const {
    return CheckBox1->isChecked();
}
