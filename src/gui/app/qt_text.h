// Text from the core (UTF-8 std::string_view) as Qt's QString.
#pragma once

#include <QString>

#include <string_view>

namespace zorvil {

inline QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace zorvil
