#include "verification/frame_tools.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

TToolsFrame* ToolsFrame = nullptr;

TToolsFrame::TToolsFrame(QWidget* owner) : TBaseFrame(owner, KindTools) {
    Label1 = NewLabel("", 149, 91);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setGeometry(351, 91, 260, 63);
    // Tab moves on to the date field instead of typing into the description.
    Memo1->setTabChangesFocus(true);
    Label2 = NewLabel("", 149, 177);
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(351, 177, 260, 21);
    Label3 = NewLabel("", 149, 220);
    Edit2 = new QLineEdit(this);
    Edit2->setGeometry(351, 220, 260, 21);

    SetLabelText(CaptionLabel, "Использовавшиеся средства поверки");
    for (QLabel* label : {Label1, Label2, Label3})
        label->move(CaptionLabel->x(), label->y());
    SetLabelText(Label1, "Наименование, тип\nи заводской номер");
    SetLabelText(Label2, "Дата последней поверки");
    SetLabelText(Label3, "Номер свидетельства");
    Memo1->setPlainText(
        QString::fromUtf8("Генератор напряжения многофункциональный \"Ливат ГМ6.220\" зав.№01"));
    Edit1->clear();
    Edit2->clear();
    setTabOrder(Memo1, Edit1);
    setTabOrder(Edit1, Edit2);
}

void TToolsFrame::ShowFrame() {
    TBaseFrame::ShowFrame();
    Memo1->setFocus();
    Memo1->selectAll();
}

std::string TToolsFrame::GetStandardName() const {
    return Memo1->toPlainText().replace(QChar('\n'), QStringLiteral("\r\n")).toStdString();
}

std::string TToolsFrame::GetStandardDate() const {
    return Edit1->text().toStdString();
}

std::string TToolsFrame::GetCertificateNumber() const {
    return Edit2->text().toStdString();
}
