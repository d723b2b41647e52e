// The external inspection: the operator confirms the listed points before going on.
#pragma once

#include "verification/base_frame.h"

class QPlainTextEdit;

class TMagnifyFrame : public TBaseFrame {
public:
    explicit TMagnifyFrame(QWidget* owner = nullptr);

    QPlainTextEdit* Memo = nullptr;
    TRadioGroup* RadioGroup = nullptr;

    void ShowFrame() override;

    // The answer yes enables the main form's Next button, the answer no disables it.
    void RadioGroupClick(QObject* sender);
};

extern TMagnifyFrame* MagnifyFrame;
