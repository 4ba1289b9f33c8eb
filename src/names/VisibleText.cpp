#include "names/VisibleText.h"

#include <QChar>
#include <QStringView>

#include <array>
#include <cstddef>
#include <cstdint>

namespace names {

namespace {

enum class StandIn : std::uint8_t {
    ControlPicture, // the character's Control Picture
    CodePoint,      // "<U+XXXX>"
    Joiner,         // itself between two joinable characters, else "<U+XXXX>"
};

struct HiddenRange {
    char16_t first;
    char16_t last;
    StandIn standIn;
};

// Every character that can hide, reorder or break what a name shows, with how it is
// shown instead. All of them lie in the Basic Multilingual Plane, so neither half of a
// surrogate pair, nor a lone surrogate standing for an undecodable byte, is one of them.
constexpr HiddenRange kHidden[] = {
    {0x0000, 0x001F, StandIn::ControlPicture}, // C0 controls: TAB, LF, ESC, ...
    {0x007F, 0x007F, StandIn::ControlPicture}, // DEL
    {0x0080, 0x009F, StandIn::CodePoint},      // C1 controls
    {0x00AD, 0x00AD, StandIn::CodePoint},      // soft hyphen
    {0x061C, 0x061C, StandIn::CodePoint},      // Arabic letter mark
    {0x115F, 0x1160, StandIn::CodePoint},      // Hangul choseong and jungseong fillers
    {0x180E, 0x180E, StandIn::CodePoint},      // Mongolian vowel separator
    {0x200B, 0x200B, StandIn::CodePoint},      // zero-width space
    {0x200C, 0x200D, StandIn::Joiner},         // zero-width non-joiner and joiner
    {0x200E, 0x200F, StandIn::CodePoint},      // left-to-right and right-to-left marks
    {0x2028, 0x2029, StandIn::CodePoint},      // line and paragraph separators
    {0x202A, 0x202E, StandIn::CodePoint},      // embeddings, their pop, overrides
    {0x2060, 0x2064, StandIn::CodePoint},      // word joiner, invisible operators
    {0x2066, 0x2069, StandIn::CodePoint},      // isolates and their pop
    {0x3164, 0x3164, StandIn::CodePoint},      // Hangul filler
    {0xFEFF, 0xFEFF, StandIn::CodePoint},      // zero-width no-break space, byte order mark
};

constexpr std::size_t kBlockSize = 256;
constexpr std::size_t kBlockCount = 0x10000 / kBlockSize;

constexpr std::size_t countBlocks() {
    std::array<bool, kBlockCount> used{};
    std::size_t count = 0;
    for (const HiddenRange& range : kHidden) {
        for (unsigned u = range.first; u <= range.last; ++u) {
            if (!used[u / kBlockSize]) {
                used[u / kBlockSize] = true;
                ++count;
            }
        }
    }
    return count;
}

// The characters of kHidden as one bit per UTF-16 unit, kept only for the few 256-unit
// blocks that hold any: a unit is looked up with two loads, and the table is small.
struct HiddenSet {
    // 0 for a block without hidden characters, else 1 + the index of its bits.
    std::array<std::uint8_t, kBlockCount> blockOf{};
    std::array<std::array<std::uint64_t, kBlockSize / 64>, countBlocks()> bits{};
};

constexpr HiddenSet makeHiddenSet() {
    HiddenSet set;
    std::uint8_t used = 0;
    for (const HiddenRange& range : kHidden) {
        for (unsigned u = range.first; u <= range.last; ++u) {
            std::uint8_t& block = set.blockOf[u / kBlockSize];
            if (block == 0) {
                block = ++used;
            }
            set.bits[block - 1][(u % kBlockSize) / 64] |= std::uint64_t{1} << (u % 64);
        }
    }
    return set;
}

constexpr HiddenSet kHiddenSet = makeHiddenSet();

constexpr bool isHidden(char16_t unit) {
    const std::uint8_t block = kHiddenSet.blockOf[unit / kBlockSize];
    return block != 0 &&
           ((kHiddenSet.bits[block - 1][(unit % kBlockSize) / 64] >> (unit % 64)) & 1U) != 0;
}

StandIn standInOf(char16_t unit) {
    for (const HiddenRange& range : kHidden) {
        if (unit >= range.first && unit <= range.last) {
            return range.standIn;
        }
    }
    return StandIn::CodePoint;
}

// Whether a joiner may stand beside this character: one that is neither ASCII nor white
// space, shown as itself, and not a lone surrogate.
bool joinable(char32_t c) {
    if (c < 0x80 || QChar::isSpace(c)) {
        return false;
    }
    return c > 0xFFFF || (!isHidden(static_cast<char16_t>(c)) && !QChar::isSurrogate(c));
}

// The character that ends just before units[i], or 0 at the start. A lone surrogate is
// returned as itself.
char32_t characterBefore(const char16_t* units, qsizetype i) {
    if (i == 0) {
        return 0;
    }
    const char16_t unit = units[i - 1];
    if (QChar::isLowSurrogate(unit) && i >= 2 && QChar::isHighSurrogate(units[i - 2])) {
        return QChar::surrogateToUcs4(units[i - 2], unit);
    }
    return unit;
}

// The character that starts just after units[i], or 0 at the end.
char32_t characterAfter(const char16_t* units, qsizetype n, qsizetype i) {
    if (i + 1 >= n) {
        return 0;
    }
    const char16_t unit = units[i + 1];
    if (QChar::isHighSurrogate(unit) && i + 2 < n && QChar::isLowSurrogate(units[i + 2])) {
        return QChar::surrogateToUcs4(unit, units[i + 2]);
    }
    return unit;
}

// Whether units[i], a hidden character, is a joiner that joins where it stands.
bool joinsHere(const char16_t* units, qsizetype n, qsizetype i) {
    return standInOf(units[i]) == StandIn::Joiner && joinable(characterBefore(units, i)) &&
           joinable(characterAfter(units, n, i));
}

void appendStandIn(QString& shown, char16_t unit) {
    if (standInOf(unit) == StandIn::ControlPicture) {
        constexpr char16_t kControlPictures = 0x2400;
        constexpr char16_t kDeletePicture = 0x2421;
        shown.append(QChar(unit == 0x7F ? kDeletePicture : char16_t(kControlPictures + unit)));
        return;
    }
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    const char16_t codePoint[] = {u'<',
                                  u'U',
                                  u'+',
                                  char16_t(kHexDigits[(unit >> 12) & 0xF]),
                                  char16_t(kHexDigits[(unit >> 8) & 0xF]),
                                  char16_t(kHexDigits[(unit >> 4) & 0xF]),
                                  char16_t(kHexDigits[unit & 0xF]),
                                  u'>'};
    shown.append(QStringView(codePoint, std::size(codePoint)));
}

} // namespace

QString visibleText(QString text) {
    const auto* units = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype n = text.size();
    qsizetype i = 0;
    // Most names hold no hidden character: they are scanned once and returned as they are.
    for (; i < n; ++i) {
        const char16_t unit = units[i];
        if (unit - 0x20U < 0x5FU) { // printable ASCII
            continue;
        }
        if (isHidden(unit) && !joinsHere(units, n, i)) {
            break;
        }
    }
    if (i == n) {
        return text;
    }
    QString shown;
    shown.reserve(n + 16);
    shown.append(QStringView(units, i));
    for (; i < n; ++i) {
        const char16_t unit = units[i];
        if (!isHidden(unit) || joinsHere(units, n, i)) {
            shown.append(QChar(unit));
        } else {
            appendStandIn(shown, unit);
        }
    }
    return shown;
}

} // namespace names
