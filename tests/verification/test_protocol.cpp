#include "verification/main_protocol.h"

#include "platform/Formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

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

// Stands in for the tables: counts its calls and gives the verdict asked for.
struct FakeTables {
    bool verdict = true;
    int calls = 0;
    ProtocolTablesWriter Writer() {
        return [this](ProtocolLines& lines) {
            ++calls;
            lines.push_back("<!-- tables -->");
            return verdict;
        };
    }
};

class ProtocolFile : public ::testing::Test {
protected:
    ProtocolFile() {
        dir_ = fs::temp_directory_path() /
               ("vrf307_protocol_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        previous_ = fs::current_path();
    }
    ~ProtocolFile() override {
        fs::current_path(previous_);
        fs::remove_all(dir_);
        plat::SetDateSeparator('.');
        plat::SetTimeSeparator(':');
    }
    fs::path dir_;
    fs::path previous_;
};

} // namespace

TEST(ProtocolDocument, StampTitleAndFileName) {
    EXPECT_EQ(CutProtocolTime("14-35-20"), "14-35");
    EXPECT_EQ(CutProtocolTime("2-05-09 PM"), "2-05");
    EXPECT_EQ(CutProtocolTime("143520"), "");

    plat::SetDateSeparator('/');
    plat::SetTimeSeparator(':');
    const ProtocolStamp stamp =
        MakeProtocolStamp(plat::EncodeDate(2026, 12, 9) + plat::EncodeTime(14, 35, 20, 0));
    EXPECT_EQ(stamp.date, "09.12.2026");
    EXPECT_EQ(stamp.time, "14-35");
    // left so for the rest of the run
    EXPECT_EQ(plat::GetDateSeparator(), '.');
    EXPECT_EQ(plat::GetTimeSeparator(), '-');
    plat::SetTimeSeparator(':');

    EXPECT_EQ(ProtocolFileName(ProtocolTitle(false), stamp),
              "Протокол первичной поверки НД3.07 от 09.12.2026 14-35.html");
    EXPECT_EQ(ProtocolFileName(ProtocolTitle(true), {"09.12.2026", ""}),
              "Протокол поверки НД3.07 от 09.12.2026 .html");
}

