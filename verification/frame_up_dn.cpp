#include "verification/frame_up_dn.h"

#include "verification/main.h"
#include "verification/signals.h"

#include "platform/Formats.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

TUpDnFrame* UpDnFrame = nullptr;

namespace {

// The B of " B)" is the Latin letter.
std::string LevelCell(const EventSignalRecord& e, bool result) {
    std::string text = PageNumber(e.setLevel, 6, 3) + " (" + PageNumber(e.setVoltage, 6, 2) + " B)";
    if (!result) return text;
    return text + " /" + PageNumber(e.measLevel, 6, 3) + "/" + PageNumber(e.errLevel, 6, 3);
}

std::string DurationCell(const EventSignalRecord& e, bool result) {
    std::string text = PageNumber(e.setDuration, 6, 0);
    if (!result) return text;
    return text + "/" + PageNumber(e.measDuration, 6, 0) + "/" + PageNumber(e.errDuration, 6, 0);
}

} // namespace

TUpDnFrame::TUpDnFrame(QWidget* owner) : TListFrame(owner, KindUpDn, ListHeight) {
    const int w = width();
    const int left = CaptionLabel->x();
    SetLabelText(CaptionLabel, "Измерение провалов и перенапряжений");
    Button1 = new QPushButton(QStringLiteral("Работа"), this);
    Button2 = new QPushButton(QStringLiteral("Считать"), this);
    Button2->setEnabled(false);
    Button1->setGeometry(w - 80 - 10, 86, 80, 25);
    Button2->setGeometry(w - 80 - 10, 139, 80, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    // The instructions end before the buttons at their right.
    const int right = Button1->x() - 10;
    Label1 = NewLabel("", left, 65);
    SetWrappedText(Label1, "1. Подайте на входы регистратора номинальное напряжение.", right);
    Label2 = NewLabel("", left, 92);
    SetWrappedText(Label2, "2. Для перевода регистратора в режим \"Работа\" нажимте", right);
    Label3 = NewLabel("", left, 118);
    SetWrappedText(Label3, "3. Подайте на вход регистратора выбранный сигнал.", right);
    Label4 = NewLabel("", left, 145);
    SetWrappedText(Label4, "4. Для получения зарегестрированных данных нажмите", right);
    StackInstructions({Label1, Label2, Label3, Label4}, {nullptr, Button1, nullptr, Button2});

    ListView->setSelectionMode(QAbstractItemView::SingleSelection);
    BuildColumns();
    AddRows();
}

// The number column takes the room its caption needs; the operator may still widen any column.
void TUpDnFrame::BuildColumns() {
    ListView->ClearAll();
    ListView->SetColumnCaption(ListView->AddColumn(50, false), "№ сигнала");
    ListView->SetColumnCaption(ListView->AddColumn(300, false), "Провал/Перенапряжение");
    ListView->SetColumnCaption(ListView->AddColumn(200, false), "Длительность, мс");
}

void TUpDnFrame::AddRows() {
    const QSignalBlocker blocker(ListView);
    for (int i = 0; i < EventSignalCount; ++i) {
        const EventSignalRecord& e = EventSignals[static_cast<std::size_t>(i)];
        const int row =
            ListView->AddItem(std::to_string(i + 1), {LevelCell(e, false), DurationCell(e, false)});
        ListView->item(row, 0)->setCheckState(Qt::Unchecked);
    }
    ListView->FitColumn(0, ListView->columnWidth(0));
}

void TUpDnFrame::Button1Click() {
    const int row = SelectedRow();
    if (row >= 0 && MainForm) MainForm->StartWorkMode(row);
    ListView->setFocus();
}

void TUpDnFrame::Button2Click() {
    const int row = SelectedRow();
    if (row >= 0) {
        Button2->setEnabled(false);
        if (MainForm) MainForm->ReadEventData(row);
    }
    ListView->setFocus();
}

void TUpDnFrame::WorkModeStarted() {
    Button2->setEnabled(true);
    WizardMessageBox("Регистратор переведен в режим\"Работа\".\n"
                     "Подайте на вход регистратора выбранный сигнал.");
}

bool TUpDnFrame::RowMeasured(int row) const {
    return row >= 0 && row < EventSignalCount &&
           EventSignals[static_cast<std::size_t>(row)].measured;
}

void TUpDnFrame::ShowResult(int i) {
    if (i < 0 || i >= EventSignalCount || i >= ListView->rowCount()) return;
    const EventSignalRecord& e = EventSignals[static_cast<std::size_t>(i)];
    if (!e.measured) {
        WizardMessageBox("Зарегистрировать провал/перенапряжение не удалось!");
        // The row keeps its cells, but its mark must not claim a result the protocol leaves out.
        ListView->SetRowChecked(i, false);
    } else {
        ListView->SetRowChecked(i, true);
        const QSignalBlocker blocker(ListView);
        ListView->SetCell(i, 1, LevelCell(e, true));
        ListView->SetCell(i, 2, DurationCell(e, true));
        // A result is longer than the set value its column was made for: the column grows to it.
        for (int column = 1; column < ListView->columnCount(); ++column)
            ListView->FitColumn(column, ListView->columnWidth(column));
    }
    ListView->setFocus();
}
