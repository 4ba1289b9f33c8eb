#pragma once

#include "names/PinyinTable.h"

#include <QStringView>

#include <cstdint>
#include <string_view>
#include <vector>

namespace names {

// The Mandarin readings of the CJK ideographs (Unihan's kMandarin, kTGHZ2013 and
// kXHC1983; kHanyuPinyin where these have none), each in lower case without its tone,
// ü written v. Characters that share the same readings share one set.
namespace pinyin {

// The set of a character's readings: a number from 1 up, or 0 when it has none.
[[nodiscard]] std::uint16_t setOf(char32_t cp);
// The readings of a set, in the table's order.
[[nodiscard]] std::vector<std::string_view> readingsOf(std::uint16_t set);
// The first letters of a set's readings, bit 0 for a.
[[nodiscard]] std::uint32_t initialsOf(std::uint16_t set);

// Calls `take(length)` for every non-empty prefix of one of the set's readings that
// `typed` (lower-case ASCII) begins with: v in a reading is also typed as u. A length
// may come more than once.
template <typename Take>
void forEachPrefix(std::uint16_t set, std::u16string_view typed, Take&& take) {
    for (const std::uint16_t* id = kSets + (set - 1); *id != kSetEnd; ++id) {
        const char* reading = kSyllables + kSyllableStart[*id];
        std::size_t length = 0;
        while (length < typed.size() && reading[length] != '\0' &&
               (typed[length] == char16_t(reading[length]) ||
                (reading[length] == 'v' && typed[length] == u'u'))) {
            ++length;
            take(length);
        }
    }
}

// Whether a typed text may be read as pinyin: not empty, and only ASCII.
[[nodiscard]] bool isPinyinTyped(QStringView typed);

// The typed unit in lower case, as readings are written; 0 for a unit beyond ASCII.
[[nodiscard]] inline char16_t lowered(char16_t unit) {
    if (unit >= 'A' && unit <= 'Z') {
        return static_cast<char16_t>(unit + ('a' - 'A'));
    }
    return unit < 0x80 ? unit : 0;
}

// What a character that is not read as pinyin matches of a typed ASCII text: its case
// folding when that is ASCII, else 0 (it matches nothing typed).
[[nodiscard]] char16_t foldedAscii(char32_t cp);

// Whether `typed` (see isPinyinTyped) reads off the start of `text` as pinyin: going
// along the text, each character with readings takes a non-empty prefix of one of them,
// every other character takes itself, case ignored; the typed text must be used up.
[[nodiscard]] bool readsAsPinyin(QStringView text, QStringView typed);

// Whether a row showing `text` is found by `typed`: the text starts with it regardless
// of case, or it reads as pinyin.
[[nodiscard]] bool typedMatches(QStringView text, QStringView typed);

} // namespace pinyin

} // namespace names
