// The service program's keyboard: Enter presses the focused button in the main form (Qt does so
// by itself only in dialogs), and the diagnostics dialog closes by Esc as by its Close button.
#include "Fixture.h"

#include "service/main_language.h"

#include <QPushButton>

TEST_F(FormTest, EnterPressesTheFocusedButtonAndEscClosesTheDiagnostics) {
    TNdForm& form = Create();
    FirstActivationDone = true;
    guitest::ShowActive(form);
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
