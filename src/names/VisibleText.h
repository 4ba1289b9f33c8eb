#pragma once

#include <QString>

namespace names {

// The text to show for a name, for a path made of names, or for a message from outside
// the program, such that no character in it can hide, reorder or break what it shows.
// Applied to decoded text (displayName), so a name read as GB18030 is treated the same
// as one in UTF-8. The characters concerned are every control, format character, line
// and paragraph separator and default ignorable code point, in every plane (the table
// generated from the Unicode data, res/VisibleTextTable.h):
// - C0 controls and DEL show as their Control Pictures (U+2400 + code, U+2421 for DEL):
//   a line feed is "␊";
// - the others show as "<U+XXXX>", except where they draw something that belongs there:
//   - the zero-width non-joiner and joiner between two letters of a script that shapes
//     with them (Arabic, the Brahmic scripts, ...), and the joiner between two emoji;
//   - a variation selector after a character that has that variation (a standardized
//     or emoji variation sequence; an ideographic one after an ideograph);
//   - the tags of a whole emoji tag sequence.
// Everything else stays, the lone surrogates that stand for undecodable bytes included.
// Text without such characters is returned as it is, without a copy; the result is only
// for showing, never for forming a path.
QString visibleText(QString text);

} // namespace names
