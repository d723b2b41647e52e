// The protocol as a document and as a file, and as the main form writes it on "Готово".
#include "WizardTest.h"

#include "platform/Cp1251.h"
#include "platform/Formats.h"
#include "verification/main_protocol.h"
#include "verification/signals.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

bool Has(const ProtocolLines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const ProtocolStamp Stamp = {"09.12.2026", "14-35"};

// Stands in for the tables with the verdict asked for.
ProtocolTablesWriter FakeTables(bool verdict, int& calls) {
    return [verdict, &calls](ProtocolLines& lines) {
        ++calls;
        lines.push_back("<!-- tables -->");
        return verdict;
    };
}

using Protocol = WizardTest;

} // namespace

TEST_F(Protocol, StampAndFileName) {
    EXPECT_EQ(CutProtocolTime("2-05-09 PM"), "2-05");
    EXPECT_EQ(CutProtocolTime("143520"), "");
    plat::SetDateSeparator('/');
    const ProtocolStamp stamp =
        MakeProtocolStamp(plat::EncodeDate(2026, 12, 9) + plat::EncodeTime(14, 35, 20, 0));
    EXPECT_EQ(stamp.date, "09.12.2026");
    EXPECT_EQ(stamp.time, "14-35");
    // left so for the rest of the run
    EXPECT_EQ(plat::GetDateSeparator(), '.');
    EXPECT_EQ(plat::GetTimeSeparator(), '-');
    EXPECT_EQ(ProtocolFileName(ProtocolTitle(false), stamp),
              "Протокол первичной поверки НД3.07 от 09.12.2026 14-35.html");
    EXPECT_EQ(ProtocolFileName(ProtocolTitle(true), {"09.12.2026", ""}),
              "Протокол поверки НД3.07 от 09.12.2026 .html");
}

TEST_F(Protocol, DocumentOfAPassingAndOfAFailingVerification) {
    ProtocolFields f;
    f.serialNumber = 65535;
    f.tools = {"Генератор <b> & \"Ливат\"\r\nвторая строка", "01.02.2026", "С-17 Ω"};
    f.temperature = -5;
    int calls = 0;
    ProtocolLines lines = BuildProtocolLines(f, Stamp, FakeTables(true, calls));
    EXPECT_EQ(lines[1], "<HTML><HEAD><TITLE>Протокол первичной поверки НД3.07 от 09.12.2026 "
                        "14-35</TITLE>");
    EXPECT_TRUE(Has(lines, "<H1>ПРОТОКОЛ ПЕРВИЧНОЙ ПОВЕРКИ</H1>"));
    // Typed texts as typed: no markup of their own, nothing lost to the code page.
    EXPECT_TRUE(Has(lines, "<TD>Генератор &lt;b&gt; &amp; \"Ливат\"\r\nвторая строка<BR>"
                           "01.02.2026<BR>С-17 &#937;<BR></TD>"));
    EXPECT_TRUE(Has(lines, "Условия поверки: T - -5&deg;C;"));
    EXPECT_TRUE(Has(lines, "качества электрической энергии \"Ливат\" НД3.07 зав.№65535&nbsp;"));
    EXPECT_TRUE(Has(lines, "соответствуют"));
    EXPECT_EQ(lines.back(), "</HTML>");

    f.periodic = true;
    lines = BuildProtocolLines(f, Stamp, FakeTables(false, calls));
    EXPECT_TRUE(Has(lines, std::string("<BR>2. Проверка сопротивления изоляции: ") + PassText));
    EXPECT_TRUE(Has(lines, "<SPAN>не соответствуют</SPAN>"));
    EXPECT_EQ(calls, 2);

    for (int code : {4, 5}) {
        ProtocolFields failed;
        failed.failureCode = code;
        lines = BuildProtocolLines(failed, Stamp, FakeTables(true, calls));
        const auto item2 = std::find(lines.begin(), lines.end(),
                                     std::string("<BR>2. Проверка сопротивления и электрической "
                                                 "прочности изоляции: ") +
                                         FailText);
        ASSERT_NE(item2, lines.end());
        EXPECT_EQ(*(item2 + 1), "<BR><BR><P><B>");
        EXPECT_TRUE(Has(lines, "<SPAN>не соответствуют</SPAN>"));
    }
    EXPECT_EQ(calls, 2);
}

TEST_F(Protocol, CodePage1251WithCrLfAfterEveryLineNeverReplacingAFile) {
    const fs::path dir = fs::current_path();
    const std::string first = (dir / "p.html").string();
    const std::string bytes = "\xCF\xF0\xEE\xF2\xEE\xEA\xEE\xEB \xB9\x31\r\n\r\na\r\nb\r\n";
    EXPECT_EQ(SaveProtocolLines({"Протокол №1", "", "a\r\nb"}, first), first);
    EXPECT_EQ(ReadBytes(first), bytes);
    // Its name taken, as by an earlier protocol of the same minute: a numbered file beside it.
    EXPECT_EQ(SaveProtocolLines({"2"}, first), (dir / "p (2).html").string());
    EXPECT_EQ(SaveProtocolLines({"3"}, first), (dir / "p (3).html").string());
    EXPECT_EQ(ReadBytes(first), bytes);
    EXPECT_EQ(ReadBytes(dir / "p (2).html"), "2\r\n");
    // A folder of the name is no protocol to write beside.
    EXPECT_THROW(SaveProtocolLines({"x"}, dir.string()), EFCreateError);
}

