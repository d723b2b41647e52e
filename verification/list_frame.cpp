#include "verification/list_frame.h"

#include "platform/Formats.h"

TListFrame::TListFrame(QWidget* owner, std::uint8_t kind, int listHeight)
    : TBaseFrame(owner, kind), listHeight_(listHeight) {
    ListView = new plat::TListView(this);
    ListView->setGeometry(0, height() - listHeight_, width(), listHeight_);
    connect(ListView, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem* item) { ListViewChange(item); });
}

void TListFrame::resizeEvent(QResizeEvent* event) {
    TBaseFrame::resizeEvent(event);
    if (ListView) ListView->setGeometry(0, height() - listHeight_, width(), listHeight_);
}

void TListFrame::ShowFrame() {
    TBaseFrame::ShowFrame();
    ListView->SelectFirstRow();
    ListView->setFocus();
}

int TListFrame::SelectedRow() const {
    return ListView->FirstSelectedRow();
}

void TListFrame::ListViewChange(QTableWidgetItem* item) {
    if (!item || item->column() != 0) return;
    ListView->SetRowChecked(item->row(), RowMeasured(item->row()));
}

std::string PageNumber(double value, int precision, int digits) {
    return plat::FloatToStrF(value, plat::ffFixed, precision, digits);
}
