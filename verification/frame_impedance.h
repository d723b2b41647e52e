// The insulation resistance, typed in megaohms with either decimal separator.
#pragma once

#include "verification/base_frame.h"

class QLineEdit;

class TImpedanceFrame : public TBaseFrame {
public:
    explicit TImpedanceFrame(QWidget* owner = nullptr);

    QLabel* InfoLabel = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit = nullptr;
    QLabel* Label2 = nullptr;

    void ShowFrame() override;

    // The typed resistance in megaohms. Tries ',' as the decimal separator first, then '.', and
    // leaves the process-wide separator at the one that worked ('.' when neither did). Throws
    // plat::EConvertError when the text is no number, is negative or lies beyond the range of a
    // float.
    float GetResistance();
};

extern TImpedanceFrame* ImpedanceFrame;
