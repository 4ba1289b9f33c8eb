#pragma once

#include <QString>

namespace names {

// The text to show for a name, or for a path made of names, such that no character in it
// can hide, reorder or break what it shows. Applied to decoded text (displayName), so a
// name read as GB18030 is treated the same as one in UTF-8:
// - C0 controls and DEL show as their Control Pictures (U+2400 + code, U+2421 for DEL):
//   a line feed is "␊";
// - C1 controls, the bidirectional controls, the line and paragraph separators and the
//   invisible characters (zero-width space, word joiner and invisible operators, byte
//   order mark, soft hyphen, Mongolian vowel separator, the Hangul fillers) show as
//   "<U+XXXX>";
// - the zero-width non-joiner and joiner stay where they stand between two characters
//   that are neither ASCII nor white space (emoji sequences, Indic and Arabic scripts),
//   and show as "<U+200C>" and "<U+200D>" anywhere else;
// - variation selectors, and everything else, stay, the lone surrogates that stand for
//   undecodable bytes included.
// Text without such characters is returned as it is, without a copy; the result is only
// for showing, never for forming a path.
QString visibleText(QString text);

} // namespace names
