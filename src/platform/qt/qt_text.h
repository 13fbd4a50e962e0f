#pragma once

// Our texts are UTF-8 std::strings; Qt's are QStrings. One spelling of the conversion for every
// file that hands ours to Qt.

#include <QString>
#include <string>

namespace lcdprog::platform {

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace lcdprog::platform