TEST_F(Protocol, PlainFileNamedProtocolsPutsTheFileInTheCurrentDirectory) {
    std::ofstream("Protocols") << "not a folder";
    int calls = 0;
    const plat::TDateTime when = plat::EncodeDate(2026, 1, 2) + plat::EncodeTime(3, 4, 5, 0);
    const std::string path =
        WriteProtocolFile({}, when, CurrentDirectoryText(), FakeTables(true, calls));
    EXPECT_EQ(path, "Протокол первичной поверки НД3.07 от 02.01.2026 03-04.html");
    EXPECT_TRUE(fs::is_regular_file(path));
    EXPECT_TRUE(fs::is_regular_file("Protocols"));

    // The same minute again, with typed texts that look like markup or lie outside the code page.
    ProtocolFields typed;
    typed.tools = {"A<B & </table>\r\nΩ", "", ""};
    const std::string second =
        WriteProtocolFile(typed, when, CurrentDirectoryText(), FakeTables(true, calls));
    EXPECT_EQ(second, "Протокол первичной поверки НД3.07 от 02.01.2026 03-04 (2).html");
    EXPECT_NE(ReadBytes(second).find("<TD>A&lt;B &amp; &lt;/table&gt;\r\n&#937;<BR><BR><BR></TD>"),
              std::string::npos);
    EXPECT_EQ(ReadBytes(path).find("&#937;"), std::string::npos);
}

TEST_F(Protocol, FormWritesItsFieldsAndTheLimitsInForceAndOpensTheFile) {
    TMainForm& form = CreateForm();
    form.FPeriodic = true;
    form.FSerialNumber = 40001;
    ScaleSignalLimits(1);
    Signals[1].measured = true;
    Signals[1].errDeviationU = 0.5f; // equal to the periodic limit
    Signals[1].setDeviationF = 0.4f;
    Signals[1].measDeviationF = 0.437f;
    Signals[1].errDeviationF = 0.037f;
    EventSignals[5] = {154.0f, 500.0f, 30.0f, 500.0f, 30.5f, 0.0f, 0.5f, true};
    // A dip 0.5 % off passes against its own limit of 1 %, though not against the 0.022 of the
    // overvoltages: the only error in the protocol that could fail.

    form.BuildProtocolReport();

    ASSERT_EQ(opened_.size(), 1u);
    const fs::path path = opened_[0];
    EXPECT_EQ(path.parent_path(), fs::current_path() / "Protocols");
    EXPECT_EQ(path.filename().string().rfind("Протокол поверки НД3.07 от ", 0), 0u);
    std::string text = plat::Cp1251ToUtf8(ReadBytes(path));
    EXPECT_NE(text.find("<TD>40001</TD>\r\n"), std::string::npos);
    EXPECT_NE(text.find("<TD>0.50</TD>\r\n<TD>&plusmn;0.50</TD>"), std::string::npos);
    EXPECT_NE(text.find("<TR ALIGN=CENTER>\r\n<TD>2</TD>\r\n<TD>0.400</TD>\r\n<TD>0.437</TD>\r\n"
                        "<TD>0.037</TD>\r\n<TD>&plusmn;0.050</TD>\r\n</TR>\r\n"),
              std::string::npos);
    const std::string dipRow = "<TD>6</TD>\r\n<TD>30.000</TD>\r\n<TD>30.500</TD>\r\n<TD>0.500</TD>"
                               "\r\n<TD>&plusmn;1.000</TD>\r\n</TR>\r\n</TABLE>\r\n<BR>" +
                               std::string(VerdictText) + PassText + "\r\n";
    EXPECT_NE(text.find(dipRow), std::string::npos);
    EXPECT_NE(text.find("\r\nсоответствуют\r\n"), std::string::npos);

    // The harmonics table has no verdict of its own: a harmonic beyond its limit shows only in
    // the conclusion.
    Signals[1].errHarmonic[2] = 0.16f; // set 0 %: absolute limit 0.15
    form.BuildProtocolReport();
    ASSERT_EQ(opened_.size(), 2u);
    EXPECT_NE(opened_[1], opened_[0]); // the first stays, whatever the minute
    EXPECT_TRUE(plat::Cp1251ToUtf8(ReadBytes(opened_[0])) == text);
    text = plat::Cp1251ToUtf8(ReadBytes(opened_[1]));
    EXPECT_NE(text.find("<TD><SPAN>0.16</SPAN></TD>"), std::string::npos);
    EXPECT_NE(text.find("\r\n<SPAN>не соответствуют</SPAN>\r\n"), std::string::npos);
    Signals[1].errHarmonic[2] = 0.0f;

    EventSignals[6].measured = true;
    EventSignals[6].errLevel = -1.25f; // beyond 1 %
    form.BuildProtocolReport();
    ASSERT_EQ(opened_.size(), 3u);
    text = plat::Cp1251ToUtf8(ReadBytes(opened_[2]));
    EXPECT_NE(text.find("<TD><SPAN>-1.250</SPAN></TD>\r\n<TD>&plusmn;1.000</TD>"),
              std::string::npos);
    EXPECT_NE(text.find("\r\n<SPAN>не соответствуют</SPAN>\r\n"), std::string::npos);
}
