// The last page of every path through the wizard.
#pragma once

#include "verification/base_frame.h"

class TFinishFrame : public TBaseFrame {
public:
    explicit TFinishFrame(QWidget* owner = nullptr);
};

extern TFinishFrame* FinishFrame;
