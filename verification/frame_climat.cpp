#include "verification/frame_climat.h"

#include "platform/Formats.h"

#include <QComboBox>
#include <QLabel>

TClimatFrame* ClimatFrame = nullptr;

namespace {

constexpr int LowestPressure = 84; // kPa, the first item of the pressure list

// A drop-down list of the integers first..last, with item `selected` chosen.
void FillRange(QComboBox* box, int first, int last, int selected) {
    box->setEditable(false);
    box->clear();
    for (int value = first; value <= last; ++value)
        box->addItem(QString::fromStdString(plat::IntToStr(value)));
    box->setCurrentIndex(selected);
}

} // namespace

TClimatFrame::TClimatFrame(QWidget* owner) : TBaseFrame(owner, KindClimat) {
    InfoLabel = new QLabel(this);
    Label1 = new QLabel(this);
    ComboBox1 = new QComboBox(this);
    Label2 = new QLabel(this);
    Label3 = new QLabel(this);
    ComboBox2 = new QComboBox(this);
    Label4 = new QLabel(this);
    Label5 = new QLabel(this);
    ComboBox3 = new QComboBox(this);
    Label6 = new QLabel(this);
    for (QComboBox* box : {ComboBox1, ComboBox2, ComboBox3})
        box->resize(60, 21);

    SetLabelText(CaptionLabel, "Условия поверки");
    InfoLabel->move(CaptionLabel->x(), CaptionLabel->y() + CaptionLabel->height() + 20);
    SetWrappedText(InfoLabel,
                   "Внимание! Поверка должна производиться при\n"
                   "температуре 15-25°С и отн. влажности 30-80% после\n"
                   "выдерживания прибора не менее четырех часов\n"
                   "в указанных условиях",
                   width() - 10);
    SetLabelText(Label1, "Температура окружающего воздуха");
    SetLabelText(Label2, "°С");
    SetLabelText(Label3, "Относительная влажность воздуха");
    SetLabelText(Label4, "%");
    SetLabelText(Label5, "Атмосферное давление");
    SetLabelText(Label6, "кПа");

    const int left = CaptionLabel->x();
    const int unitLeft = width() - 50;
    const int boxLeft = unitLeft - ComboBox1->width() - 20;
    const int top1 = InfoLabel->y() + InfoLabel->height() + 40;
    const int top2 = top1 + ComboBox1->height() + 30;
    const int top3 = top2 + ComboBox2->height() + 30;
    Label1->move(left, top1);
    Label2->move(unitLeft, top1);
    ComboBox1->move(boxLeft, top1);
    Label3->move(left, top2);
    Label4->move(unitLeft, top2);
    ComboBox2->move(boxLeft, top2);
    Label5->move(left, top3);
    Label6->move(unitLeft, top3);
    ComboBox3->move(boxLeft, top3);

    FillRange(ComboBox1, 0, 50, 20);
    FillRange(ComboBox2, 0, 100, 50);
    FillRange(ComboBox3, LowestPressure, 106, 0);
    setTabOrder(ComboBox1, ComboBox2);
    setTabOrder(ComboBox2, ComboBox3);
}

int TClimatFrame::GetTemperature() const {
    return ComboBox1->currentIndex();
}

int TClimatFrame::GetHumidity() const {
    return ComboBox2->currentIndex();
}

int TClimatFrame::GetPressure() const {
    return ComboBox3->currentIndex() + LowestPressure;
}
