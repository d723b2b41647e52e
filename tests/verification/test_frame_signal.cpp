// The signal test page: its list, the result cells and the red rows of errors beyond the limits.
#include "WizardTest.h"

#include "verification/frame_signal.h"
#include "verification/signals.h"

#include "platform/Formats.h"

#include <QImage>
#include <QPushButton>

#include <memory>

namespace {

// The page on its own, without a main form.
class SignalPage : public WizardTest {
protected:
    SignalPage() {
        SignalRecord& s = Signals[0];
        s.setVoltage = 230.0f;
        s.setFrequency = 50.5f;
        s.setDeviationU = 4.5454545f;
        s.setDeviationF = 0.5f;
        s.setHarmonic[1] = 100.0f;
        s.setHarmonic[2] = 2.5f;
        s.setHarmonic[3] = 3.0f;
        s.description = "\u03B4U = 4.55% (230.00 В)\n\u0394f = 0.50 Гц (50.50 Гц)\nline3\nline4";
        page_ = std::make_unique<TSignalFrame>(nullptr);
    }

    // A result within every limit for signal 0, as the result handler stores it.
    static SignalRecord& StoreGoodResult() {
        SignalRecord& s = Signals[0];
        s.measured = true;
        s.measDeviationU = 4.60f;
        s.errDeviationU = 0.05f;
        s.measDeviationF = 0.51f;
        s.errDeviationF = 0.01f;
        s.measHarmonicV[1] = 220.0f;
        s.measHarmonicV[2] = 5.5f;  // 2.5 %
        s.measHarmonicV[3] = 7.26f; // 3.3 %
        s.errHarmonic[3] = 1.0f;
        return s;
    }

    std::string Cell(int row, int column) const { return page_->ListView->Cell(row, column); }

    std::unique_ptr<TSignalFrame> page_;
};

// The set values in their formats, then the stored results beside them; only a stored result
// sets the check mark, whatever the operator clicks.
TEST_F(SignalPage, SetAndResultCellsRowColourAndCheckMark) {
    ASSERT_EQ(page_->ListView->columnCount(), 44);
    ASSERT_EQ(page_->ListView->Count(), 6);
    EXPECT_EQ(Cell(0, 1), "4.55");
    EXPECT_EQ(Cell(0, 2), "0.500");
    EXPECT_EQ(Cell(0, 5), "2.50");
    page_->ListView->item(0, 0)->setCheckState(Qt::Checked);
    EXPECT_FALSE(wizardtest::RowChecked(*page_->ListView, 0));

    ScaleSignalLimits(1);
    SignalRecord& s = StoreGoodResult();
    s.errDeviationF = LimitDeviationF; // exactly at the limit passes
    s.setHarmonic[45] = 1.0f;
    s.errHarmonic[45] = 1.0f; // beyond, but only the protocol shows order 45
    page_->ShowResult(0);
    EXPECT_EQ(Cell(0, 1), "4.55/4.60/0.05%");
    EXPECT_EQ(Cell(0, 2), "0.500/0.510/0.050");
    EXPECT_EQ(Cell(0, 5), "2.50/2.50/0.00"); // absolute error: no "%"
    EXPECT_EQ(Cell(0, 6), "3.00/3.30/1.00%");
    EXPECT_EQ(Cell(1, 1), "0.00"); // other rows untouched
    EXPECT_TRUE(wizardtest::RowChecked(*page_->ListView, 0));
    page_->ListView->item(0, 0)->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(wizardtest::RowChecked(*page_->ListView, 0));
    EXPECT_EQ(page_->RowColor(0), TSignalFrame::clBlack);

    ScaleSignalLimits(0); // primary: 0.04 Hz
    plat::SetDecimalSeparator(',');
    page_->ShowResult(0);
    EXPECT_EQ(page_->RowColor(0), TSignalFrame::clRed);
    EXPECT_EQ(Cell(0, 1), "4,55/4,60/0,05%");

    s.errDeviationF = 0.0f;
    s.errHarmonic[2] = -0.13f; // beyond 0.12 percentage points
    page_->ShowResult(0);
    EXPECT_EQ(page_->RowColor(0), TSignalFrame::clRed);
    s.errHarmonic[2] = 0.0f;
    page_->ShowResult(0); // a new result repaints the row
    EXPECT_EQ(page_->RowColor(0), TSignalFrame::clBlack);
}

TEST_F(SignalPage, ShowDescriptionOfFirstSelectedRow) {
    page_->ShowFrame();
    EXPECT_EQ(page_->SelectedRow(), 0);
    page_->Button1Click();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], "Поверка НД 3.07: " + Signals[0].description);

    page_->ListView->clearSelection();
    page_->Button1Click();
    page_->Button2Click();
    EXPECT_EQ(Boxes().size(), 1u); // nothing acts on a missing row
    page_->hide();
}

// A failing row must still read as failing while it is selected, with and without the focus.
TEST_F(SignalPage, SelectedFailingRowStaysRed) {
    StoreGoodResult();
    page_->ShowResult(0);
    SignalRecord& s = Signals[2];
    s.measured = true;
    s.setHarmonic[5] = 6.0f;
    s.errDeviationU = 0.7f;
    s.errHarmonic[5] = 8.0f;
    page_->ShowResult(2);
    page_->ShowFrame();
    wizardtest::SelectRow(*page_->ListView, 2);
    wizardtest::Pump(20);
    const QRect row = page_->ListView->visualRect(page_->ListView->model()->index(2, 1));
    const auto hasRed = [&] {
        const QImage image = page_->ListView->viewport()->grab(row).toImage();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 120 && c.green() < 60 && c.blue() < 60) return true;
            }
        return false;
    };
    EXPECT_TRUE(hasRed());
    page_->ListView->clearFocus();
    page_->Button1->setFocus();
    wizardtest::Pump(20);
    EXPECT_TRUE(hasRed());
    page_->hide();
}

} // namespace
