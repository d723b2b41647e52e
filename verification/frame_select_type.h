// The first page: primary or periodic verification.
#pragma once

#include "verification/base_frame.h"

class TSelTypeFrame : public TBaseFrame {
public:
    explicit TSelTypeFrame(QWidget* owner = nullptr);

    TRadioGroup* RadioGroup = nullptr;

    void ShowFrame() override;

    // 0 primary verification, 1 periodic verification.
    int GetVerificationType() const;
};

extern TSelTypeFrame* SelTypeFrame;
