// Names in the registry and in ini files match without regard to ASCII letter case, as the
// Windows readers do; other bytes (Cyrillic in code page 1251 among them) must match exactly.
#pragma once

#include <string_view>

namespace plat {

constexpr char FoldAsciiCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
    }
    return true;
}

} // namespace plat
