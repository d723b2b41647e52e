// The dips and swells page: set and result cells, the failed registration.
#include "WizardTest.h"

#include "verification/frame_up_dn.h"
#include "verification/signals.h"

#include <memory>

namespace {

// The page on its own, without a main form.
class UpDnPage : public WizardTest {
protected:
    UpDnPage() {
        EventSignals[0].setLevel = 1.2f;
        EventSignals[0].setVoltage = 264.0f;
        EventSignals[0].setDuration = 100.0f;
        EventSignals[4].setLevel = 30.0f;
        EventSignals[4].setVoltage = 154.0f;
        EventSignals[4].setDuration = 500.0f;
        page_ = std::make_unique<TUpDnFrame>(nullptr);
    }

    static void StoreResult(int i, float duration, float level) {
        EventSignalRecord& e = EventSignals[static_cast<std::size_t>(i)];
        e.measured = true;
        e.measDuration = duration;
        e.measLevel = level;
        e.errDuration = duration - e.setDuration;
        e.errLevel = level - e.setLevel;
    }

    std::string Cell(int row, int column) const { return page_->ListView->Cell(row, column); }

    std::unique_ptr<TUpDnFrame> page_;
};

// The set cells, the result beside them; a failed registration is told and changes no cell.
TEST_F(UpDnPage, SetAndResultCellsAndNothingRegistered) {
    ASSERT_EQ(page_->ListView->Count(), 8);
    EXPECT_EQ(Cell(0, 1), "1.200 (264.00 B)"); // Latin B
    EXPECT_EQ(Cell(0, 2), "100");
    EXPECT_EQ(Cell(4, 1), "30.000 (154.00 B)");
    page_->ListView->item(0, 0)->setCheckState(Qt::Checked); // the operator's click is undone
    EXPECT_FALSE(wizardtest::RowChecked(*page_->ListView, 0));

    StoreResult(0, 104.6f, 1.215f);
    page_->ShowResult(0);
    EXPECT_EQ(Cell(0, 1), "1.200 (264.00 B) /1.215/0.015");
    EXPECT_EQ(Cell(0, 2), "100/105/5");
    EXPECT_TRUE(wizardtest::RowChecked(*page_->ListView, 0));
    EXPECT_TRUE(Boxes().empty());

    StoreResult(0, 0.0f, 0.0f);
    EventSignals[0].measured = false; // as the result handler leaves an event not registered
    page_->ShowResult(0);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], "Поверка НД 3.07: Зарегистрировать провал/перенапряжение не удалось!");
    EXPECT_EQ(Cell(0, 1), "1.200 (264.00 B) /1.215/0.015"); // the cells stay as they were
    EXPECT_FALSE(wizardtest::RowChecked(*page_->ListView, 0));
}

} // namespace
