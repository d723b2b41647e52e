// The About box, opened from the main form's Info button.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
public:
    explicit TAboutBox(QWidget* owner = nullptr);

    QFrame* Panel1 = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* Comments = nullptr; // the maker's web address, opened on click
    QPushButton* OKButton = nullptr;

    // Opens the address in Comments with the shell; a failure is ignored.
    void CommentsClick(QObject* sender);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
