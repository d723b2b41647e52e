#include "verification/protocol_tables.h"

#include "verification/main_protocol.h"

#include "platform/Formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

const ResultTableTexts Texts = {"<CAPTION>", "<TH>err</TH>", "<TH>lim</TH>", "<TH>set</TH>",
                                "<TH>meas</TH>"};

bool Has(const ProtocolLines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

long Count(const ProtocolLines& lines, const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
}

std::string Verdict(bool pass) {
    return std::string("<BR>") + VerdictText + (pass ? PassText : FailText);
}

// A measured harmonic signal whose orders all pass, with order n set as given.
SignalRecord HarmonicSignal(int n, float set, float measuredV, float error) {
    SignalRecord r;
    r.measured = true;
    r.setHarmonic[n] = set;
    r.measHarmonicV[n] = measuredV;
    r.errHarmonic[n] = error;
    return r;
}

} // namespace

TEST(ProtocolTables, OnlyErrorsStrictlyBeyondTheLimitAreMarked) {
    ProtocolLines lines;
    const bool pass = AppendResultTable(
        lines, Texts, {{1, 1.f, 1.5f, 0.5f}, {3, 2.f, 1.4f, -0.6f}, {4, 0.f, 0.4f, 0.4f}}, 0.5f, 2);
    EXPECT_FALSE(pass);
    EXPECT_TRUE(Has(lines, "<TD>0.50</TD>")); // equal to the limit
    EXPECT_TRUE(Has(lines, "<TD><SPAN>-0.60</SPAN></TD>"));
    EXPECT_EQ(Count(lines, "<TD>&plusmn;0.50</TD>"), 3);
    EXPECT_TRUE(Has(lines, "<TD>3</TD>"));
    EXPECT_EQ(lines.back(), Verdict(false));
    // the row of number 3 and the verdict
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("<SPAN>") != l.npos; }),
              2);
}

TEST(ProtocolTables, VerdictOnlyForATableWithRows) {
    ProtocolLines empty;
    EXPECT_TRUE(AppendResultTable(empty, Texts, {}, 0.5f, 2));
    EXPECT_EQ(empty.size(), 3u + 7u + 4u + 1u); // start, header rows, end of table
    EXPECT_EQ(empty.back(), "</TABLE>");

    ProtocolLines lines;
    EXPECT_TRUE(AppendResultTable(lines, Texts, {{2, 0.f, 0.04f, 0.04f}}, 0.04f, 3));
    EXPECT_TRUE(Has(lines, "<TD>0.040</TD>"));
    EXPECT_EQ(lines.back(), Verdict(true));
}

TEST(ProtocolTables, HarmonicJudgedRelativeFromThreePercent) {
    // order 5 at exactly 3 %: relative limit 4 %, error 4.5 % fails; order 7 at 2.99 %: absolute
    // limit 0.12, error 0.12 passes
    SignalRecord r = HarmonicSignal(5, 3.0f, 6.9f, 4.5f);
    r.setHarmonic[7] = 2.99f;
    r.errHarmonic[7] = 0.12f;
    ProtocolLines lines;
    EXPECT_FALSE(AppendHarmonicTable(lines, {&r}, 0.12f, 4.0f));
    // 220 x 3 x 0.01 x 4.5 x 0.01 = 0.297 V
    EXPECT_TRUE(Has(lines, "<TD><SPAN>4.50</SPAN></TD>"));
    EXPECT_TRUE(Has(lines, "<TD><SPAN>0.30</SPAN></TD>"));
    EXPECT_TRUE(Has(lines, "<TD>&plusmn;0.26</TD>")); // 220 x 3 x 0.01 x 0.04
    EXPECT_TRUE(Has(lines, "<TD>3.14</TD>"));         // 6.9 V of 220 V
    EXPECT_TRUE(Has(lines, "<TD>0.12</TD>"));
    EXPECT_TRUE(Has(lines, "<TD>&plusmn;0.12/&plusmn;4.00</TD>"));
    EXPECT_TRUE(Has(lines, "<TD>&plusmn;0.26</TD>")); // 220 x 0.12 x 0.01 for 2.99 %
    EXPECT_TRUE(Has(lines, "<TD>0.26</TD>"));         // error 0.12 points in V
}

