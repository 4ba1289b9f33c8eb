#include "names/PinyinReadings.h"

#include <QChar>

#include <algorithm>

namespace names::pinyin {

std::uint16_t setOf(char32_t cp) {
    const Range* const end = kRanges + kRangeCount;
    const Range* range =
        std::upper_bound(kRanges, end, cp, [](char32_t c, const Range& r) { return c < r.first; });
    if (range == kRanges) {
        return 0;
    }
    --range;
    return cp <= range->last ? kSetOfChar[range->offset + (cp - range->first)] : 0;
}

std::vector<std::string_view> readingsOf(std::uint16_t set) {
    std::vector<std::string_view> readings;
    if (set == 0) {
        return readings;
    }
    for (const std::uint16_t* id = kSets + (set - 1); *id != kSetEnd; ++id) {
        readings.emplace_back(kSyllables + kSyllableStart[*id]);
    }
    return readings;
}

std::uint32_t initialsOf(std::uint16_t set) {
    std::uint32_t initials = 0;
    for (const std::string_view reading : readingsOf(set)) {
        initials |= 1U << (reading.front() - 'a');
    }
    return initials;
}

bool isPinyinTyped(QStringView typed) {
    return !typed.isEmpty() &&
           std::all_of(typed.begin(), typed.end(), [](QChar c) { return c.unicode() < 0x80; });
}

char16_t foldedAscii(char32_t cp) {
    const char32_t folded = QChar::toCaseFolded(cp);
    return folded < 0x80 ? static_cast<char16_t>(folded) : char16_t(0);
}

bool readsAsPinyin(QStringView text, QStringView typed) {
    if (!isPinyinTyped(typed)) {
        return false;
    }
    const auto size = static_cast<std::size_t>(typed.size());
    std::u16string lower(size, u'\0');
    for (std::size_t i = 0; i < size; ++i) {
        lower[i] = lowered(typed[static_cast<qsizetype>(i)].unicode());
    }
    // reach[i]: the typed text's first i units can be taken by the characters gone along.
    std::vector<char> reach(size + 1, 0);
    std::vector<char> next(size + 1, 0);
    reach[0] = 1;
    for (qsizetype at = 0; at < text.size();) {
        char32_t cp = text[at].unicode();
        qsizetype units = 1;
        if (QChar::isHighSurrogate(cp) && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[at].unicode(), text[at + 1].unicode());
            units = 2;
        }
        at += units;
        const std::uint16_t set = setOf(cp);
        const char32_t self = QChar::toCaseFolded(cp);
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        for (std::size_t i = 0; i < size; ++i) {
            if (reach[i] == 0) {
                continue;
            }
            if (set != 0) {
                forEachPrefix(set, std::u16string_view(lower).substr(i),
                              [&](std::size_t length) { next[i + length] = 1; });
            } else if (char32_t(lower[i]) == self) {
                next[i + 1] = 1;
            }
        }
        for (std::size_t i = 0; i <= size; ++i) {
            any = any || next[i] != 0;
        }
        if (next[size] != 0) {
            return true;
        }
        if (!any) {
            return false;
        }
        reach.swap(next);
    }
    return false;
}

bool typedMatches(QStringView text, QStringView typed) {
    return text.startsWith(typed, Qt::CaseInsensitive) || readsAsPinyin(text, typed);
}

} // namespace names::pinyin
