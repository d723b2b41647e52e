// A measurement page: its rows in a list along the bottom of the page, one row per test signal
// or event, with a check mark that shows whether the row has a stored result.
#pragma once

#include "verification/base_frame.h"

#include "platform/qt/ListView.h"

class QTableWidgetItem;

class TListFrame : public TBaseFrame {
public:
    TListFrame(QWidget* owner, std::uint8_t kind, int listHeight);

    plat::TListView* ListView = nullptr;

    // Shows the page, selects row 1 and focuses the list.
    void ShowFrame() override;

    // A row's check mark always shows whether the row has a stored result: the operator's own
    // clicks on the marks are undone.
    void ListViewChange(QTableWidgetItem* item);

    // The first selected row in list order, -1 when none is selected.
    int SelectedRow() const;

protected:
    // Whether row has a stored result; false for a row beyond the page's signals.
    virtual bool RowMeasured(int row) const = 0;

    void resizeEvent(QResizeEvent* event) override;

private:
    int listHeight_;
};

// A number in a cell of a page's list: fixed notation with the precision and decimals its column
// asks for, and the decimal separator in force when the cell is written.
std::string PageNumber(double value, int precision, int digits);
