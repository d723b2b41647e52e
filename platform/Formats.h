// Process-wide number and date formats and the conversions between numbers and text. The
// separators are read on every conversion, so a change takes effect at once in every thread.
#pragma once

#include "platform/Exception.h"

#include <string>
#include <string_view>

namespace plat {

// Defaults: decimal '.', date '.', time ':'.
char GetDecimalSeparator();
void SetDecimalSeparator(char separator);
char GetDateSeparator();
void SetDateSeparator(char separator);
char GetTimeSeparator();
void SetTimeSeparator(char separator);

enum TFloatFormat { ffFixed };

// The value is first taken to 18 significant decimal digits (correctly rounded), then that
// decimal text is rounded, halves away from zero. A binary value just below a half therefore
// rounds down: 2.675 is 2.67499999999999982236... and gives "2.67" with 2 decimals, while 0.125
// (exact in binary) gives "0.13".
// At most `precision` significant digits and at most `digits` decimals, whichever keeps
//   fewer; written with exactly `digits` decimals, at least one integer digit, no thousands
//   separator, "-" only when the rounded value is not zero. A value with more than `precision`
//   integer digits is written as first digit, separator, the other significant digits (trailing
//   zeros dropped), "E", sign, exponent: 12345.6 with precision 4 gives "1.235E+4".
// Not-a-number gives "NAN", infinities "INF" and "-INF".
// precision is clamped to 1..18, digits to 0..18.
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits);

// Optional blanks, sign, digits with at most one current decimal separator, optional exponent
// ("E" or "e", sign, digits), optional blanks. No thousands separators, no "INF" or "NAN".
// A value too large for a double is an error; one too small becomes 0.
// Throws EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(std::string_view text);
double StrToFloatDef(std::string_view text, double fallback);

std::string IntToStr(long long value);

// Optional leading blanks, sign, then decimal digits or hexadecimal digits after "$" or "0x";
// the value must fit a signed 32-bit integer (hexadecimal up to FFFFFFFF, which wraps).
// Throws EConvertError "'<text>' is not a valid integer value".
int StrToInt(std::string_view text);

} // namespace plat

#include "platform/DateTime.h"
