#pragma once

#include <QString>

namespace platform {

// The character that joins path components.
inline constexpr char kSeparator = '/';

// `parent`, one separator and `name`, by plain concatenation: nothing is trimmed and no
// separator is dropped, so a parent that ends in one (a drive root "/") gives a doubled
// separator, which the file functions read as one.
inline QString joinPath(const QString& parent, const QString& name) {
    return parent + QLatin1Char(kSeparator) + name;
}

} // namespace platform
