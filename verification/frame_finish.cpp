#include "verification/frame_finish.h"

#include <QLabel>

TFinishFrame* FinishFrame = nullptr;

TFinishFrame::TFinishFrame(QWidget* owner) : TBaseFrame(owner, KindFinish) {
    SetLabelText(CaptionLabel, "Поверка завершена");
}
