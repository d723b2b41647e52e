#include "verification/frame_signal.h"

#include "verification/main.h"
#include "verification/signals.h"

#include "platform/Formats.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

#include <algorithm>

TSignalFrame* SignalFrame = nullptr;

namespace {

constexpr int DataWordRole = Qt::UserRole;

// The measured K_U(n) in % of 220 V.
double HarmonicPercent(float volts) {
    return static_cast<double>(static_cast<long double>(volts) * 100.0L * (1.0L / 220.0L));
}

std::string DeviationUCell(const SignalRecord& s, bool result) {
    std::string text = PageNumber(s.setDeviationU, 4, 2);
    if (!result) return text;
    return text + "/" + PageNumber(s.measDeviationU, 4, 2) + "/" +
           PageNumber(s.errDeviationU, 4, 2) + "%";
}

std::string DeviationFCell(const SignalRecord& s, bool result) {
    std::string text = PageNumber(s.setDeviationF, 5, 3);
    if (!result) return text;
    return text + "/" + PageNumber(s.measDeviationF, 5, 3) + "/" +
           PageNumber(s.errDeviationF, 5, 3);
}

std::string HarmonicCell(const SignalRecord& s, std::size_t n, bool result) {
    std::string text = PageNumber(s.setHarmonic[n], 4, 2);
    if (!result) return text;
    text += "/" + PageNumber(HarmonicPercent(s.measHarmonicV[n]), 4, 2) + "/" +
            PageNumber(s.errHarmonic[n], 4, 2);
    if (IsRelativeHarmonic(s.setHarmonic[n])) text += "%";
    return text;
}

QColor ColorOfWord(unsigned word) {
    return QColor(static_cast<int>(word & 0xFFu), static_cast<int>((word >> 8) & 0xFFu),
                  static_cast<int>((word >> 16) & 0xFFu));
}

// Paints each row in the colour its first cell's data word holds, as the list's custom drawing
// does before each row.
class RowColorDelegate : public QStyledItemDelegate {
public:
    explicit RowColorDelegate(TSignalFrame* frame) : QStyledItemDelegate(frame), frame_(frame) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QColor color = ColorOfWord(frame_->RowColor(index.row()));
        option->palette.setColor(QPalette::Text, color);
        if (color == QColor(Qt::black)) return;
        // A selected row would otherwise take the selection's text colour and a failing row
        // would no longer read as failing: where the selection shows, the row is filled in its
        // own colour; where the selection is hidden, it keeps its coloured text.
        option->palette.setColor(QPalette::Active, QPalette::Highlight, color.darker(125));
        option->palette.setColor(QPalette::Active, QPalette::HighlightedText, Qt::white);
        option->palette.setColor(QPalette::Inactive, QPalette::HighlightedText, color);
    }

private:
    TSignalFrame* frame_;
};

} // namespace

