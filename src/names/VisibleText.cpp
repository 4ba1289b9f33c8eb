#include "names/VisibleText.h"

#include "res/VisibleTextTable.h"

#include <QChar>
#include <QStringView>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>

namespace names {

namespace {

using table::StandIn;

constexpr char32_t kJoiner = 0x200D;
constexpr char32_t kEmojiSelector = 0xFE0F;
constexpr char32_t kIdeographicSelectors = 0xE0100;
constexpr char32_t kTagBase = 0x1F3F4;
constexpr char32_t kFirstTag = 0xE0020;
constexpr char32_t kLastTag = 0xE007F;

constexpr std::size_t kBlockSize = 256;
constexpr std::size_t kBlockCount = 0x10000 / kBlockSize;

// The UTF-16 units a hidden character can start with: the character itself in the
// Basic Multilingual Plane, its high surrogate beyond it.
template <typename Visit> constexpr void forEachLeadUnit(Visit visit) {
    for (const table::HiddenRange& range : table::kHidden) {
        if (range.last <= 0xFFFF) {
            for (char32_t u = range.first; u <= range.last; ++u) {
                visit(static_cast<char16_t>(u));
            }
        } else {
            for (char32_t u = QChar::highSurrogate(range.first);
                 u <= QChar::highSurrogate(range.last); ++u) {
                visit(static_cast<char16_t>(u));
            }
        }
    }
}

constexpr std::size_t countBlocks() {
    std::array<bool, kBlockCount> used{};
    std::size_t count = 0;
    forEachLeadUnit([&](char16_t u) {
        if (!used[u / kBlockSize]) {
            used[u / kBlockSize] = true;
            ++count;
        }
    });
    return count;
}

// The lead units as one bit per UTF-16 unit, kept only for the few 256-unit blocks that
// hold any: a unit is looked up with two loads, and the table is small.
struct LeadSet {
    // 0 for a block without lead units, else 1 + the index of its bits.
    std::array<std::uint8_t, kBlockCount> blockOf{};
    std::array<std::array<std::uint64_t, kBlockSize / 64>, countBlocks()> bits{};
};

constexpr LeadSet makeLeadSet() {
    LeadSet set;
    std::uint8_t used = 0;
    forEachLeadUnit([&](char16_t u) {
        std::uint8_t& block = set.blockOf[u / kBlockSize];
        if (block == 0) {
            block = ++used;
        }
        set.bits[block - 1][(u % kBlockSize) / 64] |= std::uint64_t{1} << (u % 64);
    });
    return set;
}

constexpr LeadSet kLeadSet = makeLeadSet();

constexpr bool mayStartHidden(char16_t unit) {
    const std::uint8_t block = kLeadSet.blockOf[unit / kBlockSize];
    return block != 0 &&
           ((kLeadSet.bits[block - 1][(unit % kBlockSize) / 64] >> (unit % 64)) & 1U) != 0;
}

const table::HiddenRange* hiddenRangeOf(char32_t c) {
    const auto* end = std::end(table::kHidden);
    const auto* range = std::partition_point(std::begin(table::kHidden), end,
                                             [c](const auto& r) { return r.last < c; });
    return range != end && range->first <= c ? range : nullptr;
}

bool inRanges(std::span<const table::Range> ranges, char32_t c) {
    const auto range = std::partition_point(ranges.begin(), ranges.end(),
                                            [c](const auto& r) { return r.last < c; });
    return range != ranges.end() && range->first <= c;
}

bool hasVariation(char32_t base, char32_t selector) {
    if (selector >= kIdeographicSelectors) {
        return inRanges(table::kIdeographs, base);
    }
    const auto* end = std::end(table::kVariants);
    const auto* variant =
        std::partition_point(std::begin(table::kVariants), end, [&](const auto& v) {
            return v.base < base || (v.base == base && v.selector < selector);
        });
    return variant != end && variant->base == base && variant->selector == selector;
}

bool isTag(char32_t c) {
    return c >= kFirstTag && c <= kLastTag;
}

// One character of the text and the units it takes; a lone surrogate is a character of
// its own. At either end of the text: 0, taking no units.
struct Character {
    char32_t c = 0;
    qsizetype size = 0;
};

Character characterAt(const char16_t* units, qsizetype n, qsizetype i) {
    if (i >= n) {
        return {};
    }
    if (QChar::isHighSurrogate(units[i]) && i + 1 < n && QChar::isLowSurrogate(units[i + 1])) {
        return {QChar::surrogateToUcs4(units[i], units[i + 1]), 2};
    }
    return {units[i], 1};
}

Character characterBefore(const char16_t* units, qsizetype i) {
    if (i <= 0) {
        return {};
    }
    if (QChar::isLowSurrogate(units[i - 1]) && i >= 2 && QChar::isHighSurrogate(units[i - 2])) {
        return {QChar::surrogateToUcs4(units[i - 2], units[i - 1]), 2};
    }
    return {units[i - 1], 1};
}

// A joiner stays between two letters of a script that shapes with it; the zero-width
// joiner also between two emoji, the one before it perhaps in its emoji presentation.
bool joinerStays(const char16_t* units, qsizetype n, qsizetype i, char32_t joiner) {
    Character before = characterBefore(units, i);
    const Character after = characterAt(units, n, i + 1);
    if (inRanges(table::kShapingLetters, before.c) && inRanges(table::kShapingLetters, after.c)) {
        return true;
    }
    if (joiner != kJoiner || !inRanges(table::kEmoji, after.c)) {
        return false;
    }
    if (before.c == kEmojiSelector) {
        before = characterBefore(units, i - before.size);
        if (!hasVariation(before.c, kEmojiSelector)) {
            return false;
        }
    }
    return inRanges(table::kEmoji, before.c);
}

// A tag stays inside a whole emoji tag sequence (the flags of England, Scotland and
// Wales): the tags after U+1F3F4 up to the cancel tag, as listed.
bool tagStays(const char16_t* units, qsizetype n, qsizetype i) {
    constexpr std::size_t kLongest = std::size(table::kTagSequences[0]) - 1;
    qsizetype start = i;
    for (std::size_t count = 0;; ++count) {
        const Character before = characterBefore(units, start);
        if (!isTag(before.c)) {
            break;
        }
        if (count == kLongest) {
            return false;
        }
        start -= before.size;
    }
    if (characterBefore(units, start).c != kTagBase) {
        return false;
    }
    for (const auto& sequence : table::kTagSequences) {
        qsizetype at = start;
        std::size_t k = 0;
        for (; k < kLongest && sequence[k] != 0; ++k) {
            const Character tag = characterAt(units, n, at);
            if (tag.c != sequence[k]) {
                break;
            }
            at += tag.size;
        }
        if ((k == kLongest || sequence[k] == 0) && at > i) {
            return true;
        }
    }
    return false;
}

// The stand-in a character of the text takes where it stands, or nullptr for one shown
// as itself.
const table::HiddenRange* hiddenHere(const char16_t* units, qsizetype n, qsizetype i, char32_t c) {
    const table::HiddenRange* range = hiddenRangeOf(c);
    if (range == nullptr) {
        return nullptr;
    }
    bool stays = false;
    switch (range->standIn) {
    case StandIn::Joiner:
        stays = joinerStays(units, n, i, c);
        break;
    case StandIn::Variation:
        stays = hasVariation(characterBefore(units, i).c, c);
        break;
    case StandIn::Tag:
        stays = tagStays(units, n, i);
        break;
    case StandIn::ControlPicture:
    case StandIn::CodePoint:
        break;
    }
    return stays ? nullptr : range;
}

void appendStandIn(QString& shown, char32_t c, StandIn standIn) {
    if (standIn == StandIn::ControlPicture) {
        constexpr char16_t kControlPictures = 0x2400;
        constexpr char16_t kDeletePicture = 0x2421;
        shown.append(QChar(c == 0x7F ? kDeletePicture : char16_t(kControlPictures + c)));
        return;
    }
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    shown.append(u"<U+");
    const int digits = c > 0xFFFFF ? 6 : c > 0xFFFF ? 5 : 4;
    for (int d = digits - 1; d >= 0; --d) {
        shown.append(QChar(kHexDigits[(c >> (4 * d)) & 0xF]));
    }
    shown.append(u'>');
}

} // namespace

QString visibleText(QString text) {
    const auto* units = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype n = text.size();
    qsizetype i = 0;
    // Most names hold no hidden character: they are scanned once and returned as they are.
    while (i < n) {
        const char16_t unit = units[i];
        if (unit - 0x20U < 0x5FU || !mayStartHidden(unit)) { // printable ASCII or shown
            ++i;
            continue;
        }
        const Character c = characterAt(units, n, i);
        if (hiddenHere(units, n, i, c.c) != nullptr) {
            break;
        }
        i += c.size;
    }
    if (i == n) {
        return text;
    }
    QString shown;
    shown.reserve(n + 16);
    shown.append(QStringView(units, i));
    while (i < n) {
        const Character c = characterAt(units, n, i);
        const table::HiddenRange* hidden =
            mayStartHidden(units[i]) ? hiddenHere(units, n, i, c.c) : nullptr;
        if (hidden != nullptr) {
            appendStandIn(shown, c.c, hidden->standIn);
        } else {
            shown.append(QStringView(units + i, c.size));
        }
        i += c.size;
    }
    return shown;
}

} // namespace names
