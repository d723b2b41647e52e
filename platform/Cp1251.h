// Code page 1251 at the file boundaries: language modules, signals.ini texts and the HTML
// protocol are 8-bit Cyrillic, everything inside the programs is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace plat {

// Every byte maps to one character. Byte 0x98, which the code page leaves undefined, maps to
// U+0098 so that any 8-bit text survives a round trip.
std::string Cp1251ToUtf8(std::string_view cp1251);

// Characters the code page lacks (Greek Δ and δ among them) and broken UTF-8 sequences become '?'.
std::string Utf8ToCp1251(std::string_view utf8);

// For an HTML document in the code page: every character the code page lacks becomes a numeric
// character reference ("&#937;" for Ω), which Utf8ToCp1251 then keeps, instead of a '?'. The
// rest, broken sequences included, is left as it is. Input and result are UTF-8.
std::string Cp1251CharRefs(std::string_view utf8);

// Upper case by the code page's rules: Latin and Cyrillic letters of the code page change,
// everything else is kept as it is. Input and result are UTF-8.
std::string AnsiUpperCase(std::string_view utf8);

} // namespace plat
