// The page of the six steady test signals: each row shows a signal's set values and, once measured,
// set/measured/error values; a row with an error beyond its limit is drawn red.
#pragma once

#include "verification/list_frame.h"

class QPushButton;

class TSignalFrame : public TListFrame {
public:
    explicit TSignalFrame(QWidget* owner = nullptr);

    static constexpr int ShownHarmonicCount = 41; // K_U(0..40); the rest go to the protocol only
    static constexpr int ColumnCount = 3 + ShownHarmonicCount;
    static constexpr int ListHeight = 210;
    static constexpr unsigned clBlack = 0;
    static constexpr unsigned clRed = 255; // 0x00BBGGRR

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Button1 = nullptr; // "Показать"
    QPushButton* Button2 = nullptr; // "Пуск"

    void Button1Click();
    void Button2Click();
    // Draws every cell of the row in the colour held in its data word.
    void ListViewCustomDrawItem(int row);

    // After the result of Signals[i] was stored: result cells, check mark, colour, focus on "Пуск".
    void ShowResult(int i);
    void SetRowColor(int row, unsigned color);
    unsigned RowColor(int row) const;

protected:
    bool RowMeasured(int row) const override;

private:
    void BuildColumns();
    void AddRows();
};

extern TSignalFrame* SignalFrame;
