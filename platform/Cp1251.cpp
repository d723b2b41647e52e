#include "platform/Cp1251.h"

#include <array>
#include <cstdint>
#include <string>

namespace plat {

namespace {

// Bytes 0x80..0xBF; 0xC0..0xFF are the 64 basic Cyrillic letters U+0410..U+044F in order.
constexpr std::array<char16_t, 64> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
};

void AppendUtf8(std::string& out, char32_t ch) {
    if (ch < 0x80) {
        out += static_cast<char>(ch);
    } else if (ch < 0x800) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (ch >> 18));
        out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
}

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes one character at pos and advances pos; a broken sequence yields kInvalid and skips
// exactly one byte, so the rest of the text is still read.
char32_t NextCodePoint(std::string_view s, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(s[pos++]);
    if (lead < 0x80) return lead;
    int extra = 0;
    char32_t ch = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        ch = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        ch = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        ch = lead & 0x07;
    } else {
        return kInvalid;
    }
    if (pos + extra > s.size()) return kInvalid;
    for (int i = 0; i < extra; ++i) {
        const auto cont = static_cast<unsigned char>(s[pos + i]);
        if ((cont & 0xC0) != 0x80) return kInvalid;
        ch = (ch << 6) | (cont & 0x3F);
    }
    static constexpr char32_t kMinForLength[] = {0, 0x80, 0x800, 0x10000};
    if (ch < kMinForLength[extra] || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF)) {
        return kInvalid;
    }
    pos += extra;
    return ch;
}

// Lower-case byte -> upper-case byte for the code page's letters outside ASCII.
unsigned char UpperByte(unsigned char b) {
    if (b >= 'a' && b <= 'z') return static_cast<unsigned char>(b - 'a' + 'A');
    if (b >= 0xE0) return static_cast<unsigned char>(b - 0x20);
    switch (b) {
    case 0x90:
        return 0x80; // ђ
    case 0x83:
        return 0x81; // ѓ
    case 0x9A:
        return 0x8A; // љ
    case 0x9C:
        return 0x8C; // њ
    case 0x9D:
        return 0x8D; // ќ
    case 0x9E:
        return 0x8E; // ћ
    case 0x9F:
        return 0x8F; // џ
    case 0xA2:
        return 0xA1; // ў
    case 0xBC:
        return 0xA3; // ј
    case 0xB4:
        return 0xA5; // ґ
    case 0xB8:
        return 0xA8; // ё
    case 0xBA:
        return 0xAA; // є
    case 0xBF:
        return 0xAF; // ї
    case 0xB3:
        return 0xB2; // і
    case 0xBE:
        return 0xBD; // ѕ
    default:
        return b;
    }
}

char32_t Cp1251ToUnicode(unsigned char byte) {
    if (byte < 0x80) return byte;
    if (byte >= 0xC0) return char32_t{0x0410} + (byte - 0xC0);
    return kUpperHalf[byte - 0x80];
}

// The code-page byte of one character, or -1 when the code page lacks it.
int UnicodeToCp1251(char32_t ch) {
    if (ch < 0x80) return static_cast<int>(ch);
    if (ch >= 0x0410 && ch <= 0x044F) return static_cast<int>(ch - 0x0410 + 0xC0);
    for (std::size_t i = 0; i < kUpperHalf.size(); ++i) {
        if (kUpperHalf[i] == ch) return static_cast<int>(0x80 + i);
    }
    return -1;
}

// Calls each(out, ch, byte, raw) for every character of utf8: ch is kInvalid for a broken
// sequence, byte the character's code-page byte or -1 when the code page lacks it, raw the
// character's own UTF-8 bytes.
template <class Each> std::string ForEachChar(std::string_view utf8, Each each) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t start = pos;
        const char32_t ch = NextCodePoint(utf8, pos);
        const int byte = ch == kInvalid ? -1 : UnicodeToCp1251(ch);
        each(out, ch, byte, utf8.substr(start, pos - start));
    }
    return out;
}

} // namespace

std::string Cp1251ToUtf8(std::string_view cp1251) {
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (const char c : cp1251)
        AppendUtf8(out, Cp1251ToUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
    return ForEachChar(utf8, [](std::string& out, char32_t, int byte, std::string_view) {
        out += byte < 0 ? '?' : static_cast<char>(byte);
    });
}

std::string Cp1251CharRefs(std::string_view utf8) {
    return ForEachChar(utf8, [](std::string& out, char32_t ch, int byte, std::string_view raw) {
        if (ch != kInvalid && byte < 0) {
            out += "&#" + std::to_string(static_cast<std::uint32_t>(ch)) + ';';
        } else {
            out += raw;
        }
    });
}

std::string AnsiUpperCase(std::string_view utf8) {
    return ForEachChar(utf8, [](std::string& out, char32_t, int byte, std::string_view raw) {
        if (byte < 0) {
            out += raw;
        } else {
            AppendUtf8(out, Cp1251ToUnicode(UpperByte(static_cast<unsigned char>(byte))));
        }
    });
}

} // namespace plat
