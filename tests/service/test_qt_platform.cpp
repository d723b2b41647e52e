// The Qt side of the platform: message boxes, calls and messages from other threads reaching
// the event loop, the page control's guard and the report list.
#include "GuiTest.h"

#include "platform/MainThread.h"
#include "platform/Messages.h"
#include "platform/qt/Application.h"
#include "platform/qt/ListView.h"
#include "platform/qt/PageControl.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTabBar>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

// Runs only the toolkit's loop: whatever other threads queue must arrive through the wake hook.
bool LoopUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

TEST(QtMessageBox, ShowsTheIconAndButtonsTheFlagsAskFor) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    QString caption;
    QTimer::singleShot(0, qApp, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        icon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        caption = box->windowTitle();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(plat::QtMessageBox("Продолжить?", "Вопрос", plat::MB_YESNO | plat::MB_ICONQUESTION),
              plat::IDNO);
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_EQ(buttons, 2);
    EXPECT_EQ(caption, QString::fromUtf8("Вопрос"));

    QTimer::singleShot(0, qApp, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(plat::QtMessageBox("Can't open COM port", "COM port error",
                                 plat::MB_OK | plat::MB_ICONHAND),
              plat::IDOK);
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(QtWakeHook, CallsAndMessagesFromOtherThreadsArriveInOrderInTheGuiThread) {
    std::vector<int> seen;
    bool inGuiThread = true;
    const plat::HWND window =
        plat::RegisterWindow([&](plat::UINT msg, plat::WPARAM wParam, plat::LPARAM) {
            inGuiThread = inGuiThread && QThread::currentThread() == qApp->thread();
            if (msg == plat::WM_USER) seen.push_back(static_cast<int>(wParam));
        });
    std::atomic<bool> posted{false};
    std::thread worker([&] {
        for (int code = 1; code <= 50; ++code)
            plat::PostMessage(window, plat::WM_USER, static_cast<plat::WPARAM>(code), 0);
        plat::MainThread::Post([&] { posted = true; });
    });
    worker.join();
    ASSERT_TRUE(LoopUntil([&] { return posted.load(); }, 3000));
    plat::UnregisterWindow(window);
    ASSERT_EQ(seen.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(seen[static_cast<std::size_t>(i)], i + 1);
    EXPECT_TRUE(inGuiThread);

    // A synchronized call from a worker is served by the toolkit's loop alone.
    std::atomic<bool> ran{false};
    std::thread sync([&] { plat::MainThread::RunSync([&] { ran = true; }); });
    EXPECT_TRUE(LoopUntil([&] { return ran.load(); }, 3000));
    sync.join();
}

TEST(PageControl, RefusedChangesKeepThePageAndProgramChangesAreNotAsked) {
    plat::TPageControl pages;
    for (int i = 0; i < 3; ++i)
        pages.addTab(new QWidget, QString::number(i));
    bool allow = false;
    int asked = 0;
    pages.OnChanging = [&](bool& a) {
        ++asked;
        a = allow;
    };
    pages.SetActivePageIndex(1);
    EXPECT_EQ(asked, 0);
    pages.tabBar()->setCurrentIndex(2);
    EXPECT_EQ(pages.ActivePageIndex(), 1);
    EXPECT_EQ(pages.tabBar()->currentIndex(), 1);
    EXPECT_EQ(asked, 1);
    allow = true;
    pages.tabBar()->setCurrentIndex(0);
    EXPECT_EQ(pages.ActivePageIndex(), 0);
    // Hiding a tab keeps the indexes of the others.
    pages.SetTabVisible(1, false);
    pages.SetActivePageIndex(2);
    EXPECT_EQ(pages.currentWidget(), pages.widget(2));
    EXPECT_EQ(asked, 2);
}

TEST(ListView, RowsCellsAndUpdateBrackets) {
    plat::TListView list;
    list.AddColumn(100);
    list.AddColumn(50, false);
    list.SetColumnCaption(1, "Значение");
    EXPECT_EQ(list.ColumnCaption(1), "Значение");
    EXPECT_EQ(list.AddItem("Δf", {"0.5", "ignored: no third column"}), 0);
    EXPECT_EQ(list.Cell(0, 0), "Δf");
    EXPECT_EQ(list.Cell(0, 1), "0.5");
    list.SetCell(5, 1, "x"); // no such row
    list.SetCell(0, 7, "x"); // no such column
    EXPECT_EQ(list.Count(), 1);
    list.BeginUpdate();
    list.BeginUpdate();
    list.EndUpdate();
    EXPECT_FALSE(list.updatesEnabled());
    list.EndUpdate();
    EXPECT_TRUE(list.updatesEnabled());
    list.EndUpdate(); // unbalanced: no effect
    EXPECT_TRUE(list.updatesEnabled());
    list.ClearItems();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.columnCount(), 2);
}

} // namespace
