#include "verification/protocol_tables.h"

#include "platform/Formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

const ResultTableTexts Texts = {"<CAPTION>", "<TH>err</TH>", "<TH>lim</TH>", "<TH>set</TH>",
                                "<TH>meas</TH>"};

long Count(const ProtocolLines& lines, const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
}

bool Has(const ProtocolLines& lines, const std::string& line) {
    return Count(lines, line) > 0;
}

long CountContaining(const ProtocolLines& lines, const std::string& part) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.find(part) != l.npos; });
}

std::string Verdict(bool pass) {
    return std::string("<BR>") + VerdictText + (pass ? PassText : FailText);
}

} // namespace

TEST(ProtocolTables, OnlyErrorsStrictlyBeyondTheLimitAreMarkedAndOnlyRowsGetAVerdict) {
    ProtocolLines lines;
    EXPECT_FALSE(
        AppendResultTable(lines, Texts, {{1, 1.f, 1.5f, 0.5f}, {3, 2.f, 1.4f, -0.6f}}, 0.5f, 2));
    EXPECT_TRUE(Has(lines, "<TD>0.50</TD>")); // equal to the limit
    EXPECT_TRUE(Has(lines, "<TD><SPAN>-0.60</SPAN></TD>"));
    EXPECT_EQ(Count(lines, "<TD>&plusmn;0.50</TD>"), 2);
    EXPECT_EQ(CountContaining(lines, "<SPAN>"), 2); // the row of number 3 and the verdict
    EXPECT_EQ(lines.back(), Verdict(false));

    ProtocolLines empty;
    EXPECT_TRUE(AppendResultTable(empty, Texts, {}, 0.5f, 2));
    EXPECT_EQ(empty.size(), 3u + 7u + 4u + 1u); // start, header rows, end of table
    EXPECT_EQ(empty.back(), "</TABLE>");
}

TEST(ProtocolTables, HarmonicJudgedRelativeFromThreePercent) {
    // order 5 at exactly 3 %: relative limit 5 %, error 5.5 % fails; order 7 at 2.99 %: absolute
    // limit 0.12, error 0.12 passes
    SignalRecord r;
    r.setHarmonic[5] = 3.0f;
    r.measHarmonicV[5] = 6.9f;
    r.errHarmonic[5] = 5.5f;
    r.setHarmonic[7] = 2.99f;
    r.errHarmonic[7] = 0.12f;
    ProtocolLines lines;
    EXPECT_FALSE(AppendHarmonicTable(lines, {&r}, 0.12f, 5.0f));
    EXPECT_TRUE(Has(lines, "<TD><SPAN>5.50</SPAN></TD>"));
    EXPECT_TRUE(Has(lines, "<TD><SPAN>0.36</SPAN></TD>")); // 220 x 3 x 0.01 x 5.5 x 0.01
    EXPECT_TRUE(Has(lines, "<TD>3.14</TD>"));              // 6.9 V of 220 V
    EXPECT_TRUE(Has(lines, "<TD>0.26</TD>"));              // error 0.12 points in V
    EXPECT_EQ(Count(lines, "<TD>&plusmn;0.12/&plusmn;5.00</TD>"), 51);
    // limit in V: 220 x 3 x 0.01 x 0.05 at 3 %, 220 x 0.12 x 0.01 below
    EXPECT_EQ(Count(lines, "<TD>&plusmn;0.33</TD>"), 1);
    EXPECT_EQ(Count(lines, "<TD>&plusmn;0.26</TD>"), 50);
}

TEST(ProtocolTables, HarmonicPagesTwoSignalsEach) {
    ProtocolLines none;
    EXPECT_TRUE(AppendHarmonicTable(none, {}, 0.12f, 4.0f));
    EXPECT_TRUE(none.empty());

    const SignalRecord a;
    ProtocolLines one;
    AppendHarmonicTable(one, {&a}, 0.12f, 4.0f);
    EXPECT_TRUE(Has(one, "<TH COLSPAN=6 ALIGN=CENTER>Сигнал 2</TH>"));
    EXPECT_EQ(Count(one, "<TD>&nbsp;</TD>"), 8 * 51);
    // each data row: order column and two blocks of eight
    const auto row = std::find(one.begin(), one.end(), "<TD ALIGN=CENTER>50</TD>");
    ASSERT_NE(row, one.end());
    EXPECT_EQ(*(row + 17), "</TR>");

    ProtocolLines three;
    AppendHarmonicTable(three, {&a, &a, &a}, 0.12f, 4.0f);
    EXPECT_EQ(three[2].rfind("<CAPTION ALIGN=LEFT><B>Таблица 3.", 0), 0u);
    EXPECT_EQ(Count(three, "<BR>Продолжение таблицы 3"), 1);
    EXPECT_EQ(Count(three, "</TABLE>"), 2);
    EXPECT_TRUE(Has(three, "<TH COLSPAN=6 ALIGN=CENTER>Сигнал 4</TH>"));
}

TEST(ProtocolTables, AllSevenKeepTheRecordNumbersAndAHarmonicFailsTheWhole) {
    std::array<SignalRecord, SignalCount> steady{};
    std::array<EventSignalRecord, EventSignalCount> events{};
    ProtocolLines lines;
    EXPECT_TRUE(AppendResultTables(lines, steady, events, ProtocolLimits{}));
    EXPECT_EQ(Count(lines, "</TABLE>"), 6);
    EXPECT_EQ(CountContaining(lines, "Вывод"), 0);

    for (int i : {1, 3, 5})
        steady[i].measured = true;
    steady[3].errHarmonic[2] = 0.2f; // set 0 %: absolute limit 0.15
    for (int i : {0, 4, 6, 7})
        events[i].measured = true;
    events[6].errDuration = 10.5f;
    events[0].setDuration = 9987.654f;
    plat::SetDecimalSeparator(','); // as the insulation page may leave it
    lines.clear();
    EXPECT_FALSE(AppendResultTables(lines, steady, events, ProtocolLimits{}));
    plat::SetDecimalSeparator('.');
    for (const char* number : {"<TD>2</TD>", "<TD>4</TD>", "<TD>6</TD>", "<TD>1</TD>", "<TD>5</TD>",
                               "<TD>7</TD>", "<TD>8</TD>"})
        EXPECT_TRUE(Has(lines, number)) << number;
    EXPECT_FALSE(Has(lines, "<TD>3</TD>"));
    EXPECT_TRUE(Has(lines, "<TH COLSPAN=6 ALIGN=CENTER>Сигнал 3</TH>"));
    EXPECT_TRUE(Has(lines, "<TD><SPAN>0,20</SPAN></TD>"));
    EXPECT_TRUE(Has(lines, "<TD><SPAN>10,500</SPAN></TD>"));
    EXPECT_TRUE(Has(lines, "<TD>9987,650</TD>"));
    EXPECT_TRUE(Has(lines, "<TD>&plusmn;0,022</TD>"));
    // tables 1, 2, 4, 6 and 7 pass, 5 fails
    EXPECT_EQ(Count(lines, Verdict(true)), 5);
    EXPECT_EQ(Count(lines, Verdict(false)), 1);
}
