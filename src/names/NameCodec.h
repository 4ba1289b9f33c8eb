#pragma once

#include <QByteArray>
#include <QString>

#include <string_view>

namespace names {

// File names on POSIX systems are bytes, not text. Names that are valid UTF-8 decode to
// the text they spell; every byte that is not part of a valid UTF-8 sequence decodes to
// the lone surrogate U+DC80 + byte, so that encodeName(decodeName(b)) == b for any b.
QString decodeName(std::string_view bytes);

// The inverse of decodeName: text becomes UTF-8, and each lone surrogate U+DC80..U+DCFF
// becomes the single byte it stands for.
QByteArray encodeName(const QString& name);

// Whether the bytes are valid UTF-8 (overlong forms, encoded surrogates and code points
// above U+10FFFF are not).
bool isValidUtf8(std::string_view bytes);

// The text a Chinese reader should see for a file name: valid UTF-8 as UTF-8, unless its
// UTF-8 reading looks like GBK read as UTF-8 and its GB18030 reading is Chinese text
// (MisreadGbk.h); otherwise, when the whole name decodes as GB18030 without an error,
// that text (names written by Windows programs and disks mounted with the wrong
// character set are GBK); anything else in decodeName's lossless form. Only for showing: this text
// does not always encode back to the name's bytes, so paths are formed with decodeName.
QString displayName(std::string_view bytes);

} // namespace names
