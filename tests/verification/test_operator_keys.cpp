// The operator cannot lose a verification by accident: the window manager's close asks as Cancel
// does, the averaging wait ends only by its button or its time; and the keyboard works as on the
// desktop the forms were made for: Enter presses the focused button and a held one presses once,
// Tab leaves a memo and a list, and the finish page gives the focus to "Готово".
#include "WizardTest.h"

#include "verification/frame_impedance.h"
#include "verification/frame_isolation.h"
#include "verification/frame_select_type.h"
#include "verification/frame_signal.h"
#include "verification/frame_up_dn.h"
#include "verification/frame_tools.h"
#include "verification/progress.h"

#include "platform/Formats.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>

namespace {

// A key pressed on the widget that has the focus.
void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    guitest::Press(QApplication::focusWidget(), key, modifiers);
}

// What the operator enters on the pages: texts, marks and choices.
std::string Fields(const QWidget& form) {
    QStringList fields;
    for (const QWidget* w : form.findChildren<QWidget*>()) {
        if (const auto* memo = qobject_cast<const QPlainTextEdit*>(w))
            fields << memo->toPlainText();
        if (const auto* edit = qobject_cast<const QLineEdit*>(w)) fields << edit->text();
        if (const auto* mark = qobject_cast<const QAbstractButton*>(w))
            fields << QString::number(mark->isChecked());
        if (const auto* box = qobject_cast<const QComboBox*>(w))
            fields << QString::number(box->currentIndex());
        if (const auto* list = qobject_cast<const QTableWidget*>(w))
            for (int row = 0; row < list->rowCount(); ++row)
                fields << QString::number(wizardtest::RowChecked(*list, row));
    }
    return fields.join(QLatin1Char('|')).toStdString();
}

class OperatorTest : public WizardTest {
protected:
    OperatorTest() {
        CreateWizard();
        guitest::ShowActive(*form_);
        wizardtest::PumpUntil([this] { return SelTypeFrame->isVisible(); }, 1000);
    }
    TMainForm& f() { return *form_; }
};

} // namespace

// Cancel and the window manager's close ask alike; only Yes ends, and asks no second time.
TEST_F(OperatorTest, CancelAndWindowManagerCloseAskAndOnlyYesEnds) {
    f().NextButtonClick();
    answer_ = plat::IDNO;
    f().CancelButtonClick();
    f().windowHandle()->close();
    wizardtest::Pump(10);
    EXPECT_EQ(Boxes(), Lines(2, "Подтвердите действие: Выйти из программы?"));
    EXPECT_TRUE(f().isVisible());
    EXPECT_EQ(f().FCurrent, 1);
    EXPECT_EQ(f().windowTitle().toStdString(), WizardTitle + " - Шаг 1");
    answer_ = plat::IDYES;
    f().windowHandle()->close();
    wizardtest::Pump(10);
    EXPECT_FALSE(f().isVisible());
    f().show();
    f().CancelButtonClick();
    wizardtest::Pump(10);
    EXPECT_EQ(Boxes().size(), 4u);
    EXPECT_FALSE(f().isVisible());
}

