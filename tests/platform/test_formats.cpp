#include "platform/Formats.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

using namespace plat;

namespace {

std::string F(double x, int p, int d) {
    return FloatToStrF(x, ffFixed, p, d);
}

// Every test leaves the process-wide separators as it found them.
class FormatsTest : public ::testing::Test {
protected:
    void TearDown() override { SetDecimalSeparator('.'); }
};

template <typename Fn> std::string ConvertErrorMessage(Fn fn) {
    try {
        fn();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.ClassName(), "EConvertError");
        return e.what();
    }
    ADD_FAILURE() << "no conversion error";
    return {};
}

} // namespace

TEST_F(FormatsTest, FixedFormat) {
    struct Case {
        double x;
        int precision, digits;
        const char* text;
    };
    const Case cases[] = {
        {0.5f, 6, 2, "0.50"},
        {49.988f, 6, 3, "49.988"},
        {230.46f, 4, 2, "230.50"}, // four significant digits win over two decimals
        {9987.654f, 6, 3, "9987.650"},
        {-100.0, 4, 2, "-100.00"},
        {123456.7, 6, 2, "123457.00"},
        {99.996, 6, 2, "100.00"},
        // Halves go away from zero, on the exact decimal expansion of the binary value.
        {0.125, 6, 2, "0.13"},
        {-0.125, 6, 2, "-0.13"},
        {-2.5, 6, 0, "-3"},
        {2.675, 6, 2, "2.67"}, // 2.67499999999999982... in binary
        {0.005, 6, 2, "0.01"}, // 0.00500000000000000010... in binary
        // Never a negative zero.
        {-0.0, 6, 2, "0.00"},
        {-0.004, 6, 2, "0.00"},
        {-0.4, 6, 0, "0"},
        // More integer digits than the precision: the exponent form.
        {12345.6, 4, 2, "1.235E+4"},
        {999999.996, 6, 2, "1E+6"}, // rounding itself adds the seventh digit
        {-12345678000.0, 8, 2, "-1.2345678E+10"},
        {999999.4, 6, 2, "999999.00"},
        {std::numeric_limits<double>::quiet_NaN(), 6, 2, "NAN"},
        {-INFINITY, 6, 2, "-INF"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(F(c.x, c.precision, c.digits), c.text) << c.x;
}

TEST_F(FormatsTest, DecimalSeparatorInForceBothWays) {
    SetDecimalSeparator(',');
    EXPECT_EQ(F(0.5, 6, 2), "0,50");
    EXPECT_EQ(F(12345.6, 4, 2), "1,235E+4");
    EXPECT_DOUBLE_EQ(StrToFloat("2,5"), 2.5);
    EXPECT_DOUBLE_EQ(StrToFloat("3"), 3.0);
    EXPECT_EQ(ConvertErrorMessage([] { StrToFloat("2.5"); }),
              "'2.5' is not a valid floating point value");
    SetDecimalSeparator('.');
    EXPECT_DOUBLE_EQ(StrToFloat("2.5"), 2.5);
    EXPECT_EQ(ConvertErrorMessage([] { StrToFloat("220,5"); }),
              "'220,5' is not a valid floating point value");
}

TEST_F(FormatsTest, StrToFloatSyntax) {
    EXPECT_DOUBLE_EQ(StrToFloat("  -.5 "), -0.5);
    EXPECT_DOUBLE_EQ(StrToFloat("5."), 5.0);
    EXPECT_DOUBLE_EQ(StrToFloat("+1.5e3"), 1500.0);
    EXPECT_DOUBLE_EQ(StrToFloat("1E-0000000000000000002"), 0.01);
    EXPECT_EQ(StrToFloat("1e-400"), 0.0);
    for (const char* bad : {"", " ", ".", "-", "abc", "1.2.3", "1e", "1e+", "1 2", "inf", "nan",
                            "0x10", "1e400", "1,000"}) {
        EXPECT_EQ(StrToFloatDef(bad, -7), -7) << bad;
    }
}

TEST_F(FormatsTest, StrToIntRangeAndSyntax) {
    EXPECT_EQ(StrToInt("70000"), 70000);
    EXPECT_EQ(StrToInt(" -12"), -12);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToInt("$FF"), 255);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(ConvertErrorMessage([] { StrToInt("abc"); }), "'abc' is not a valid integer value");
    for (const char* bad : {"", "-", "12 ", "1.5", "2147483648", "-2147483649", "$", "0x",
                            "$100000000", "99999999999999999999999"}) {
        EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
    }
}

TEST_F(FormatsTest, SeparatorChangesAreSafeAcrossThreads) {
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i)
            SetDecimalSeparator(i % 2 ? ',' : '.');
        stop = true;
    });
    while (!stop) {
        const std::string text = F(0.5, 6, 2);
        ASSERT_TRUE(text == "0.50" || text == "0,50") << text;
    }
    writer.join();
}
