// The signal test page: its list, the result cells and the red rows of errors beyond the limits.
#include "WizardTest.h"

#include "verification/frame_signal.h"
#include "verification/signals.h"

#include "platform/Formats.h"
#include "platform/MessageBox.h"

#include <QPushButton>

#include <memory>

namespace {

class SignalPage : public ::testing::Test {
protected:
    SignalPage() {
        wizardtest::EnsureApplication();
        plat::SetDecimalSeparator('.');
        ResetSignals();
        SignalRecord& s = Signals[0];
        s.setVoltage = 230.0f;
        s.setFrequency = 50.5f;
        s.setDeviationU = 4.5454545f;
        s.setDeviationF = 0.5f;
        s.setHarmonic[1] = 100.0f;
        s.setHarmonic[2] = 2.5f;
        s.setHarmonic[3] = 3.0f;
        s.description = "\u03B4U = 4.55% (230.00 В)\n\u0394f = 0.50 Гц (50.50 Гц)\nline3\nline4";
        previous_ = plat::SetMessageBoxHook(
            [this](const std::string& text, const std::string& caption, unsigned) {
                boxes_.push_back(caption + ": " + text);
                return plat::IDOK;
            });
        page_ = std::make_unique<TSignalFrame>(nullptr);
    }
    ~SignalPage() override {
        page_.reset();
        plat::SetMessageBoxHook(previous_);
        ResetSignals();
    }

    // A result within every limit for signal 0, as the result handler stores it.
    static void StoreGoodResult() {
        SignalRecord& s = Signals[0];
        s.measured = true;
        s.measDeviationU = 4.60f;
        s.errDeviationU = 0.05f;
        s.measDeviationF = 0.51f;
        s.errDeviationF = 0.01f;
        s.measHarmonicV[1] = 220.0f;
        s.measHarmonicV[2] = 5.5f; // 2.5 %
        s.errHarmonic[2] = 0.0f;
        s.measHarmonicV[3] = 7.26f; // 3.3 %
        s.errHarmonic[3] = 1.0f;
    }

    std::string Cell(int row, int column) const { return page_->ListView->Cell(row, column); }

