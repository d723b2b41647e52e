#include "platform/qt/ListView.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPalette>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QSignalBlocker>

#include <algorithm>

namespace plat {

TListView::TListView(QWidget* parent) : QTableWidget(parent) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Rows scroll whole: no row sits half under the header, and the last one shows whole.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    // Tab leaves the list for the next control, as in a report list; arrow keys move between
    // rows. Walking the cells would move the row the next measurement is taken for.
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The selection shows only while the list has the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Base));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::Text));
    setPalette(pal);
}

void TListView::ClearAll() {
    clear();
    setRowCount(0);
    setColumnCount(0);
}

int TListView::AddColumn(int width, bool fixed) {
    const int column = columnCount();
    setColumnCount(column + 1);
    setHorizontalHeaderItem(column, new QTableWidgetItem(QString()));
    horizontalHeader()->setSectionResizeMode(column,
                                             fixed ? QHeaderView::Fixed : QHeaderView::Interactive);
    setColumnWidth(column, width);
    return column;
}

void TListView::SetColumnCaption(int column, const std::string& caption) {
    if (column < 0 || column >= columnCount()) return;
    QTableWidgetItem* item = horizontalHeaderItem(column);
    if (!item) {
        item = new QTableWidgetItem;
        setHorizontalHeaderItem(column, item);
    }
    item->setText(QString::fromStdString(caption));
}

void TListView::FitColumn(int column, int minimum, const std::vector<std::string>& further) {
    if (column < 0 || column >= columnCount()) return;
    int width = std::max(minimum, horizontalHeader()->sectionSizeHint(column));
    for (int row = 0; row < rowCount(); ++row)
        if (const QTableWidgetItem* cell = item(row, column))
            width =
                std::max(width, CellWidth(cell->text(), cell->data(Qt::CheckStateRole).isValid()));
    for (const std::string& text : further)
        width = std::max(width, CellWidth(QString::fromStdString(text), false));
    if (width != columnWidth(column)) setColumnWidth(column, width);
}

// The style draws a cell's text inside its text rectangle less a margin at either side, and cuts
// what does not fit there; the rest of the cell (check box, margins, grid line) is overhead that
// does not depend on the text. A text rectangle is as wide as its text unless the text is cut, so
// the overhead is measured with a text too wide for the probe cell.
int TListView::CellWidth(const QString& text, bool checkable) const {
    constexpr int Probe = 1000;
    const QString tooWide(Probe, QLatin1Char('W'));
    QStyleOptionViewItem option;
    option.initFrom(this);
    option.font = font();
    option.fontMetrics = fontMetrics();
    option.text = tooWide;
    option.features = QStyleOptionViewItem::HasDisplay;
    if (checkable) option.features |= QStyleOptionViewItem::HasCheckIndicator;
    option.rect = QRect(0, 0, Probe, rowHeight(0) > 0 ? rowHeight(0) : fontMetrics().height());
    option.widget = this;
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int room =
        style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this).width() - 2 * margin;
    const int grid = showGrid() ? 1 : 0;
    return fontMetrics().horizontalAdvance(text) + (Probe - room) + grid;
}

void TListView::ClearItems() {
    clearContents();
    setRowCount(0);
}

int TListView::AddItem(const std::string& caption, const std::vector<std::string>& subItems) {
    const int row = rowCount();
    insertRow(row);
    SetCell(row, 0, caption);
    for (std::size_t i = 0; i < subItems.size(); ++i)
        SetCell(row, static_cast<int>(i) + 1, subItems[i]);
    return row;
}

void TListView::SetCell(int row, int column, const std::string& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
    QTableWidgetItem* cell = item(row, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        setItem(row, column, cell);
    }
    cell->setText(QString::fromStdString(text));
}

std::string TListView::Cell(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text().toStdString() : std::string();
}

void TListView::BeginUpdate() {
    if (updateDepth_++ == 0) setUpdatesEnabled(false);
}

void TListView::EndUpdate() {
    if (updateDepth_ > 0 && --updateDepth_ == 0) setUpdatesEnabled(true);
}

void TListView::ScrollToEnd() {
    scrollToBottom();
}

void TListView::scrollContentsBy(int dx, int dy) {
    QTableWidget::scrollContentsBy(dx, dy);
    KeepTopRowWhole();
}

void TListView::updateGeometries() {
    QTableWidget::updateGeometries();
    KeepTopRowWhole();
}

// Scrolled to the end, Qt lays the last row flush with the bottom and cuts the top row under the
// header. A report list keeps its top row whole and leaves the room below the last row blank;
// the scroll range already ends where every remaining row fits whole.
void TListView::KeepTopRowWhole() {
    QHeaderView* rows = verticalHeader();
    if (verticalScrollMode() != ScrollPerItem || rows->count() == 0) return;
    const int top = rows->logicalIndex(std::min(verticalScrollBar()->value(), rows->count() - 1));
    const int offset = rows->sectionPosition(top);
    if (rows->offset() == offset) return;
    rows->setOffset(offset);
    viewport()->update();
}

void TListView::SetRowChecked(int row, bool checked) {
    QTableWidgetItem* cell = item(row, 0);
    if (!cell) return;
    const QSignalBlocker blocker(this);
    cell->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TListView::SelectFirstRow() {
    if (rowCount() == 0) return;
    selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
}

int TListView::FirstSelectedRow() const {
    int first = -1;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        if (first < 0 || index.row() < first) first = index.row();
    return first;
}

} // namespace plat
