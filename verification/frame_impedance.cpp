#include "verification/frame_impedance.h"

#include "platform/Formats.h"

#include <QLabel>
#include <QLineEdit>

#include <limits>

TImpedanceFrame* ImpedanceFrame = nullptr;

TImpedanceFrame::TImpedanceFrame(QWidget* owner) : TBaseFrame(owner, KindImpedance) {
    InfoLabel = new QLabel(this);
    Label1 = new QLabel(this);
    Edit = new QLineEdit(this);
    Edit->resize(73, Edit->sizeHint().height());
    Label2 = new QLabel(this);

    SetLabelText(CaptionLabel, "Проверка сопротивления изоляции");
    InfoLabel->move(CaptionLabel->x(), CaptionLabel->y() + CaptionLabel->height() + 20);
    SetWrappedText(InfoLabel,
                   "1. Объеденить контакты вилки питания \"фаза\" и \"ноль\",\n"
                   "   образовав контакт К0.\n"
                   "2. Обернуть корпус регистратора фольгой в соответствии с\n"
                   "   требованиями ГОСТ Р 51350, образовав контакт \"земля\".\n"
                   "   Обеспечить контакт фольги с доступными токопроводящими\n"
                   "   частями и заземляющим контактом вилки питания.\n"
                   "3. Измерить сопротивление изоляции при напряжении 1000 В\n"
                   "   между контактами \"земля\" и К0.\n"
                   "\n"
                   "Регистратор считается выдержавшим испытание, если\n"
                   "сопротивление изоляции относительно корпуса не менее 2 МОм.",
                   width() - 10);
    Label1->move(InfoLabel->x(), height() - 60);
    SetLabelText(Label1, "Измеренное сопротивление:");
    Edit->move(Label1->x() + Label1->width() + 60, Label1->y());
    Edit->clear();
    Label2->move(Edit->x() + Edit->width() + 10, Label1->y());
    SetLabelText(Label2, "МОм");
}

void TImpedanceFrame::ShowFrame() {
    TBaseFrame::ShowFrame();
    Edit->setFocus();
}

// Operators type the decimal comma of their locale as often as the point; whichever separator
// accepts the entry stays in force, so the results and the protocol that follow use it too.
float TImpedanceFrame::GetResistance() {
    plat::SetDecimalSeparator(',');
    double value = 0;
    try {
        value = plat::StrToFloat(Edit->text().toStdString());
    } catch (const plat::EConvertError&) {
        plat::SetDecimalSeparator('.');
        value = plat::StrToFloat(Edit->text().toStdString());
    }
    // No resistance is negative: "-5" is a typing slip, not a failed insulation that would end
    // the verification. Narrowing a value beyond the float range would judge an infinite
    // resistance. Both are refused like any other entry that does not convert.
    if (value < 0 || value > std::numeric_limits<float>::max()) {
        plat::SetDecimalSeparator('.');
        throw plat::EConvertError("'" + Edit->text().toStdString() +
                                  "' is not a valid floating point value");
    }
    return static_cast<float>(value);
}