TEST_F(OperatorTest, AveragingWaitIgnoresEscAndTheWindowManager) {
    TFormProgress::TickInterval = 1000;
    TFormProgress wait;
    guitest::ShowActive(wait);
    guitest::Press(&wait, Qt::Key_Escape);
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

// Enter and keypad Enter press the focused button, which carries the default button's mark; a
// held Enter presses once: its repeats answer no question that the press opened. Space presses
// at its release, but a question can come up while it is held (a reply's box does): its repeats
// and its release answer none either.
TEST_F(OperatorTest, EnterPressesTheFocusedButtonAndAHeldOneOnlyOnce) {
    ASSERT_EQ(QApplication::focusWidget(), f().NextButton);
    EXPECT_TRUE(f().NextButton->isDefault());
    Press(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(f().FCurrent, 1);
    f().NextButton->setFocus();
    guitest::Hold(Qt::Key_Return, 5);
    EXPECT_EQ(f().FCurrent, 2);

    plat::SetMessageBoxHook(plat::QtMessageBox);
    for (const int key : {int{Qt::Key_Return}, int{Qt::Key_Space}}) {
        guitest::ShowActive(f());
        f().CancelButton->setFocus();
        EXPECT_TRUE(f().CancelButton->isDefault());
        EXPECT_FALSE(f().NextButton->isDefault());
        if (key == Qt::Key_Space)
            QTimer::singleShot(100, &f(), [this] { f().CancelButtonClick(); });
        bool asked = false;
        guitest::Hold(key, 30, [&asked] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            asked = true;
            auto* yes = qobject_cast<QPushButton*>(box->button(QMessageBox::Yes));
            EXPECT_EQ(QApplication::focusWidget(), yes);
            EXPECT_TRUE(yes && yes->isDefault());
            box->button(QMessageBox::No)->click();
        });
        EXPECT_TRUE(asked) << key;
        EXPECT_TRUE(f().isVisible());
        EXPECT_EQ(f().FCurrent, 2);
    }
}

// A key held on "Дальше" moves one page, and the rest of the hold leaves the page it opened as it
// came: no field typed into, no mark set, no choice changed (the standards page keeps its default
// description, which would otherwise go into the protocol as empty lines). The focus is where the
// page puts it, even where "Дальше" was disabled under it.
TEST_F(OperatorTest, AKeyHeldOnNextMovesOnePageAndLeavesItsFields) {
    for (const int key : {int{Qt::Key_Return}, int{Qt::Key_Enter}, int{Qt::Key_Space}}) {
        CreateWizard();
        guitest::ShowActive(*form_);
        while (f().FCurrent < 9) {
            const int page = f().FCurrent;
            if (ImpedanceFrame->isVisible()) ImpedanceFrame->Edit->setText("5");
            if (IsolationFrame->isVisible()) IsolationFrame->CheckBox1->setChecked(true);
            f().EnableNext();
            f().NextButton->setFocus();
            const std::string fields = Fields(f());
            guitest::Hold(key, 3);
            ASSERT_EQ(f().FCurrent, page + 1) << key;
            EXPECT_EQ(Fields(f()), fields) << key << " on page " << page;
            EXPECT_NE(QApplication::focusWidget(), form_.get()) << key << " on page " << page;
        }
        EXPECT_TRUE(f().isVisible());
        EXPECT_TRUE(opened_.empty());
    }
}

// Tab leaves a list for the next control and Shift+Tab for the one before, with the operator's
// row still selected: the next "Пуск" or "Считать" measures the row chosen.
TEST_F(OperatorTest, TabLeavesTheListsWithTheChosenRow) {
    SelTypeFrame->setVisible(false);
    for (TListFrame* page : std::initializer_list<TListFrame*>{SignalFrame, UpDnFrame}) {
        page->ShowFrame();
        wizardtest::Pump(5);
        wizardtest::SelectRow(*page->ListView, 2);
        guitest::ExpectTabLeavesList(*page->ListView);
        EXPECT_EQ(page->SelectedRow(), 2);
        page->setVisible(false);
    }
}

// After a failed insulation test the finish page comes at once: the focus is on "Готово", and
// Enter there writes the protocol and ends the wizard.
TEST_F(OperatorTest, FinishPageFocusesReadyAndEnterEnds) {
    for (int i = 0; i < 3; ++i)
        f().NextButtonClick();
    ImpedanceFrame->Edit->setText("1");
    f().NextButtonClick();
    ASSERT_EQ(f().FCurrent, 9);
    EXPECT_EQ(QApplication::focusWidget(), f().ReadyButton);
    Press(Qt::Key_Return);
    EXPECT_FALSE(f().isVisible());
    EXPECT_EQ(opened_.size(), 1u);
}

// The standards page comes with its default description selected; Tab goes from it on to the
// date and the certificate, and Shift+Tab back; nothing is typed into the description until the
// operator types there.
TEST_F(OperatorTest, TabMovesThroughTheStandardsPage) {
    SelTypeFrame->setVisible(false);
    f().FCurrent = 8;
    ToolsFrame->ShowFrame();
    wizardtest::Pump(5);
    const QString description = ToolsFrame->Memo1->toPlainText();
    ASSERT_EQ(QApplication::focusWidget(), ToolsFrame->Memo1);
    EXPECT_EQ(ToolsFrame->Memo1->textCursor().selectedText(), description);
    Press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ToolsFrame->Edit1);
    Press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ToolsFrame->Edit2);
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), ToolsFrame->Memo1);
    EXPECT_EQ(ToolsFrame->Memo1->toPlainText(), description);
    // A held Enter goes on typing in a memo: one line for the press and one for each repeat.
    ToolsFrame->Memo1->moveCursor(QTextCursor::End);
    guitest::Hold(Qt::Key_Return, 3);
    EXPECT_EQ(ToolsFrame->Memo1->toPlainText(), description + QString(4, QLatin1Char('\n')));
}
