// What a parameter reply and a measurement reply show: the value column of the two lists, the
// factory number, the mode and option lists and the clock fields.
#include "service/main.h"

#include "platform/Formats.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include <cstdio>

namespace {

// One shown measurement: its row, the value it shows, decimals and precision.
struct MeasurementRow {
    int row;
    int value;
    int digits;
    int precision;
};

// Rows 6..107 (the two blocks of 51 values by order) follow a rule of their own.
constexpr MeasurementRow SingleRows[] = {
    {0, MeasuredValue::DeviationF, 3, 6},
    {1, MeasuredValue::DeviationU, 2, 6},
    {2, 103, 3, 6},
    {3, 107, 2, 6},
    {4, 106, 2, 6},
    {5, 104, 2, 6},
    {108, MeasuredValue::DipDuration, 3, 6},
    {109, MeasuredValue::DipDepth, 3, 6},
    {110, MeasuredValue::SwellDuration, 3, 6},
    {111, MeasuredValue::SwellFactor, 3, 6},
};
constexpr int OrderRowsFirst = 6;
constexpr int OrderValueCount = 102; // values 0..101 in rows 6..107
constexpr int OrderDigits = 2;
constexpr int OrderPrecision = 4;

std::string Unsigned(unsigned value) {
    return std::to_string(value);
}

std::string DateText(const DeviceParams& p) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u.%02u.%04u", unsigned{p[14]}, unsigned{p[15]},
                  unsigned{p[16]} + 2000u);
    return text;
}

std::string TimeText(const DeviceParams& p) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", unsigned{p[12]}, unsigned{p[11]},
                  unsigned{p[10]});
    return text;
}

// A value beyond the list's last index leaves the list without a selection.
void SelectIndex(QComboBox* box, unsigned index) {
    box->setCurrentIndex(index < static_cast<unsigned>(box->count()) ? static_cast<int>(index)
                                                                     : -1);
}

} // namespace

void TNdForm::ShowParams() {
    SerialLink->GetConfig(Params);
    ListViewPar->BeginUpdate();
    Edit1->setText(QString::fromStdString(Unsigned(Params[DeviceParamWord::FactoryNumber])));
    SelectIndex(ComboBox1, Params[DeviceParamWord::Command]);
    SelectIndex(ComboBox2, Params[DeviceParamWord::Option]);

    ListViewPar->SetCell(0, 1, Edit1->text().toStdString());
    ListViewPar->SetCell(1, 1, Unsigned(Params[DeviceParamWord::FirmwareVersion]));
    ListViewPar->SetCell(2, 1,
                         ComboBox1->currentIndex() >= 0 ? ComboBox1->currentText().toStdString()
                                                        : std::string());
    for (int row = 3; row <= 8; ++row)
        ListViewPar->SetCell(row, 1, Unsigned(Params[static_cast<std::size_t>(row + 1)]));
    const std::string date = DateText(Params);
    const std::string time = TimeText(Params);
    ListViewPar->SetCell(9, 1, date);
    ListViewPar->SetCell(10, 1, time);
    ListViewPar->SetCell(11, 1, Text(Params[17] != 0 ? 7018 : 7017));
    if (RadioButton1->isChecked()) {
        Edit3->setText(QString::fromStdString(date));
        Edit2->setText(QString::fromStdString(time));
    }
    ListViewPar->EndUpdate();
}

void TNdForm::ShowMeasurements() {
    SerialLink->GetMeasurements(Measured);
    ListView->BeginUpdate();
    for (const MeasurementRow& r : SingleRows)
        ListView->SetCell(r.row, 1,
                          plat::FloatToStrF(Measured[static_cast<std::size_t>(r.value)],
                                            plat::ffFixed, r.precision, r.digits));
    for (int n = 0; n < OrderValueCount; ++n)
        ListView->SetCell(OrderRowsFirst + n, 1,
                          plat::FloatToStrF(Measured[static_cast<std::size_t>(n)], plat::ffFixed,
                                            OrderPrecision, OrderDigits));
    ListView->EndUpdate();
}
