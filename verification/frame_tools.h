// The standards used for the verification, as free text for the protocol.
#pragma once

#include "verification/base_frame.h"

#include <string>

class QLineEdit;
class QPlainTextEdit;

class TToolsFrame : public TBaseFrame {
public:
    explicit TToolsFrame(QWidget* owner = nullptr);

    QLabel* Label1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr; // name, type and serial number
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr; // date of the last verification
    QLabel* Label3 = nullptr;
    QLineEdit* Edit2 = nullptr; // certificate number

    // Focuses Memo1 with its whole text selected, so typing replaces the default description.
    void ShowFrame() override;

    // UTF-8; the memo's lines joined with CR LF.
    std::string GetStandardName() const;
    std::string GetStandardDate() const;
    std::string GetCertificateNumber() const;
};

extern TToolsFrame* ToolsFrame;
