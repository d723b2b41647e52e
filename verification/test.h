// A form built with the program and destroyed with it; nothing shows, reads or writes it.
#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

class TTestForm : public QWidget {
public:
    explicit TTestForm(QWidget* owner = nullptr);

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
};

extern TTestForm* TestForm;