    std::unique_ptr<TSignalFrame> page_;
    std::vector<std::string> boxes_;
    plat::MessageBoxHook previous_;
};

TEST_F(SignalPage, ColumnsAndSetValues) {
    plat::TListView& list = *page_->ListView;
    ASSERT_EQ(list.columnCount(), 44);
    EXPECT_EQ(list.ColumnCaption(0), "№ сигнала");
    EXPECT_EQ(list.ColumnCaption(1), "\u03B4U, %");
    EXPECT_EQ(list.ColumnCaption(2), "\u0394f, Гц");
    EXPECT_EQ(list.ColumnCaption(3), "Ku(0), %");
    EXPECT_EQ(list.ColumnCaption(43), "Ku(40), %");
    EXPECT_EQ(list.columnWidth(0), 50);
    EXPECT_EQ(list.columnWidth(1), 139);
    EXPECT_EQ(list.columnWidth(2), 139);
    EXPECT_EQ(list.columnWidth(43), 125);
    ASSERT_EQ(list.Count(), 6);
    EXPECT_EQ(Cell(0, 0), "1");
    EXPECT_EQ(Cell(5, 0), "6");
    EXPECT_EQ(Cell(0, 1), "4.55");
    EXPECT_EQ(Cell(0, 2), "0.500");
    EXPECT_EQ(Cell(0, 4), "100.00");
    EXPECT_EQ(Cell(0, 5), "2.50");
    EXPECT_EQ(Cell(1, 1), "0.00");
    EXPECT_FALSE(page_->RowChecked(0));
    EXPECT_EQ(page_->Button1->text().toStdString(), "Показать");
    EXPECT_EQ(page_->Button2->text().toStdString(), "Пуск");
    EXPECT_EQ(page_->Button2->x(), page_->width() - 80 - 10);
}

TEST_F(SignalPage, ResultCellsAndBlackRow) {
    StoreGoodResult();
    page_->ShowResult(0);
    EXPECT_EQ(Cell(0, 1), "4.55/4.60/0.05%");
    EXPECT_EQ(Cell(0, 2), "0.500/0.510/0.010");
    EXPECT_EQ(Cell(0, 4), "100.00/100.00/0.00%");
    EXPECT_EQ(Cell(0, 5), "2.50/2.50/0.00"); // absolute error: no "%"
    EXPECT_EQ(Cell(0, 6), "3.00/3.30/1.00%");
    EXPECT_EQ(Cell(0, 3), "0.00/0.00/0.00");
    EXPECT_TRUE(page_->RowChecked(0));
    EXPECT_EQ(page_->RowColor(0), TSignalFrame::clBlack);
    EXPECT_EQ(Cell(1, 1), "0.00"); // other rows untouched
}

TEST_F(SignalPage, RowTurnsRedOnlyBeyondShownLimits) {
    ScaleSignalLimits(1);
    StoreGoodResult();
    SignalRecord& s = Signals[0];
    s.errDeviationF = LimitDeviationF; // exactly at the limit passes
    s.setHarmonic[45] = 1.0f;
    s.errHarmonic[45] = 1.0f; // beyond, but only the protocol shows order 45
    page_->ShowResult(0);
    EXPECT_EQ(page_->RowColor(0), TSignalFrame::clBlack);

    ScaleSignalLimits(0); // primary: 0.04 Hz
    page_->ShowResult(0);
    EXPECT_EQ(page_->RowColor(0), TSignalFrame::clRed);

    s.errDeviationF = 0.0f;
    s.errHarmonic[2] = -0.13f; // beyond 0.12 percentage points
    page_->ShowResult(0);
    EXPECT_EQ(page_->RowColor(0), TSignalFrame::clRed);
    s.errHarmonic[2] = 0.0f;
    page_->ShowResult(0); // a new result repaints the row
    EXPECT_EQ(page_->RowColor(0), TSignalFrame::clBlack);
}

TEST_F(SignalPage, ResultUsesSeparatorInForce) {
    StoreGoodResult();
    plat::SetDecimalSeparator(',');
    page_->ShowResult(0);
    plat::SetDecimalSeparator('.');
    EXPECT_EQ(Cell(0, 1), "4,55/4,60/0,05%");
}

TEST_F(SignalPage, CheckMarkFollowsStoredResult) {
    QTableWidgetItem* item = page_->ListView->item(1, 0);
    item->setCheckState(Qt::Checked); // the operator's click
    EXPECT_FALSE(page_->RowChecked(1));
    Signals[1].measured = true;
    page_->ShowResult(1);
    item->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(page_->RowChecked(1));
}

TEST_F(SignalPage, ShowDescriptionOfFirstSelectedRow) {
    page_->ShowFrame();
    EXPECT_EQ(page_->SelectedRow(), 0);
    page_->Button1Click();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "Поверка НД 3.07: " + Signals[0].description);

    page_->ListView->clearSelection();
    EXPECT_EQ(page_->SelectedRow(), -1);
    page_->Button1Click();
    page_->Button2Click();
    EXPECT_EQ(boxes_.size(), 1u); // nothing acts on a missing row
    page_->hide();
}

TEST_F(SignalPage, Screenshot) {
    StoreGoodResult();
    page_->ShowResult(0);
    Signals[2].setHarmonic[5] = 6.0f;
    Signals[2].measured = true;
    Signals[2].errDeviationU = 0.7f;
    Signals[2].errHarmonic[5] = 8.0f;
    page_->ShowResult(2);
    page_->ShowFrame();
    wizardtest::Pump(20);
    const auto path = wizardtest::SaveScreenshot(*page_, "vrf307_signal_page.png");
    EXPECT_TRUE(std::filesystem::exists(path));
    page_->hide();
}

} // namespace
