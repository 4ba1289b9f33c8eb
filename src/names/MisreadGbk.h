#pragma once

#include <string_view>

namespace names {

// The GBK bytes of many common Chinese characters are valid UTF-8 as well: a lead byte
// from C2 to DF and a trail byte from A1 to BF make one UTF-8 character between U+0080 and
// U+07FF. Read as UTF-8, "职员" (D6 B0 D4 B1) is a Hebrew point and an Armenian letter.
// These two tests tell such names from real UTF-8 ones.

// Whether the UTF-8 reading of `utf8` (valid UTF-8) looks like GBK read as UTF-8: it
// holds a character that real names hardly use (a combining mark with no letter to carry
// it, IPA, most of Latin Extended-B, a Greek or Cyrillic letter outside the modern
// alphabets, Armenian, Hebrew points, a Latin-1 symbol other than ° µ · © ® « » ½), or a
// word that mixes scripts, and no CJK text. Names without a character from U+0080 to
// U+07FF never do.
bool looksLikeMisreadGbk(std::string_view utf8);

// Whether the UTF-8 text `utf8` holds only what Chinese names are written with: Han
// characters, fullwidth forms, CJK and Chinese punctuation, and ASCII.
bool isChineseNameText(std::string_view utf8);

} // namespace names