TSignalFrame::TSignalFrame(QWidget* owner) : TListFrame(owner, KindSignal, ListHeight) {
    const int w = width();
    SetLabelText(CaptionLabel, "Проверка диапазонов\nи определение погрешности регистратора");
    Button1 = new QPushButton(QStringLiteral("Показать"), this);
    Button2 = new QPushButton(QStringLiteral("Пуск"), this);
    Button1->setGeometry(w - 80 - 10, 84, 80, 25);
    Button2->setGeometry(w - 80 - 10, 132, 80, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    // The instructions end before the buttons beside them.
    const int right = Button1->x() - 10;
    Label1 = NewLabel("", CaptionLabel->x(), 90);
    SetWrappedText(Label1,
                   "1. Подайте на входы регистратора выбранный сигнал,\n"
                   "установив в генераторе ГМ6.220 соответствующие значения.",
                   right);
    Label2 = NewLabel("", CaptionLabel->x(), 138);
    SetWrappedText(Label2, "2. Для вычисления погрешности нажмите \"Пуск\"", right);
    StackInstructions({Label1, Label2}, {nullptr, Button2});

    ListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    QFont listFont = ListView->font();
    listFont.setFamily(QStringLiteral("Times New Roman"));
    ListView->setFont(listFont);
    ListView->setItemDelegate(new RowColorDelegate(this));
    BuildColumns();
    AddRows();
}

// The number column takes the room its caption needs; the operator may still widen any column.
void TSignalFrame::BuildColumns() {
    ListView->ClearAll();
    const auto add = [this](int width, const std::string& caption) {
        ListView->SetColumnCaption(ListView->AddColumn(width, false), caption);
    };
    add(50, "№ сигнала");
    add(139, "\u03B4U, %");
    add(139, "\u0394f, Гц");
    for (int n = 0; n < ShownHarmonicCount; ++n)
        add(125, "Ku(" + std::to_string(n) + "), %");
}

void TSignalFrame::AddRows() {
    const QSignalBlocker blocker(ListView);
    for (int i = 0; i < SignalCount; ++i) {
        const SignalRecord& s = Signals[static_cast<std::size_t>(i)];
        std::vector<std::string> cells{DeviationUCell(s, false), DeviationFCell(s, false)};
        for (std::size_t n = 0; n < ShownHarmonicCount; ++n)
            cells.push_back(HarmonicCell(s, n, false));
        const int row = ListView->AddItem(std::to_string(i + 1), cells);
        ListView->item(row, 0)->setCheckState(Qt::Unchecked);
        ListView->item(row, 0)->setData(DataWordRole, clBlack);
    }
    ListView->FitColumn(0, ListView->columnWidth(0));
}

void TSignalFrame::Button1Click() {
    const int row = SelectedRow();
    if (row >= 0) WizardMessageBox(Signals[static_cast<std::size_t>(row)].description);
    ListView->setFocus();
}

void TSignalFrame::Button2Click() {
    const int row = SelectedRow();
    if (row >= 0 && MainForm) MainForm->StartSignalTest(row);
    ListView->setFocus();
}

bool TSignalFrame::RowMeasured(int row) const {
    return row >= 0 && row < SignalCount && Signals[static_cast<std::size_t>(row)].measured;
}

void TSignalFrame::ShowResult(int i) {
    if (i < 0 || i >= SignalCount || i >= ListView->rowCount()) return;
    const SignalRecord& s = Signals[static_cast<std::size_t>(i)];
    ListView->SetRowChecked(i, true);
    {
        const QSignalBlocker blocker(ListView);
        ListView->SetCell(i, 1, DeviationUCell(s, true));
        ListView->SetCell(i, 2, DeviationFCell(s, true));
        for (std::size_t n = 0; n < ShownHarmonicCount; ++n) {
            ListView->SetCell(i, 3 + static_cast<int>(n), HarmonicCell(s, n, true));
        }
    }
    // A result is longer than the set value its column was made for: the column grows to it.
    for (int column = 1; column < ListView->columnCount(); ++column)
        ListView->FitColumn(column, ListView->columnWidth(column));
    SetRowColor(i, SignalFails(s, ShownHarmonicCount - 1) ? clRed : clBlack);
    Button2->setFocus();
}

void TSignalFrame::SetRowColor(int row, unsigned color) {
    QTableWidgetItem* item = ListView->item(row, 0);
    if (!item) return;
    {
        const QSignalBlocker blocker(ListView);
        item->setData(DataWordRole, color);
    }
    ListViewCustomDrawItem(row);
}

unsigned TSignalFrame::RowColor(int row) const {
    const QTableWidgetItem* item = ListView->item(row, 0);
    return item ? item->data(DataWordRole).toUInt() : clBlack;
}

void TSignalFrame::ListViewCustomDrawItem(int row) {
    // The delegate reads the data word while painting; the row only has to be painted again.
    for (int column = 0; column < ListView->columnCount(); ++column) {
        ListView->update(ListView->model()->index(row, column));
    }
}
