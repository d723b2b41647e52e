// Pages with tabs in the manner of the framework's page control: pages keep their index when a
// tab is hidden, and a change by the user is asked for first (OnChanging) and can be refused.
// Changes made by the program (SetActivePageIndex, hiding a tab) are not asked for.
#pragma once

#include <QTabWidget>

#include <functional>

namespace plat {

class TPageControl : public QTabWidget {
public:
    explicit TPageControl(QWidget* parent = nullptr);

    // Sets allow to false to keep the current page.
    std::function<void(bool& allow)> OnChanging;

    int ActivePageIndex() const { return currentIndex(); }
    void SetActivePageIndex(int index);
    void SetTabVisible(int index, bool visible);

private:
    void PageChanged(int index);

    int shown_ = -1;
    bool programChange_ = false;
};

} // namespace plat
