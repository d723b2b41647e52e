#include "platform/qt/PageControl.h"

namespace plat {

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent) {
    connect(this, &QTabWidget::currentChanged, this, [this](int index) { PageChanged(index); });
}

void TPageControl::SetActivePageIndex(int index) {
    programChange_ = true;
    setCurrentIndex(index);
    programChange_ = false;
    shown_ = currentIndex();
}

void TPageControl::SetTabVisible(int index, bool visible) {
    programChange_ = true;
    setTabVisible(index, visible);
    programChange_ = false;
    shown_ = currentIndex();
}

// Qt has no veto before a change, so a refused change is undone at once, before anything is
// painted.
void TPageControl::PageChanged(int index) {
    if (programChange_ || shown_ < 0 || index == shown_) {
        shown_ = index;
        return;
    }
    bool allow = true;
    if (OnChanging) OnChanging(allow);
    if (allow) {
        shown_ = index;
        return;
    }
    const int keep = shown_;
    programChange_ = true;
    setCurrentIndex(keep);
    programChange_ = false;
    shown_ = keep;
}

} // namespace plat