TEST(ProtocolDocument, PrimaryWithoutFailures) {
    ProtocolFields f;
    f.serialNumber = 65535;
    f.firmwareVersion = 241;
    f.tools = {"Генератор <b> & \"Ливат\"\r\nвторая строка", "01.02.2026", "С-17"};
    f.temperature = -5;
    f.pressure = 100;
    f.humidity = 60;
    FakeTables tables;
    const ProtocolLines lines = BuildProtocolLines(f, Stamp, tables.Writer());
    EXPECT_EQ(tables.calls, 1);
    EXPECT_EQ(lines[0], "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">");
    EXPECT_EQ(lines[1], "<HTML><HEAD><TITLE>Протокол первичной поверки НД3.07 от 09.12.2026 "
                        "14-35</TITLE>");
    EXPECT_TRUE(Has(lines, "<H1>ПРОТОКОЛ ПЕРВИЧНОЙ ПОВЕРКИ</H1>"));
    EXPECT_TRUE(Has(lines, "<H2>№______________ от 09.12.2026 года</H2>"));
    EXPECT_TRUE(Has(lines, "<TD>Первичная поверка</TD>"));
    EXPECT_TRUE(Has(lines, "<TD>65535</TD>"));
    EXPECT_TRUE(Has(lines, "<TD>241</TD>"));
    EXPECT_TRUE(Has(lines, "<TD>Генератор <b> & \"Ливат\"\r\nвторая строка<BR>01.02.2026<BR>"
                           "С-17<BR></TD>"));
    EXPECT_TRUE(Has(lines, "Условия поверки: T - -5&deg;C;"));
    EXPECT_TRUE(Has(lines, "Атмосферное давление: - 100кПа;"));
    EXPECT_TRUE(Has(lines, "Влажность: - 60%"));
    EXPECT_TRUE(Has(lines, std::string("<BR>2. Проверка сопротивления и электрической прочности "
                                       "изоляции: ") +
                               PassText));
    EXPECT_TRUE(Has(lines, std::string("<BR>3. Опробование: ") + PassText));
    EXPECT_TRUE(Has(lines, "качества электрической энергии \"Ливат\" НД3.07 зав.№65535&nbsp;"));
    EXPECT_TRUE(Has(lines, "соответствуют"));
    EXPECT_EQ(lines.back(), "</HTML>");
}

TEST(ProtocolDocument, PeriodicWithATableBeyondItsLimit) {
    ProtocolFields f;
    f.periodic = true;
    FakeTables tables;
    tables.verdict = false;
    const ProtocolLines lines = BuildProtocolLines(f, Stamp, tables.Writer());
    EXPECT_TRUE(Has(lines, "<H1>ПРОТОКОЛ ПОВЕРКИ</H1>"));
    EXPECT_TRUE(Has(lines, "<TD>Периодическая поверка</TD>"));
    EXPECT_TRUE(Has(lines, std::string("<BR>2. Проверка сопротивления изоляции: ") + PassText));
    EXPECT_TRUE(Has(lines, std::string("<BR>1. Внешний осмотр: ") + PassText));
    EXPECT_TRUE(Has(lines, "<SPAN>не соответствуют</SPAN>"));
    EXPECT_FALSE(Has(lines, "соответствуют"));
}

TEST(ProtocolDocument, FailureCodeLeavesOutTheTables) {
    for (int code : {4, 5}) {
        ProtocolFields f;
        f.failureCode = code;
        FakeTables tables;
        const ProtocolLines lines = BuildProtocolLines(f, Stamp, tables.Writer());
        EXPECT_EQ(tables.calls, 0);
        EXPECT_TRUE(Has(lines, "<TD><BR><BR><BR></TD>"));
        EXPECT_TRUE(Has(lines, "<TD>0</TD>"));
        EXPECT_TRUE(Has(lines, std::string("<BR>2. Проверка сопротивления и электрической "
                                           "прочности изоляции: ") +
                                   FailText));
        const auto item2 = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.rfind("<BR>2. ", 0) == 0;
        });
        ASSERT_NE(item2, lines.end());
        EXPECT_EQ(*(item2 + 1), "<BR><BR><P><B>");
        EXPECT_TRUE(Has(lines, "<SPAN>не соответствуют</SPAN>"));
    }
}

TEST_F(ProtocolFile, CodePage1251WithCrLfAfterEveryLineReplacingTheOldFile) {
    const fs::path path = dir_ / "p.html";
    {
        std::ofstream old(path);
        old << std::string(1000, 'x');
    }
    SaveProtocolLines({"Протокол №1", "", "a\r\nb"}, path.string());
    EXPECT_EQ(ReadBytes(path), "\xCF\xF0\xEE\xF2\xEE\xEA\xEE\xEB \xB9\x31\r\n\r\na\r\nb\r\n");
    EXPECT_THROW(SaveProtocolLines({"x"}, dir_.string()), EFCreateError);
}

TEST_F(ProtocolFile, FolderCreatedWithItsParents) {
    const fs::path current = dir_ / "a" / "b";
    const std::string path = ProtocolPath(current.string(), "p.html");
    EXPECT_EQ(path, (current / "Protocols" / "p.html").string());
    EXPECT_TRUE(fs::is_directory(current / "Protocols"));
    EXPECT_EQ(ProtocolPath(current.string() + "/", "p.html"), path);
}

TEST_F(ProtocolFile, PlainFileNamedProtocolsPutsTheFileInTheCurrentDirectory) {
    std::ofstream(dir_ / "Protocols") << "not a folder";
    fs::current_path(dir_);
    FakeTables tables;
    const plat::TDateTime when = plat::EncodeDate(2026, 1, 2) + plat::EncodeTime(3, 4, 5, 0);
    const std::string path = WriteProtocolFile({}, when, dir_.string(), tables.Writer());
    EXPECT_EQ(path, "Протокол первичной поверки НД3.07 от 02.01.2026 03-04.html");
    EXPECT_TRUE(fs::is_regular_file(dir_ / path));
    EXPECT_TRUE(fs::is_regular_file(dir_ / "Protocols"));
    // a second protocol within the minute replaces the first
    tables.verdict = false;
    EXPECT_EQ(WriteProtocolFile({}, when + 1.0 / 86400, dir_.string(), tables.Writer()), path);
    EXPECT_NE(ReadBytes(dir_ / path).find("<SPAN>"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}
