#include "platform/Formats.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace plat {

namespace {

std::atomic<char> gDecimalSeparator{'.'};
std::atomic<char> gDateSeparator{'.'};
std::atomic<char> gTimeSeparator{':'};

// value = 0.digits x 10^exponent; no leading zeros in digits, an empty digits string is zero.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

void StripTrailingZeros(Decimal& dec) {
    while (!dec.digits.empty() && dec.digits.back() == '0')
        dec.digits.pop_back();
    if (dec.digits.empty()) dec.exponent = 0;
}

// The framework works on 18 significant digits; printf gives them correctly rounded.
Decimal ToDecimal(double value) {
    Decimal dec;
    dec.negative = std::signbit(value);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17e", std::fabs(value));
    const std::string_view text(buf);
    const std::size_t e = text.find('e');
    dec.digits = std::string(1, text[0]) + std::string(text.substr(2, e - 2));
    dec.exponent = std::atoi(buf + e + 1) + 1;
    StripTrailingZeros(dec);
    return dec;
}

// Keeps `keep` leading digits, halves away from zero; keep <= 0 may still round up to one unit.
void RoundDigits(Decimal& dec, int keep) {
    if (keep < 0 || dec.digits.empty()) {
        if (keep < 0) dec.digits.clear();
        StripTrailingZeros(dec);
        return;
    }
    if (static_cast<std::size_t>(keep) >= dec.digits.size()) return;
    const bool up = dec.digits[keep] >= '5';
    dec.digits.resize(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && dec.digits[i] == '9')
            dec.digits[i--] = '0';
        if (i >= 0) {
            ++dec.digits[i];
        } else {
            dec.digits.insert(0, 1, '1');
            ++dec.exponent;
        }
    }
    StripTrailingZeros(dec);
}

char DigitAt(const Decimal& dec, int index) {
    if (index < 0 || index >= static_cast<int>(dec.digits.size())) return '0';
    return dec.digits[index];
}

std::string ExponentText(int exponent) {
    const std::string text = std::to_string(std::abs(exponent));
    return exponent < 0 ? "-" + text : "+" + text;
}

// First digit, separator and the remaining digits of dec.
std::string Mantissa(const Decimal& dec, char sep) {
    std::string text(1, DigitAt(dec, 0));
    if (dec.digits.size() > 1) text += sep;
    for (std::size_t i = 1; i < dec.digits.size(); ++i)
        text += dec.digits[i];
    return text;
}

std::string Signed(const Decimal& dec, std::string text) {
    return dec.negative && !dec.digits.empty() ? "-" + text : text;
}

std::string FormatFixed(double value, int precision, int digits, char sep) {
    Decimal dec = ToDecimal(value);
    RoundDigits(dec, std::min(precision, dec.exponent + digits));
    if (dec.exponent > precision) {
        return Signed(dec, Mantissa(dec, sep) + "E" + ExponentText(dec.exponent - 1));
    }
    std::string text;
    for (int i = 0; i < dec.exponent; ++i)
        text += DigitAt(dec, i);
    if (text.empty()) text = "0";
    if (digits > 0) text += sep;
    for (int j = 1; j <= digits; ++j)
        text += DigitAt(dec, dec.exponent - 1 + j);
    return Signed(dec, text);
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads a run of digits into out; returns how many there were.
int TakeDigits(std::string_view text, std::size_t& pos, std::string& out) {
    int count = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        out += text[pos++];
        ++count;
    }
    return count;
}

// The decimal exponent of the first significant digit of the normalised text "d.dde±x"; used
// to tell overflow from underflow when the conversion reports the value out of range.
bool Overflows(const std::string& normal) {
    const std::size_t e = normal.find('e');
    const std::string mantissa = normal.substr(0, e);
    const std::size_t point = mantissa.find('.');
    const std::size_t first = mantissa.find_first_of("123456789");
    long long magnitude = static_cast<long long>(point) - static_cast<long long>(first);
    if (first > point) ++magnitude;
    if (e != std::string::npos) magnitude += std::atoll(normal.c_str() + e + 1);
    return magnitude > 0;
}

bool ParseFloat(std::string_view text, char sep, double& value) {
    text = TrimBlanks(text);
    std::string normal;
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        if (text[pos] == '-') normal += '-';
        ++pos;
    }
    int mantissaDigits = TakeDigits(text, pos, normal);
    normal += '.';
    if (pos < text.size() && text[pos] == sep) mantissaDigits += TakeDigits(text, ++pos, normal);
    if (mantissaDigits == 0) return false;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        normal += 'e';
        if (++pos < text.size() && (text[pos] == '+' || text[pos] == '-')) normal += text[pos++];
        std::string exponent;
        if (TakeDigits(text, pos, exponent) == 0) return false;
        exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
        // A longer exponent cannot change the outcome and would only overflow the parser.
        normal += exponent.size() > 6 ? std::string("999999") : exponent;
    }
    if (pos != text.size()) return false;
    const auto result = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        if (Overflows(normal)) return false;
        value = normal[0] == '-' ? -0.0 : 0.0;
        return true;
    }
    return result.ec == std::errc() && result.ptr == normal.data() + normal.size();
}

int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHex(std::string_view digits, bool negative, int& value) {
    if (digits.empty() || digits.size() > 8) return false;
    std::uint32_t acc = 0;
    for (const char c : digits) {
        const int v = HexValue(c);
        if (v < 0) return false;
        acc = acc * 16 + static_cast<std::uint32_t>(v);
    }
    if (negative) acc = 0u - acc;
    value = static_cast<int>(acc);
    return true;
}

bool ParseInt(std::string_view text, int& value) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (!text.empty() && text.front() == '$') return ParseHex(text.substr(1), negative, value);
    if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return ParseHex(text.substr(2), negative, value);
    }
    if (text.empty()) return false;
    long long acc = 0;
    for (const char c : text) {
        if (!IsDigit(c)) return false;
        acc = acc * 10 + (c - '0');
        if (acc > 2147483648LL) return false;
    }
    if (negative) acc = -acc;
    if (acc > std::numeric_limits<int>::max()) return false;
    value = static_cast<int>(acc);
    return true;
}

} // namespace

char GetDecimalSeparator() {
    return gDecimalSeparator.load(std::memory_order_relaxed);
}
void SetDecimalSeparator(char separator) {
    gDecimalSeparator.store(separator, std::memory_order_relaxed);
}
char GetDateSeparator() {
    return gDateSeparator.load(std::memory_order_relaxed);
}
void SetDateSeparator(char separator) {
    gDateSeparator.store(separator, std::memory_order_relaxed);
}
char GetTimeSeparator() {
    return gTimeSeparator.load(std::memory_order_relaxed);
}
void SetTimeSeparator(char separator) {
    gTimeSeparator.store(separator, std::memory_order_relaxed);
}

std::string FloatToStrF(double value, TFloatFormat /*format*/, int precision, int digits) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    precision = std::clamp(precision, 1, 18);
    digits = std::clamp(digits, 0, 18);
    return FormatFixed(value, precision, digits, GetDecimalSeparator());
}

double StrToFloat(std::string_view text) {
    double value = 0;
    if (!ParseFloat(text, GetDecimalSeparator(), value)) {
        throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
    }
    return value;
}

double StrToFloatDef(std::string_view text, double fallback) {
    double value = 0;
    return ParseFloat(text, GetDecimalSeparator(), value) ? value : fallback;
}

std::string IntToStr(long long value) {
    return std::to_string(value);
}

int StrToInt(std::string_view text) {
    int value = 0;
    if (!ParseInt(text, value)) {
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    }
    return value;
}

} // namespace plat
