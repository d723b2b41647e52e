// Dates and times as the framework keeps them: days since 1899-12-30 with the time of day as
// the fraction. Text conversions use the process-wide separators of Formats.h.
#pragma once

#include "platform/Exception.h"

#include <string>
#include <string_view>

namespace plat {

using TDateTime = double;

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

// "dd.mm.yyyy" and "hh:nn:ss", with the date and the time separators in force for '.' and ':'.
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);

} // namespace plat
