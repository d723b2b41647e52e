// Our texts are UTF-8 std::string; the toolkit's widgets take QString.
#pragma once

#include <QString>

#include <string>

namespace plat {

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace plat
