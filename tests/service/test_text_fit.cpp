// Every text of the service program is shown whole in both shipped language modules, measured
// with the fonts installed for the programs: the three pages with every value their lists can
// show, the log with every log line, and the diagnostics dialog in both of its forms.
#include "Fixture.h"

#include "support/TextFit.h"

#include "service/Diagnostika.h"
#include "service/main_language.h"

#include <QLabel>
#include <QScrollBar>
#include <QTextLayout>

#include <filesystem>

namespace {

class TextFitTest : public FormTest, public ::testing::WithParamInterface<const char*> {
protected:
    // The shipped module beside the test program, loaded into a service-mode form, so that
    // every control is visible.
    TNdForm& Shown() {
        const auto shipped = guitest::ArtefactDir() / GetParam();
        std::filesystem::copy_file(shipped, Modules() / GetParam());
        TNdForm& form = Create("/opt/livat/nd307 /zolvy");
        // Showing activates the form; the port stays closed and the controls idle.
        FirstActivationDone = true;
        form.LoadLanguage(GetParam());
        form.show();
        guitest::Pump(20);
        return form;
    }

    void ExpectWhole(const QWidget& window, const std::string& state) {
        const auto faults = guitest::ClippedTexts(window);
        EXPECT_TRUE(faults.empty()) << GetParam() << ", " << state << guitest::Described(faults);
    }
};

// The lines a word-wrapped label breaks its text into.
QStringList ShownLines(const QLabel& label) {
    QTextLayout layout(label.text(), label.font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(label.contentsRect().width());
        lines << label.text().mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    return lines;
}

} // namespace

// The log below the pages holds every log line meanwhile.
TEST_P(TextFitTest, PagesAndLogShowTheirTextsWhole) {
    TNdForm& form = Shown();
    for (int key = 11001; key <= 11025; ++key)
        form.AddLogLine(form.Text(key));
    EXPECT_EQ(guitest::ResolvedFamily(form.font()), "Liberation Sans");
    EXPECT_EQ(guitest::ResolvedFamily(form.ListView->font()), "Liberation Serif");
    for (int page = 0; page < 3; ++page) {
        form.PageControl->setCurrentIndex(page);
        guitest::Pump(10);
        ExpectWhole(form, "page " + std::to_string(page));
    }
    // The log scrolls by whole lines: the newest shows whole, none sits half under the header.
    const plat::TListView& log = *form.ListViewLog;
    const int last = log.Count() - 1;
    ASSERT_GT(log.verticalScrollBar()->maximum(), 0);
    EXPECT_LE(log.rowViewportPosition(last) + log.rowHeight(last), log.viewport()->height());
    EXPECT_EQ(log.rowViewportPosition(log.rowAt(0)), 0);
    // The panel's title wraps, never inside the model's name.
    for (const QString& line : ShownLines(*form.Label9))
        EXPECT_FALSE(line.startsWith(QStringLiteral("3.07"))) << GetParam();
}

// Row 2 of the parameter list shows the mode's name, row 11 the recording state, rows 9 and 10
// the recorder's clock; the value column must hold each of them.
TEST_P(TextFitTest, EveryParameterValueFits) {
    TNdForm& form = Shown();
    form.PageControl->setCurrentIndex(1);
    std::vector<std::string> values = {"65535", "00.00.2000", "00:00:00", form.Text(7017),
                                       form.Text(7018)};
    for (int key = 7001; key <= 7011; ++key)
        values.push_back(form.Text(key));
    for (const std::string& value : values) {
        form.ListViewPar->SetCell(2, 1, value);
        guitest::Pump(5);
        ExpectWhole(form, "parameter value " + value);
    }
    // The wider value column comes out of the others: the list keeps its designed width.
    int total = 0;
    for (int column = 0; column < 3; ++column)
        total += form.ListViewPar->columnWidth(column);
    EXPECT_EQ(total, 240 + 80 + 60);
}

TEST_P(TextFitTest, DiagnosticsDialogShowsItsTextsWhole) {
    Shown();
    TForm_dgn& dialog = Dialog();
    for (std::uint8_t low : {std::uint8_t{0x00}, std::uint8_t{0x0F}}) {
        DiagnosticValues values{};
        values.DiagHigh = 255;
        for (int bit = 0; bit < 5; ++bit)
            values.DiagFlags[static_cast<std::size_t>(bit)] =
                static_cast<std::uint8_t>((low >> (4 - bit)) & 1);
        dialog.Fill(values);
        dialog.show();
        guitest::Pump(10);
        ExpectWhole(dialog, "diagnostics " + std::to_string(low));
    }
}

std::string ModuleName(const ::testing::TestParamInfo<const char*>& module) {
    return std::string(module.param) == "nd307.lng" ? "Russian" : "English";
}

INSTANTIATE_TEST_SUITE_P(BothModules, TextFitTest, ::testing::Values("nd307.lng", "nd307_en.lng"),
                         ModuleName);
