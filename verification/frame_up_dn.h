// The page of the eight events: four temporary overvoltages and four dips. The operator puts the
// recorder into its working mode, applies the event and has the registered event read; each row
// then shows set/measured/error values. The page judges nothing; the protocol does.
#pragma once

#include "verification/base_frame.h"

#include "platform/qt/ListView.h"

class QPushButton;
class QTableWidgetItem;

class TUpDnFrame : public TBaseFrame {
public:
    explicit TUpDnFrame(QWidget* owner = nullptr);

    static constexpr int ListHeight = 206;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* Button1 = nullptr; // "Работа"
    QPushButton* Button2 = nullptr; // "Считать", enabled only after a successful "Работа"
    plat::TListView* ListView = nullptr;

    // Shows the page, selects row 1 and focuses the list.
    void ShowFrame() override;

    void Button1Click();
    void Button2Click();
    // A row's check mark always shows whether its event has a usable stored result.
    void ListViewChange(QTableWidgetItem* item);

    // The recorder is in its working mode: "Считать" becomes available.
    void WorkModeStarted();
    // After the result of EventSignals[i] was stored; a duration of 0 means nothing registered.
    void ShowResult(int i);

    bool RowChecked(int row) const;
    // The first selected row in list order, -1 when none is selected.
    int SelectedRow() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildColumns();
    void AddRows();
};

extern TUpDnFrame* UpDnFrame;
