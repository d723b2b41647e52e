// The diagnostics dialog: the recorder's answer to a diagnostics request (memory card state and
// type, real-time clock state), and, when the recorder asks for it, the operator's consent to
// command value 11. Modeless: the main form stays usable while it is open.
#pragma once

#include "link/serial.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QPushButton;

class TForm_dgn : public QWidget {
public:
    explicit TForm_dgn(QWidget* owner = nullptr);

    QGroupBox* GroupBox1 = nullptr; // memory card
    QLabel* Label2 = nullptr;       // card status title
    QLabel* Label3 = nullptr;       // card status value
    QLabel* Label4 = nullptr;       // card type
    QGroupBox* GroupBox2 = nullptr; // clock
    QLabel* Label5 = nullptr;       // clock state
    QLabel* Label1 = nullptr;       // question, first line
    QLabel* Label6 = nullptr;       // question, second line
    QPushButton* BitBtn1 = nullptr; // Yes
    QPushButton* BitBtn2 = nullptr; // No
    QPushButton* BitBtn3 = nullptr; // Close

    // On a diagnostics reply: takes the values from the main form's link thread as one set,
    // shows the dialog (or keeps it open) and fills it.
    void FillAndShow();
    // Sets the texts and the question from one set of values; texts come from the main form's
    // language module.
    void Fill(const DiagnosticValues& values);

    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();

protected:
    void hideEvent(QHideEvent* e) override;
    // Esc closes the dialog as Close and No do: nothing is sent.
    void keyPressEvent(QKeyEvent* e) override;

private:
    void CreateControls();
};

extern TForm_dgn* Form_dgn;