TEST(ProtocolTables, HarmonicPagesTwoSignalsEach) {
    ProtocolLines none;
    EXPECT_TRUE(AppendHarmonicTable(none, {}, 0.12f, 4.0f));
    EXPECT_TRUE(none.empty());

    const SignalRecord a = HarmonicSignal(0, 0, 0, 0);
    ProtocolLines one;
    EXPECT_TRUE(AppendHarmonicTable(one, {&a}, 0.12f, 4.0f));
    EXPECT_EQ(Count(one, "<TABLE CELLSPACING=0 CELLPADDING=0 BORDER=1>"), 1);
    EXPECT_TRUE(Has(one, "<TH COLSPAN=6 ALIGN=CENTER>Сигнал 2</TH>"));
    EXPECT_EQ(Count(one, "<TD>&nbsp;</TD>"), 8 * 51);
    EXPECT_EQ(Count(one, "<TR ALIGN=CENTER>"), 1 + 51);
    EXPECT_EQ(Count(one, "<TD ALIGN=CENTER>50</TD>"), 1);
    // each data row: order column and two blocks of eight
    const auto row = std::find(one.begin(), one.end(), "<TD ALIGN=CENTER>0</TD>");
    ASSERT_NE(row, one.end());
    EXPECT_EQ(*(row + 17), "</TR>");

    ProtocolLines three;
    EXPECT_TRUE(AppendHarmonicTable(three, {&a, &a, &a}, 0.12f, 4.0f));
    EXPECT_EQ(Count(three, "<BR>Продолжение таблицы 3"), 1);
    EXPECT_EQ(Count(three, "</TABLE>"), 2);
    EXPECT_TRUE(Has(three, "<TH COLSPAN=6 ALIGN=CENTER>Сигнал 4</TH>"));
    EXPECT_EQ(three[2].rfind("<CAPTION ALIGN=LEFT><B>Таблица 3.", 0), 0u);
}

class ProtocolResultTables : public ::testing::Test {
protected:
    ~ProtocolResultTables() override { plat::SetDecimalSeparator('.'); }
    std::array<SignalRecord, SignalCount> steady_{};
    std::array<EventSignalRecord, EventSignalCount> events_{};
    ProtocolLines lines_;
};

TEST_F(ProtocolResultTables, RowsKeepTheirNumbersAndAHarmonicFailsTheWhole) {
    for (int i : {1, 3, 5})
        steady_[i].measured = true;
    steady_[3].errHarmonic[2] = 0.2f; // set 0 %: absolute limit 0.15
    for (int i : {4, 6, 7})
        events_[i].measured = true;
    events_[6].errDuration = 10.5f;
    EXPECT_FALSE(AppendResultTables(lines_, steady_, events_, ProtocolLimits{}));
    for (const char* number :
         {"<TD>2</TD>", "<TD>4</TD>", "<TD>6</TD>", "<TD>5</TD>", "<TD>7</TD>", "<TD>8</TD>"})
        EXPECT_TRUE(Has(lines_, number)) << number;
    EXPECT_FALSE(Has(lines_, "<TD>1</TD>"));
    EXPECT_TRUE(Has(lines_, "<TD><SPAN>10.500</SPAN></TD>"));
    EXPECT_TRUE(Has(lines_, "<TD><SPAN>0.20</SPAN></TD>"));
    EXPECT_TRUE(Has(lines_, "<TH COLSPAN=6 ALIGN=CENTER>Сигнал 3</TH>"));
    // tables 1, 2 and 4 pass, 5 fails, 6 and 7 have no rows
    EXPECT_EQ(Count(lines_, Verdict(true)), 3);
    EXPECT_EQ(Count(lines_, Verdict(false)), 1);
}

