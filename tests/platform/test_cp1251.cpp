#include "platform/Cp1251.h"

#include <gtest/gtest.h>

using namespace plat;

TEST(Cp1251, RussianTextAndEveryByteRoundTrip) {
    const std::string utf8 = "Поверка НД 3.07 — №5, ёЁ «Ливат» 15-25°С";
    const std::string bytes = Utf8ToCp1251(utf8);
    EXPECT_EQ(bytes.size(), 40u); // one byte per character
    EXPECT_EQ(bytes.substr(0, 7), "\xCF\xEE\xE2\xE5\xF0\xEA\xE0");
    EXPECT_NE(bytes.find("\x97"), std::string::npos);     // em dash
    EXPECT_NE(bytes.find("\xB9"), std::string::npos);     // numero sign
    EXPECT_NE(bytes.find("\xB8\xA8"), std::string::npos); // ё Ё
    EXPECT_EQ(Cp1251ToUtf8(bytes), utf8);
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all); // every byte survives
    EXPECT_EQ(Cp1251ToUtf8("\xC0\xFF\x88"), "Ая€");
}

// What the code page lacks, and broken UTF-8, become question marks.
TEST(Cp1251, UnmappableAndBrokenTextBecomesQuestionMarks) {
    EXPECT_EQ(Utf8ToCp1251("Δf δU 日本"), "?f ?U ??");
    EXPECT_EQ(Utf8ToCp1251("a\xFF"
                           "b"),
              "a?b");
    EXPECT_EQ(Utf8ToCp1251("\xD0"), "?");             // cut short
    EXPECT_EQ(Utf8ToCp1251("\xC0\xAF"), "??");        // overlong
    EXPECT_EQ(Utf8ToCp1251("\xED\xA0\x80"), "???");   // surrogate
    EXPECT_EQ(Utf8ToCp1251("\xD0\xD0\x9F"), "?\xCF"); // a bad lead does not swallow the next one
    // An HTML document keeps them as references.
    EXPECT_EQ(Cp1251CharRefs("Ω Жδ\xFF"), "&#937; Ж&#948;\xFF");
}

TEST(Cp1251, UpperCaseByCodePageRules) {
    EXPECT_EQ(AnsiUpperCase("Протокол первичной поверки"), "ПРОТОКОЛ ПЕРВИЧНОЙ ПОВЕРКИ");
    EXPECT_EQ(AnsiUpperCase("ёжик abc їі δ"), "ЁЖИК ABC ЇІ δ");
    EXPECT_EQ(AnsiUpperCase("\xFF"), "\xFF");
}
