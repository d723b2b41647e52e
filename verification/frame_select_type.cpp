#include "verification/frame_select_type.h"

#include <QLabel>

TSelTypeFrame* SelTypeFrame = nullptr;

TSelTypeFrame::TSelTypeFrame(QWidget* owner) : TBaseFrame(owner, KindSelectType) {
    RadioGroup = new TRadioGroup(this);
    RadioGroup->setGeometry(140, 100, 313, 95);

    SetLabelText(CaptionLabel, "Поверка регистратора\n"
                               "показателей качества\n"
                               "электрической энергии \"Ливат НД3.07\"");
    RadioGroup->setTitle(QString());
    RadioGroup->move(CaptionLabel->x(), CaptionLabel->y() + CaptionLabel->height() + 50);
    RadioGroup->resize(width() - RadioGroup->x() - 40, RadioGroup->height());
    RadioGroup->ClearItems();
    RadioGroup->AddItem("Первичная поверка");
    RadioGroup->AddItem("Периодическая поверка");
    RadioGroup->SetItemIndex(0);
}

void TSelTypeFrame::ShowFrame() {
    TBaseFrame::ShowFrame();
}

int TSelTypeFrame::GetVerificationType() const {
    return RadioGroup->ItemIndex();
}
