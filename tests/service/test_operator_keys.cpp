// The service program's keyboard: Enter presses the focused button in the main form (Qt does so
// by itself only in dialogs), and the diagnostics dialog closes by Esc as by its Close button.
#include "Fixture.h"

#include "service/main_language.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace {

void PressOn(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier,
                    key == Qt::Key_Escape ? QStringLiteral("\x1b") : QStringLiteral("\r"));
    QApplication::sendEvent(target, &press);
    guitest::Pump(5);
}

void Activate(QWidget& window) {
    window.show();
    window.activateWindow();
    guitest::PumpUntil([&] { return window.isActiveWindow(); }, 1000);
}

} // namespace

TEST_F(FormTest, EnterPressesTheFocusedButtonOfTheMainForm) {
    TNdForm& form = Create();
    FirstActivationDone = true;
    Activate(form);
    form.Button3->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), form.Button3);
    int clicks = 0;
    QObject::connect(form.Button3, &QPushButton::clicked, [&clicks] { ++clicks; });
    PressOn(form.Button3, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
}

TEST_F(FormTest, DiagnosticsDialogClosesByEscAndByEnterOnClose) {
    Create();
    TForm_dgn& dialog = Dialog();
    Activate(dialog);
    PressOn(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    Activate(dialog);
    dialog.BitBtn3->setFocus();
    PressOn(dialog.BitBtn3, Qt::Key_Enter);
    EXPECT_FALSE(dialog.isVisible());
}
