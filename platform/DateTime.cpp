#include "platform/DateTime.h"
#include "platform/Formats.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>

namespace plat {

namespace {

// 1899-12-30 counted from 1970-01-01.
constexpr long long kEpochShift = -25569;
// 0001-01-01 and 9999-12-31 as day numbers.
constexpr long long kMinDay = -693593;
constexpr long long kMaxDay = 2958465;
constexpr int kMSecsPerDay = 86400000;

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(int year, int month, int day) {
    const long long y = year - (month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long days, int& year, int& month, int& day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& value) {
    if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    value = static_cast<double>(DaysFromCivil(year, month, day) - kEpochShift);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return false;
    if (second < 0 || second > 59 || msec < 0 || msec > 999) return false;
    const long long ms = ((hour * 60LL + minute) * 60 + second) * 1000 + msec;
    value = static_cast<double>(ms) / kMSecsPerDay;
    return true;
}

// Date plus time of day, also for days before 1899-12-30 (whose fraction counts forwards).
TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
    return date < 0 ? date - time : date + time;
}

// The day number and the millisecond of the day, rounded together; out-of-range values are
// held at the ends of the calendar so that bad input never decodes into nonsense.
void SplitDateTime(TDateTime value, long long& dayNumber, long long& msOfDay) {
    if (std::isnan(value)) value = 0;
    value = std::clamp(value, static_cast<double>(kMinDay), static_cast<double>(kMaxDay) + 0.99999);
    const double whole = std::trunc(value);
    dayNumber = static_cast<long long>(whole);
    msOfDay = std::llround(std::fabs(value - whole) * kMSecsPerDay);
    if (msOfDay >= kMSecsPerDay) {
        msOfDay -= kMSecsPerDay;
        ++dayNumber;
    }
}

int CurrentYear() {
    return DecodeDateTime(Now()).year;
}

// A year of one or two digits lies within 50 years of the current one.
int WindowYear(int year) {
    const int threshold = CurrentYear() - 50;
    year += threshold / 100 * 100;
    return year < threshold ? year + 100 : year;
}

struct Scanner {
    std::string_view text;
    std::size_t pos = 0;

    bool AtEnd() const { return pos >= text.size(); }
    void SkipBlanks() {
        while (!AtEnd() && text[pos] == ' ')
            ++pos;
    }
    bool Take(char c) {
        if (c != ' ') SkipBlanks();
        if (AtEnd() || text[pos] != c) return false;
        ++pos;
        return true;
    }
    // One to four digits.
    bool Number(int& value, int& length) {
        SkipBlanks();
        value = 0;
        length = 0;
        while (!AtEnd() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
            if (++length > 4) return false;
            value = value * 10 + (text[pos++] - '0');
        }
        return length > 0;
    }
};

bool ScanDate(Scanner& s, TDateTime& date) {
    const char sep = GetDateSeparator();
    int day = 0, month = 0, year = 0, length = 0;
    if (!s.Number(day, length) || !s.Take(sep) || !s.Number(month, length)) return false;
    const std::size_t afterMonth = s.pos;
    if (s.Take(sep) && s.Number(year, length)) {
        if (length <= 2) year = WindowYear(year);
    } else {
        s.pos = afterMonth;
        year = CurrentYear();
    }
    return TryEncodeDate(year, month, day, date);
}

bool ScanTime(Scanner& s, TDateTime& time) {
    const char sep = GetTimeSeparator();
    int hour = 0, minute = 0, second = 0, msec = 0, length = 0;
    if (!s.Number(hour, length) || !s.Take(sep) || !s.Number(minute, length)) return false;
    const std::size_t afterMinute = s.pos;
    if (s.Take(sep) && s.Number(second, length)) {
        const std::size_t afterSecond = s.pos;
        if (!s.Take(GetDecimalSeparator()) || !s.Number(msec, length) || length > 3) {
            s.pos = afterSecond;
            msec = 0;
        }
    } else {
        s.pos = afterMinute;
        second = 0;
    }
    return TryEncodeTime(hour, minute, second, msec, time);
}

bool ScannedToEnd(Scanner& s) {
    s.SkipBlanks();
    return s.AtEnd();
}

std::string Padded(int value, int width) {
    std::string text = std::to_string(value);
    if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
    return text;
}

} // namespace

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime value = 0;
    if (!TryEncodeDate(year, month, day, value)) {
        throw EConvertError("Invalid argument to date encode");
    }
    return value;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
    TDateTime value = 0;
    if (!TryEncodeTime(hour, minute, second, msec, value)) {
        throw EConvertError("Invalid argument to time encode");
    }
    return value;
}

DateTimeParts DecodeDateTime(TDateTime value) {
    long long dayNumber = 0;
    long long ms = 0;
    SplitDateTime(value, dayNumber, ms);
    DateTimeParts parts;
    CivilFromDays(dayNumber + kEpochShift, parts.year, parts.month, parts.day);
    parts.msec = static_cast<int>(ms % 1000);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.minute = static_cast<int>(ms / 60000 % 60);
    parts.hour = static_cast<int>(ms / 3600000);
    return parts;
}

int DayOfWeek(TDateTime value) {
    long long dayNumber = 0;
    long long ms = 0;
    SplitDateTime(value, dayNumber, ms);
    // Day 0 (1899-12-30) was a Saturday.
    return static_cast<int>(((dayNumber - 1) % 7 + 7) % 7 + 1);
}

TDateTime Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    localtime_r(&ts.tv_sec, &local);
    const TDateTime date = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    // A leap second is shown as the 59th.
    const TDateTime time = EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59),
                                      static_cast<int>(ts.tv_nsec / 1000000));
    return ComposeDateTime(date, time);
}

bool TryStrToDateTime(std::string_view text, TDateTime& value) {
    Scanner s{text};
    TDateTime date = 0;
    TDateTime time = 0;
    if (ScanDate(s, date)) {
        if (ScannedToEnd(s)) {
            value = date;
            return true;
        }
        if (ScanTime(s, time) && ScannedToEnd(s)) {
            value = ComposeDateTime(date, time);
            return true;
        }
    }
    s.pos = 0;
    if (ScanTime(s, time) && ScannedToEnd(s)) {
        value = time;
        return true;
    }
    return false;
}

// Day, month and four-digit year joined by the date separator in force.
std::string DateToStr(TDateTime value) {
    const DateTimeParts parts = DecodeDateTime(value);
    const char sep = GetDateSeparator();
    return Padded(parts.day, 2) + sep + Padded(parts.month, 2) + sep + Padded(parts.year, 4);
}

// Hours, minutes and seconds joined by the time separator in force.
std::string TimeToStr(TDateTime value) {
    const DateTimeParts parts = DecodeDateTime(value);
    const char sep = GetTimeSeparator();
    return Padded(parts.hour, 2) + sep + Padded(parts.minute, 2) + sep + Padded(parts.second, 2);
}

} // namespace plat
