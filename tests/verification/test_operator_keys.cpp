// The operator cannot lose a verification by accident: the window manager's close asks as Cancel
// does, the averaging wait ends only by its button or its time; and the keyboard works as on the
// desktop the forms were made for: Enter presses the focused button, Tab leaves a memo, and the
// finish page gives the focus to "Готово".
#include "WizardTest.h"

#include "verification/frame_impedance.h"
#include "verification/frame_select_type.h"
#include "verification/frame_tools.h"
#include "verification/progress.h"

#include "platform/Formats.h"
#include "platform/Shell.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWindow>

namespace {

// A key pressed on the widget that has the focus, with the text the keyboard gives it (a text
// widget types that text; without it the key would pass on to the parent).
void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    const QString text = key == Qt::Key_Tab || key == Qt::Key_Backtab    ? QStringLiteral("\t")
                         : key == Qt::Key_Return || key == Qt::Key_Enter ? QStringLiteral("\r")
                                                                         : QString();
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    wizardtest::Pump(5);
}

class OperatorTest : public WizardTest {
protected:
    OperatorTest() {
        CreateWizard();
        form_->show();
        form_->activateWindow();
        wizardtest::PumpUntil([this] { return form_->isActiveWindow(); }, 1000);
        wizardtest::PumpUntil([this] { return SelTypeFrame->isVisible(); }, 1000);
    }
    TMainForm& f() { return *form_; }
    std::string Caption() const { return form_->windowTitle().toStdString(); }
};

} // namespace

TEST_F(OperatorTest, WindowManagerCloseAsksAndOnlyYesEnds) {
    f().NextButtonClick();
    answer_ = plat::IDNO;
    f().windowHandle()->close();
    wizardtest::Pump(10);
    EXPECT_EQ(Boxes(), Lines{"Подтвердите действие: Выйти из программы?"});
    EXPECT_TRUE(f().isVisible());
    EXPECT_EQ(f().FCurrent, 1);
    answer_ = plat::IDYES;
    f().windowHandle()->close();
    wizardtest::Pump(10);
    EXPECT_EQ(Boxes().size(), 2u);
    EXPECT_FALSE(f().isVisible());
}

TEST_F(OperatorTest, AveragingWaitIgnoresEscAndTheWindowManager) {
    TFormProgress::TickInterval = 1000;
    TFormProgress wait;
    wait.show();
    wait.activateWindow();
    wizardtest::PumpUntil([&] { return wait.isActiveWindow(); }, 1000);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&wait, &escape);
    wait.windowHandle()->close();
    wizardtest::Pump(10);
    EXPECT_TRUE(wait.isVisible());
    EXPECT_EQ(wait.result(), 0);
    // The abort button still ends it, and as an abort.
    wait.Button->setFocus();
    Press(Qt::Key_Return);
    EXPECT_FALSE(wait.isVisible());
    EXPECT_EQ(wait.result(), mrAbort);
}

// Enter and keypad Enter press the focused button; a held Enter presses it once.
TEST_F(OperatorTest, EnterPressesTheFocusedButton) {
    ASSERT_EQ(QApplication::focusWidget(), f().NextButton);
    Press(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(f().FCurrent, 1);
    f().NextButton->setFocus();
    QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(f().NextButton, &held);
    EXPECT_EQ(f().FCurrent, 1);
    Press(Qt::Key_Return);
    EXPECT_EQ(f().FCurrent, 2);
}

// After a failed insulation test the finish page comes at once: the focus is on "Готово", and
// Enter there writes the protocol and ends the wizard.
TEST_F(OperatorTest, FinishPageFocusesReadyAndEnterEnds) {
    std::vector<std::string> opened;
    const plat::ShellOpenHook previous = plat::SetShellOpenHook([&](const std::string& target) {
        opened.push_back(target);
        return true;
    });
    for (int i = 0; i < 3; ++i)
        f().NextButtonClick();
    ImpedanceFrame->Edit->setText("1");
    f().NextButtonClick();
    ASSERT_EQ(f().FCurrent, 9);
    EXPECT_EQ(QApplication::focusWidget(), f().ReadyButton);
    Press(Qt::Key_Return);
    EXPECT_FALSE(f().isVisible());
    EXPECT_EQ(opened.size(), 1u);
    plat::SetShellOpenHook(previous);
    plat::SetDateSeparator('.');
    plat::SetTimeSeparator(':');
}

// On the standards page Tab goes from the description on to the date and the certificate, and
// Shift+Tab back; nothing is typed into the description.
TEST_F(OperatorTest, TabMovesThroughTheStandardsPage) {
    SelTypeFrame->setVisible(false);
    f().FCurrent = 8;
    ToolsFrame->ShowFrame();
    wizardtest::Pump(5);
    const QString description = ToolsFrame->Memo1->toPlainText();
    ASSERT_EQ(QApplication::focusWidget(), ToolsFrame->Memo1);
    Press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ToolsFrame->Edit1);
    Press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ToolsFrame->Edit2);
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), ToolsFrame->Memo1);
    EXPECT_EQ(ToolsFrame->Memo1->toPlainText(), description);
}
