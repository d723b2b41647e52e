// The page of the eight events: four temporary overvoltages and four dips. The operator puts the
// recorder into its working mode, applies the event and has the registered event read; each row
// then shows set/measured/error values. The page judges nothing; the protocol does.
#pragma once

#include "verification/list_frame.h"

class QPushButton;

class TUpDnFrame : public TListFrame {
public:
    explicit TUpDnFrame(QWidget* owner = nullptr);

    static constexpr int ListHeight = 206;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* Button1 = nullptr; // "Работа"
    QPushButton* Button2 = nullptr; // "Считать", enabled only after a successful "Работа"

    void Button1Click();
    void Button2Click();

    // The recorder is in its working mode: "Считать" becomes available.
    void WorkModeStarted();
    // After the result of EventSignals[i] was stored; a duration of 0 means nothing registered.
    void ShowResult(int i);

protected:
    bool RowMeasured(int row) const override;

private:
    void BuildColumns();
    void AddRows();
};

extern TUpDnFrame* UpDnFrame;
