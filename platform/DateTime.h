// Dates and times as the framework keeps them: days since 1899-12-30 with the time of day as
// the fraction. Text conversions use the process-wide separators of Formats.h.
#pragma once

#include "platform/Exception.h"

#include <string>
#include <string_view>

namespace plat {

using TDateTime = double;

// Format patterns: '/' stands for the date separator and ':' for the time separator in force.
inline constexpr const char* ShortDateFormat = "dd/mm/yyyy";
inline constexpr const char* LongTimeFormat = "hh:nn:ss";

// Years 1..9999. Throws EConvertError "Invalid argument to date encode" / "... time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);

// All parts of one instant, rounded to the millisecond as a whole, so that 23:59:59.9999 becomes
// the next day's 00:00:00.000 rather than a mix of two days.
struct DateTimeParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int msec = 0;
};
DateTimeParts DecodeDateTime(TDateTime value);

// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime value);

// Local date and time of the system clock, to the millisecond.
TDateTime Now();

// Date as day, month, year (one to four digits each; a year of one or two digits lies within
// 50 years of the current one; a missing year is the current one) joined by the date separator;
// time as hours and minutes, optionally seconds and a decimal separator with milliseconds,
// joined by the time separator. Blanks around and between them are allowed. "date", "date time"
// and "time" (the day then is 1899-12-30) are accepted; anything else, and parts out of range
// such as 31 February, are refused.
bool TryStrToDateTime(std::string_view text, TDateTime& value);

std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);

// Tokens (letters in either case): d dd (day), ddd dddd (day name), ddddd (short date), dddddd
// (long date), m mm (month; minutes right after an hour token), mmm mmmm (month name), yy yyyy,
// h hh, n nn, s ss, z zzz, t (short time), tt (long time), c (short date, then a blank
// and the long time unless the time is exactly midnight), am/pm and a/p
// (12-hour clock), '/' and ':' (separators in force), text in '...' or "..." as it is; any other
// character is copied. Day and month names are English.
std::string FormatDateTime(std::string_view format, TDateTime value);

} // namespace plat
