#include "verification/test.h"

#include <QLabel>
#include <QPlainTextEdit>

TTestForm* TestForm = nullptr;

TTestForm::TTestForm(QWidget* owner) : QWidget(owner) {
    setWindowTitle("Test");
    resize(1088, 695);
    Label1 = new QLabel("Label1", this);
    Label1->move(8, 8);
    Label2 = new QLabel("Label2", this);
    Label2->move(552, 8);
    Memo1 = new QPlainTextEdit("Memo1", this);
    Memo1->setGeometry(8, 32, 529, 649);
    Memo2 = new QPlainTextEdit("Memo2", this);
    Memo2->setGeometry(552, 32, 529, 649);
}
