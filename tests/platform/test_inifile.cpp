#include "TempDirTest.h"
#include "platform/Cp1251.h"
#include "platform/Formats.h"
#include "platform/IniFile.h"

using namespace plat;
namespace fs = std::filesystem;

namespace {

class IniFileTest : public TempDirTest {
protected:
    void TearDown() override {
        SetDecimalSeparator('.');
        TempDirTest::TearDown();
    }

    TIniFile Make(const std::string& bytes) {
        const fs::path file = dir_ / "test.ini";
        std::ofstream(file, std::ios::binary) << bytes;
        return TIniFile(file.string());
    }
};

} // namespace

TEST_F(IniFileTest, MissingFileReadsAsEmpty) {
    const TIniFile ini((dir_ / "signals.ini").string());
    EXPECT_EQ(ini.ReadString("Language", "lng", "none"), "none");
    EXPECT_EQ(ini.ReadFloat("signal1", "u", 5), 5.0);
}

// Every line ending splits lines; names ignore case; blanks around names and values go.
TEST_F(IniFileTest, LinesNamesAndBlanks) {
    const TIniFile ini =
        Make("[SIGNAL1]\r\nU=230\r  f =  50.5  \nx=1\n\r[ Language ]\rlng = Русский");
    EXPECT_EQ(ini.ReadFloat("signal1", "u", 0), 230.0);
    EXPECT_EQ(ini.ReadFloat("Signal1", "F", 0), 50.5);
    EXPECT_EQ(ini.ReadString("signal1", "X", ""), "1");
    EXPECT_EQ(ini.ReadString("language", "LNG", "x"), "Русский");
    EXPECT_EQ(ini.ReadString("signal1", "k0", "none"), "none");
}

TEST_F(IniFileTest, FirstSectionAndFirstKeyWin) {
    const TIniFile ini = Make("[s]\nk=first\nk=second\n[S]\nk=third\nonly=later\n");
    EXPECT_EQ(ini.ReadString("s", "K", ""), "first");
    EXPECT_EQ(ini.ReadString("s", "only", "none"), "none");
}

TEST_F(IniFileTest, NumbersFallBackToDefaultOnBadText) {
    const TIniFile ini = Make("[signal1]\nu=220,5\nf=\nk1=abc\nk3= 7 \nk4=1.5\n");
    EXPECT_EQ(ini.ReadFloat("signal1", "u", 0), 0.0); // decimal comma under '.'
    EXPECT_EQ(ini.ReadFloat("signal1", "f", -1), -1.0);
    EXPECT_EQ(ini.ReadFloat("signal1", "k1", 9), 9.0);
    EXPECT_EQ(ini.ReadFloat("signal1", "k3", 0), 7.0);
    SetDecimalSeparator(',');
    EXPECT_EQ(ini.ReadFloat("signal1", "u", 0), 220.5);
    EXPECT_EQ(ini.ReadFloat("signal1", "k4", 0), 0.0);
}

TEST_F(IniFileTest, ValuesAreUnquotedAndCut) {
    const std::string longValue(3000, 'x');
    const TIniFile ini = Make("[s]\nq=\"  quoted  \"\nh='x'\nodd=\"x'\nlong=" + longValue +
                              "\nempty=\n" + "lng=\xD0\xF3\xF1\xF1\xEA\xE8\xE9\n");
    EXPECT_EQ(ini.ReadString("s", "q", ""), "  quoted  ");
    EXPECT_EQ(ini.ReadString("s", "h", ""), "x");
    EXPECT_EQ(ini.ReadString("s", "odd", ""), "\"x'");
    EXPECT_EQ(ini.ReadString("s", "long", "").size(), 2047u);
    EXPECT_EQ(ini.ReadString("s", "empty", "d"), "");
    // Texts are the file's raw bytes: the caller converts from code page 1251.
    EXPECT_EQ(Cp1251ToUtf8(ini.ReadString("s", "lng", "")), "Русский");
}

TEST_F(IniFileTest, StrayLinesCommentsAndZeroByte) {
    const TIniFile ini = Make("\xEF\xBB\xBF"
                              "k=before any section\n[s]\n;k=comment\nno equals sign\n=no key\n"
                              "k=v\n[unclosed\nx=1\n" +
                              std::string(1, '\0') + "\n[t]\ny=2\n");
    EXPECT_EQ(ini.ReadString("s", "k", ""), "v");
    EXPECT_EQ(ini.ReadString("unclosed", "x", ""), "1");
    EXPECT_EQ(ini.ReadString("t", "y", "none"), "none");
    EXPECT_EQ(ini.ReadString("s", "no equals sign", "none"), "none");
}
