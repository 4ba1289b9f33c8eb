#pragma once

// The table of Mandarin readings, generated from Unihan by tools/make-pinyin-table.py
// (see there for its layout). Read through names/PinyinReadings.h.

#include <cstddef>
#include <cstdint>

namespace names::pinyin {

struct Range {
    char32_t first;
    char32_t last;
    std::uint32_t offset; // of the range's first code point in kSetOfChar
};

extern const char kSyllables[];
extern const std::uint16_t kSyllableStart[];
extern const std::size_t kSyllableCount;
extern const std::uint16_t kSets[];
extern const std::size_t kSetWordCount;
extern const Range kRanges[];
extern const std::size_t kRangeCount;
extern const std::uint16_t kSetOfChar[];

// Ends a set's list of syllable ids in kSets.
constexpr std::uint16_t kSetEnd = 0xFFFF;

} // namespace names::pinyin