TEST_F(ProtocolResultTables, NothingMeasuredPassesWithoutVerdictsInTheSeparatorInForce) {
    plat::SetDecimalSeparator(',');
    EXPECT_TRUE(AppendResultTables(lines_, steady_, events_, ProtocolLimits{}));
    EXPECT_EQ(Count(lines_, "</TABLE>"), 6);
    EXPECT_EQ(std::count_if(lines_.begin(), lines_.end(),
                            [](const std::string& l) { return l.find("Вывод") != l.npos; }),
              0);

    events_[0].measured = true;
    events_[0].setDuration = 9987.654f;
    ProtocolLines lines;
    AppendResultTables(lines, steady_, events_, ProtocolLimits{});
    EXPECT_TRUE(Has(lines, "<TD>9987,650</TD>"));
    EXPECT_TRUE(Has(lines, "<TD>&plusmn;0,022</TD>"));
}

// A whole protocol of a plausible primary verification, one harmonic and one dip duration beyond
// their limits, written beside the test program to be looked at in a browser.
TEST(ProtocolSample, WrittenBesideTheTestProgram) {
    std::array<SignalRecord, SignalCount> steady{};
    std::array<EventSignalRecord, EventSignalCount> events{};
    const float voltages[SignalCount] = {220.f, 198.f, 242.f, 220.f, 209.f, 231.f};
    const float frequencies[SignalCount] = {50.f, 49.6f, 50.4f, 50.f, 50.2f, 49.8f};
    for (int i = 0; i < SignalCount; ++i) {
        SignalRecord& r = steady[i];
        r.measured = i != 3;
        r.setDeviationU = (voltages[i] / 220.f - 1.f) * 100.f;
        r.measDeviationU = r.setDeviationU + 0.05f * static_cast<float>(i % 3 - 1);
        r.errDeviationU = r.measDeviationU - r.setDeviationU;
        r.setDeviationF = frequencies[i] - 50.f;
        r.measDeviationF = r.setDeviationF + 0.01f;
        r.errDeviationF = 0.01f;
        for (int n = 2; n < HarmonicCount; ++n) {
            r.setHarmonic[n] = n % 2 ? 6.f / static_cast<float>(n) * 5.f : 0.5f;
            const float v = r.setHarmonic[n] * 2.2f * 1.01f;
            r.measHarmonicV[n] = v;
            r.errHarmonic[n] = r.setHarmonic[n] >= 3.f ? 1.f : r.setHarmonic[n] * 0.01f;
        }
    }
    steady[4].errHarmonic[5] = -4.6f; // 6 % set, relative limit 4 %
    const float levels[EventSignalCount] = {1.1f, 1.2f, 1.3f, 1.4f, 10.f, 30.f, 60.f, 90.f};
    const float durations[EventSignalCount] = {100, 500, 1000, 5000, 20, 200, 2000, 9990};
    for (int i = 0; i < EventSignalCount; ++i) {
        EventSignalRecord& e = events[i];
        e.measured = i != 5;
        e.setLevel = levels[i];
        e.measLevel = levels[i] + (i < SwellCount ? 0.004f : 0.3f);
        e.errLevel = e.measLevel - e.setLevel;
        e.setDuration = durations[i];
        e.measDuration = durations[i] + (i == 6 ? 12.f : 2.f);
        e.errDuration = e.measDuration - e.setDuration;
    }
    ProtocolFields fields;
    fields.serialNumber = 1234;
    fields.firmwareVersion = 24;
    fields.tools = {"Генератор напряжения многофункциональный \"Ливат ГМ6.220\" зав.№01",
                    "15.03.2026", "С-ВЯ/15-03-2026/123456"};
    fields.temperature = 21;
    fields.pressure = 99;
    fields.humidity = 55;
    ProtocolLimits limits;
    limits.deviationU = 0.4f;
    limits.deviationF = 0.04f;
    limits.harmonicAbs = 0.12f;
    limits.harmonicRel = 4.0f;
    const ProtocolLines lines =
        BuildProtocolLines(fields, {"09.12.2026", "14-35"}, [&](ProtocolLines& out) {
            return AppendResultTables(out, steady, events, limits);
        });
    EXPECT_TRUE(Has(lines, "<SPAN>не соответствуют</SPAN>"));
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    SaveProtocolLines(lines, (exe.parent_path() / "protocol_sample.html").string());
}
