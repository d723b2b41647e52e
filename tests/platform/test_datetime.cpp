#include "platform/Formats.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <ctime>

using namespace plat;

namespace {

class DateTimeTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetDateSeparator('.');
        SetTimeSeparator(':');
        SetDecimalSeparator('.');
    }
};

TDateTime At(int y, int m, int d, int h = 0, int n = 0, int s = 0, int ms = 0) {
    return EncodeDate(y, m, d) + EncodeTime(h, n, s, ms);
}

// The parsed value, or NAN when the text is refused.
TDateTime Parsed(std::string_view text) {
    TDateTime value = NAN;
    return TryStrToDateTime(text, value) ? value : NAN;
}

} // namespace

TEST_F(DateTimeTest, EncodeDecodeAcrossTheCalendar) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 3, 1) - EncodeDate(2000, 2, 28), 2.0);
    for (double day = -1000; day < 80000; day += 37) {
        const DateTimeParts parts = DecodeDateTime(day);
        EXPECT_EQ(EncodeDate(parts.year, parts.month, parts.day), day);
    }
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_THROW(EncodeDate(2024, 13, 1), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_NO_THROW(EncodeDate(2024, 2, 29));
}

TEST_F(DateTimeTest, DecodeRoundsTheWholeInstant) {
    const DateTimeParts parts = DecodeDateTime(At(2024, 12, 31, 23, 59, 59) + 0.9996 / 86400);
    EXPECT_EQ((std::array{parts.year, parts.month, parts.day, parts.hour, parts.minute,
                          parts.second, parts.msec}),
              (std::array{2025, 1, 1, 0, 0, 0, 0}));
    // Before 1899-12-30 the fraction still counts forwards within the day.
    const DateTimeParts early = DecodeDateTime(-1.25);
    EXPECT_EQ(early.day, 29);
    EXPECT_EQ(early.hour, 6);
    // Nonsense never decodes outside the calendar.
    EXPECT_EQ(DecodeDateTime(NAN).year, 1899);
    EXPECT_EQ(DecodeDateTime(1e300).year, 9999);
}

TEST_F(DateTimeTest, DayOfWeekStartsOnSunday) {
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7); // Saturday
    EXPECT_EQ(DayOfWeek(At(2024, 1, 7, 12)), 1);       // Sunday
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 1)), 2);   // Monday
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 24)), 1);
}

TEST_F(DateTimeTest, NowIsTheLocalClock) {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    const TDateTime expected = At(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                  local.tm_hour, local.tm_min, std::min(local.tm_sec, 59));
    EXPECT_NEAR(Now(), expected, 3.0 / 86400);
}

TEST_F(DateTimeTest, TextToDateTimeAcceptsDateTimeDateOrTime) {
    EXPECT_EQ(Parsed("05.03.2014 09:07:00"), At(2014, 3, 5, 9, 7, 0));
    EXPECT_EQ(Parsed(" 5.3.2014   9:07 "), At(2014, 3, 5, 9, 7, 0));
    EXPECT_EQ(Parsed("05.03.2014"), EncodeDate(2014, 3, 5));
    EXPECT_EQ(Parsed("14:35:20"), EncodeTime(14, 35, 20, 0));
    EXPECT_EQ(Parsed("05.03.14 10:00:00.250"), At(2014, 3, 5, 10, 0, 0, 250));
    EXPECT_EQ(Parsed("29.02.2024"), EncodeDate(2024, 2, 29));
    EXPECT_EQ(Parsed("23:59"), EncodeTime(23, 59, 0, 0));
    // The year defaults to the current one.
    EXPECT_EQ(DecodeDateTime(Parsed("01.06")).year, DecodeDateTime(Now()).year);
}

TEST_F(DateTimeTest, TextToDateTimeRejectsImpossibleAndMalformedText) {
    for (const char* bad :
         {"", "  ", "31.02.2024 12:00:00", "29.02.2023", "05.03.2014 24:00:00", "05.03.2014 10:60",
          "05.03.2014 10:20:", "05/03/2014", "abc", "05.03.2014 x", "123456789.1.2024", "10",
          "10:20:30:40", "05.03.2014 10:20:30.5000"}) {
        TDateTime value = 42;
        EXPECT_FALSE(TryStrToDateTime(bad, value)) << bad;
        EXPECT_EQ(value, 42);
    }
}

TEST_F(DateTimeTest, TextFormsFollowTheSeparatorsInForce) {
    const TDateTime t = At(2014, 3, 5, 14, 35, 20);
    EXPECT_EQ(DateToStr(t), "05.03.2014");
    EXPECT_EQ(TimeToStr(EncodeDate(2014, 3, 5) + EncodeTime(9, 7, 5, 999)), "09:07:05");
    EXPECT_EQ(DateToStr(EncodeDate(33, 1, 2)), "02.01.0033");
    SetDateSeparator('/');
    SetTimeSeparator('-');
    EXPECT_EQ(DateToStr(t), "05/03/2014");
    EXPECT_EQ(TimeToStr(t), "14-35-20");
    EXPECT_EQ(Parsed("05/03/2014 09-07-00"), At(2014, 3, 5, 9, 7, 0));
    EXPECT_TRUE(std::isnan(Parsed("05.03.2014 09:07:00")));
}
