// The dielectric strength test: the operator ticks whether the recorder withstood it. Skipped in
// periodic verification.
#pragma once

#include "verification/base_frame.h"

class QCheckBox;

class TIsolationFrame : public TBaseFrame {
public:
    explicit TIsolationFrame(QWidget* owner = nullptr);

    QLabel* InfoLabel = nullptr;
    QCheckBox* CheckBox1 = nullptr;

    void ShowFrame() override;

    bool GetPassed() const;
};

extern TIsolationFrame* IsolationFrame;
