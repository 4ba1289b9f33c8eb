#pragma once

#include <QByteArray>
#include <QString>

#include <string_view>

namespace platform {

// File names on POSIX systems are bytes, not text. Names that are valid UTF-8 decode to
// the text they spell; every byte that is not part of a valid UTF-8 sequence decodes to
// the lone surrogate U+DC80 + byte, so that encodeName(decodeName(b)) == b for any b.
QString decodeName(std::string_view bytes);

// The inverse of decodeName: text becomes UTF-8, and each lone surrogate U+DC80..U+DCFF
// becomes the single byte it stands for.
QByteArray encodeName(const QString& name);

} // namespace platform
