// The byte view: the bytes of the last reply, one per line in hexadecimal. Opened only from a
// hidden button of the main form.
#pragma once

#include <QWidget>

class QPlainTextEdit;

class TForm1 : public QWidget {
public:
    explicit TForm1(QWidget* owner = nullptr);

    QPlainTextEdit* Memo1 = nullptr;
};

extern TForm1* Form1;
