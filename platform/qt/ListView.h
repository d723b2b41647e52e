// A multi-column report list in the manner of the framework's list view: a caption column and
// sub-item columns, grid lines, whole-row selection, read-only cells and columns of fixed width.
// Tab passes through it to the next control; rows scroll whole.
#pragma once

#include <QTableWidget>

#include <string>
#include <vector>

namespace plat {

class TListView : public QTableWidget {
public:
    explicit TListView(QWidget* parent = nullptr);

    // Removes every row and every column.
    void ClearAll();
    // Appends a column; a fixed column cannot be resized by the user.
    int AddColumn(int width, bool fixed = true);
    void SetColumnCaption(int column, const std::string& caption);
    // Widens a column, never below minimum, until its caption, every cell and each of the
    // further texts (values the column is yet to show, UTF-8) fit whole.
    void FitColumn(int column, int minimum, const std::vector<std::string>& further = {});
    // The width a column needs to show the text whole in a cell, check box included.
    int CellWidth(const QString& text, bool checkable) const;

    int Count() const { return rowCount(); }
    void ClearItems();
    // Appends a row: column 0 takes the caption, the next columns the sub-items. Returns its index.
    int AddItem(const std::string& caption, const std::vector<std::string>& subItems = {});
    // Column 0 is the caption, column k the k-th sub-item. Out-of-range cells are ignored.
    void SetCell(int row, int column, const std::string& text);
    std::string Cell(int row, int column) const;

    // Batches a rebuild into one repaint; brackets may nest.
    void BeginUpdate();
    void EndUpdate();

    void ScrollToEnd();

    // Sets the check mark of a row's caption cell without raising the list's change signals
    // (the pages' handlers of those signals undo the operator's own clicks on the marks).
    void SetRowChecked(int row, bool checked);

    // Makes row 0 current and selected, when there is one.
    void SelectFirstRow();
    // The first selected row in list order, -1 when none is selected.
    int FirstSelectedRow() const;

protected:
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;

private:
    void KeepTopRowWhole();

    int updateDepth_ = 0;
};

} // namespace plat
