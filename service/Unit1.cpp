#include "service/Unit1.h"

#include <QPlainTextEdit>

TForm1* Form1 = nullptr;

TForm1::TForm1(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName("Form1");
    setProperty("livatForm", true);
    resize(234, 668);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setGeometry(16, 16, 185, 641);
    Memo1->setTabChangesFocus(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}
