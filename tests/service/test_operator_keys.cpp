// The service program's keyboard: Enter presses the focused button in the main form (Qt does so
// by itself only in dialogs), a button disabled while its request runs gets the focus back, the
// diagnostics dialog closes by Esc as by its Close button, and Tab passes through the lists
// without moving their rows.
#include "Fixture.h"

#include "service/main_language.h"

#include <QPushButton>

#include <filesystem>

TEST_F(FormTest, EnterPressesTheFocusedButtonAndEscClosesTheDiagnostics) {
    std::filesystem::copy_file(guitest::ArtefactDir() / "nd307.lng", Modules() / "nd307.lng");
    TNdForm& form = Create();
    FirstActivationDone = true;
    guitest::ShowActive(form);
    // While a request has its button disabled the focus waits on the form, and returns to the
    // button after; Tab still leads into the controls meanwhile, and the focus stays where it led.
    form.BitBtn1->setFocus();
    form.BitBtn1->setEnabled(false);
    EXPECT_EQ(QApplication::focusWidget(), &form);
    form.BitBtn1->setEnabled(true);
    EXPECT_EQ(QApplication::focusWidget(), form.BitBtn1);
    form.BitBtn1->setEnabled(false);
    guitest::Press(&form, Qt::Key_Tab);
    QWidget* const chosen = QApplication::focusWidget();
    EXPECT_NE(chosen, &form);
    form.BitBtn1->setEnabled(true);
    EXPECT_EQ(QApplication::focusWidget(), chosen);

    form.Button3->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), form.Button3);
    int clicks = 0;
    QObject::connect(form.Button3, &QPushButton::clicked, [&clicks] { ++clicks; });
    guitest::Press(form.Button3, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);

    TForm_dgn& dialog = Dialog();
    guitest::ShowActive(dialog);
    guitest::Press(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    guitest::ShowActive(dialog);
    dialog.BitBtn3->setFocus();
    guitest::Press(dialog.BitBtn3, Qt::Key_Enter);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(FormTest, TabLeavesEveryListWithItsRow) {
    std::filesystem::copy_file(guitest::ArtefactDir() / "nd307.lng", Modules() / "nd307.lng");
    TNdForm& form = Create("/opt/livat/nd307 /zolvy");
    FirstActivationDone = true;
    form.LoadLanguage("nd307.lng");
    for (int line = 0; line < 4; ++line)
        form.AddLogLine("line " + std::to_string(line));
    guitest::ShowActive(form);
    for (int page : {0, 1}) {
        form.PageControl->setCurrentIndex(page);
        plat::TListView* const lists[] = {page == 0 ? form.ListView : form.ListViewPar,
                                          form.ListViewLog};
        for (plat::TListView* list : lists) {
            ASSERT_TRUE(list->isVisible());
            list->selectRow(2);
            guitest::ExpectTabLeavesList(*list);
            EXPECT_EQ(list->FirstSelectedRow(), 2);
        }
    }
}
