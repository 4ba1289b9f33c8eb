#include "names/MisreadGbk.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace names {

namespace {

// What one character of a UTF-8 reading says about it.
enum class Kind : std::uint8_t {
    Neutral,     // digits, punctuation, spaces, common symbols, CJK: end a word
    Rare,        // hardly ever in a real name
    AsciiLetter, // a Latin letter without marks
    Latin,
    Greek,
    Cyrillic,
    Hebrew,
    Arabic,
    Mark, // a combining mark: part of the word, no script of its own
};

// Decodes the character at p (valid UTF-8) and advances p past it.
char32_t nextCodePoint(const unsigned char*& p) {
    const unsigned char lead = *p;
    if (lead < 0x80) {
        p += 1;
        return lead;
    }
    if (lead < 0xE0) {
        const char32_t cp = (char32_t(lead & 0x1F) << 6) | char32_t(p[1] & 0x3F);
        p += 2;
        return cp;
    }
    if (lead < 0xF0) {
        const char32_t cp =
            (char32_t(lead & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | char32_t(p[2] & 0x3F);
        p += 3;
        return cp;
    }
    const char32_t cp = (char32_t(lead & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
                        (char32_t(p[2] & 0x3F) << 6) | char32_t(p[3] & 0x3F);
    p += 4;
    return cp;
}

bool isAsciiLetter(char32_t cp) {
    return (cp >= U'a' && cp <= U'z') || (cp >= U'A' && cp <= U'Z');
}

// The Latin-1 symbols that turn up in names: ° µ · © ® « » ½.
bool isCommonLatin1Symbol(char32_t cp) {
    switch (cp) {
    case 0xB0:
    case 0xB5:
    case 0xB7:
    case 0xA9:
    case 0xAE:
    case 0xAB:
    case 0xBB:
    case 0xBD:
        return true;
    default:
        return false;
    }
}

// The letters of Latin Extended-B that languages still write: Vietnamese ơ ư, the
// pinyin tone letters ǎ ǐ ǒ ǔ ǖ ǘ ǚ ǜ, Romanian ș ț.
bool isLivingLatinExtendedB(char32_t cp) {
    return cp == 0x1A0 || cp == 0x1A1 || cp == 0x1AF || cp == 0x1B0 ||
           (cp >= 0x1CD && cp <= 0x1DC) || (cp >= 0x218 && cp <= 0x21B);
}

// The letters of the Greek alphabet, with tonos and dialytika.
bool isModernGreek(char32_t cp) {
    return cp == 0x386 || (cp >= 0x388 && cp <= 0x38A) || cp == 0x38C ||
           (cp >= 0x38E && cp <= 0x3A1) || (cp >= 0x3A3 && cp <= 0x3CE);
}

// The letters of Russian, Ukrainian, Belarusian, Bulgarian, Serbian and Macedonian.
bool isModernCyrillic(char32_t cp) {
    return (cp >= 0x400 && cp <= 0x45F) || cp == 0x490 || cp == 0x491;
}

Kind arabicKind(char32_t cp) {
    if ((cp >= 0x64B && cp <= 0x65F) || cp == 0x670 || (cp >= 0x6D6 && cp <= 0x6ED)) {
        return Kind::Rare; // vowel signs and Quranic marks
    }
    if ((cp >= 0x620 && cp <= 0x64A) || (cp >= 0x66E && cp <= 0x6D3) || cp == 0x6D5 ||
        cp == 0x6EE || cp == 0x6EF || cp >= 0x6FA) {
        return Kind::Arabic;
    }
    return Kind::Neutral;
}

// Characters from U+0080 to U+07FF: the ones GBK bytes can turn into.
Kind kindOfTwoByte(char32_t cp) {
    if (cp < 0xA0) {
        return Kind::Rare; // control characters
    }
    if (cp < 0xC0) {
        return isCommonLatin1Symbol(cp) ? Kind::Neutral : Kind::Rare;
    }
    if (cp < 0x100) {
        return cp == 0xD7 || cp == 0xF7 ? Kind::Rare : Kind::Latin;
    }
    if (cp < 0x180) {
        // ĸ, ŉ and ſ are out of use.
        return cp == 0x138 || cp == 0x149 || cp == 0x17F ? Kind::Rare : Kind::Latin;
    }
    if (cp < 0x250) {
        return isLivingLatinExtendedB(cp) ? Kind::Latin : Kind::Rare;
    }
    if (cp < 0x2B0) {
        return Kind::Rare; // IPA
    }
    if (cp < 0x300) {
        // Of the modifier letters, only ʻ and ʼ, apostrophes, are written in words.
        return cp == 0x2BB || cp == 0x2BC ? Kind::Neutral : Kind::Rare;
    }
    if (cp < 0x370) {
        return Kind::Mark;
    }
    if (cp < 0x400) {
        return isModernGreek(cp) ? Kind::Greek : Kind::Rare;
    }
    if (cp < 0x530) {
        return isModernCyrillic(cp) ? Kind::Cyrillic : Kind::Rare;
    }
    if (cp < 0x5D0) {
        return Kind::Rare; // Armenian, Hebrew points
    }
    if (cp < 0x5EB) {
        return Kind::Hebrew;
    }
    if (cp < 0x600) {
        return Kind::Rare;
    }
    if (cp < 0x700) {
        return arabicKind(cp);
    }
    return Kind::Rare; // Syriac, Thaana, N'Ko and the rest up to U+07FF
}

Kind kindOf(char32_t cp) {
    if (cp < 0x80) {
        return isAsciiLetter(cp) ? Kind::AsciiLetter : Kind::Neutral;
    }
    return cp < 0x800 ? kindOfTwoByte(cp) : Kind::Neutral;
}

bool isLetter(Kind kind) {
    return kind >= Kind::AsciiLetter && kind <= Kind::Arabic;
}

Kind scriptOf(Kind letter) {
    return letter == Kind::AsciiLetter ? Kind::Latin : letter;
}

// The marks that decomposed Latin, Greek and Cyrillic letters carry above them (é as e
// and U+0301, й as и and U+0306).
bool isMarkAbove(char32_t cp) {
    return (cp >= 0x300 && cp <= 0x314) || cp == 0x342 || cp == 0x345;
}

// Whether a combining mark has a letter to carry it: any mark after a plain Latin letter
// (a decomposed name) or after a mark that had one; a mark above after a Latin, Greek or
// Cyrillic letter.
bool markIsCarried(char32_t mark, Kind before, bool beforeWasCarried) {
    if (before == Kind::AsciiLetter || (before == Kind::Mark && beforeWasCarried)) {
        return true;
    }
    return isMarkAbove(mark) &&
           (before == Kind::Latin || before == Kind::Greek || before == Kind::Cyrillic);
}

// The small letters of the Greek alphabet follow its capitals, from U+03AC on; only ΐ
// comes before them.
bool isSmallGreek(char32_t cp) {
    return cp >= 0x3AC || cp == 0x390;
}

// Whether the letter is a Greek capital right after a small Greek letter: Greek words do
// not change case in their middle. (Latin and Cyrillic abbreviations do: "MěÚ", "КамАЗ".)
bool capitalAfterSmall(char32_t cp, Kind kind, bool beforeWasSmallGreek) {
    return beforeWasSmallGreek && kind == Kind::Greek && !isSmallGreek(cp);
}

// The common symbols that stand after a number or before a word, never right after a
// letter: ° µ ½ «.
bool neverAfterLetter(char32_t cp) {
    return cp == 0xB0 || cp == 0xB5 || cp == 0xBD || cp == 0xAB;
}

// The common symbols that stand after a word, never right before a letter: © ® » ·
// (Catalan's l·l has a plain l after it).
bool neverBeforeLetter(char32_t cp) {
    return cp == 0xA9 || cp == 0xAE || cp == 0xBB || cp == 0xB7;
}

// Whether the bytes hold the lead byte of a two-byte character (110xxxxx; C0 and C1 never
// start one in valid UTF-8). Eight bytes at a time: most names have none.
bool hasTwoByteCharacter(const unsigned char* p, std::size_t n) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, sizeof word);
        // A byte of `lead` is zero where the byte of `word` is a lead byte.
        const std::uint64_t lead = (word & (0xE0 * kOnes)) ^ (0xC0 * kOnes);
        if (((lead - kOnes) & ~lead & (0x80 * kOnes)) != 0) {
            return true;
        }
    }
    for (; i < n; ++i) {
        if ((p[i] & 0xE0) == 0xC0) {
            return true;
        }
    }
    return false;
}

bool isHan(char32_t cp) {
    return (cp >= 0x3400 && cp <= 0x4DBF) ||                                   // extension A
           (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xF900 && cp <= 0xFAFF) || // compatibility
           (cp >= 0x20000 && cp <= 0x3FFFF); // extensions B and on
}

// CJK punctuation, vertical forms and fullwidth forms.
bool isCjkForm(char32_t cp) {
    return (cp >= 0x3000 && cp <= 0x303F) || (cp >= 0xFE30 && cp <= 0xFE4F) ||
           (cp >= 0xFF00 && cp <= 0xFFEF);
}

// Whether a character shows a UTF-8 reading to be Chinese, Japanese or Korean text.
bool isCjk(char32_t cp) {
    return isHan(cp) || isCjkForm(cp) || (cp >= 0x3040 && cp <= 0x30FF) || // kana
           (cp >= 0xAC00 && cp <= 0xD7AF);                                 // Hangul
}

// The punctuation of GB2312's first row beyond the CJK forms: · ― — ‘ ’ “ ” … and ・.
bool isGb2312Punctuation(char32_t cp) {
    switch (cp) {
    case 0xB7:
    case 0x2014:
    case 0x2015:
    case 0x2018:
    case 0x2019:
    case 0x201C:
    case 0x201D:
    case 0x2026:
    case 0x30FB:
        return true;
    default:
        return false;
    }
}

} // namespace

bool looksLikeMisreadGbk(std::string_view utf8) {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    // Every character GBK bytes can pass for is two bytes long in UTF-8; ASCII and CJK
    // names stop here.
    if (!hasTwoByteCharacter(p, utf8.size())) {
        return false;
    }
    Kind before = Kind::Neutral;
    char32_t beforeCp = 0;
    bool beforeWasCarried = false;
    bool beforeWasSmallGreek = false;
    Kind wordScript = Kind::Neutral;
    bool misread = false;
    while (p < end) {
        const char32_t cp = nextCodePoint(p);
        if (cp >= 0x3000 && isCjk(cp)) {
            // CJK text in UTF-8 beside a rare symbol ("1920×1080壁纸"): GBK bytes hardly
            // ever pass for both at once.
            return false;
        }
        if (misread) {
            continue;
        }
        const Kind kind = kindOf(cp);
        if (kind == Kind::Rare) {
            misread = true;
        } else if (kind == Kind::Mark) {
            beforeWasCarried = markIsCarried(cp, before, beforeWasCarried);
            misread = !beforeWasCarried;
        } else if (isLetter(kind)) {
            const Kind script = scriptOf(kind);
            misread = (wordScript != Kind::Neutral && wordScript != script) ||
                      capitalAfterSmall(cp, kind, beforeWasSmallGreek) ||
                      (kind != Kind::AsciiLetter && neverBeforeLetter(beforeCp));
            wordScript = script;
        } else {
            misread = isLetter(before) && before != Kind::AsciiLetter && neverAfterLetter(cp);
            wordScript = Kind::Neutral;
        }
        before = kind;
        beforeCp = cp;
        beforeWasSmallGreek = kind == Kind::Greek && isSmallGreek(cp);
    }
    return misread;
}

bool isChineseNameText(std::string_view utf8) {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    while (p < end) {
        const char32_t cp = nextCodePoint(p);
        if (cp >= 0x80 && !isHan(cp) && !isCjkForm(cp) && !isGb2312Punctuation(cp)) {
            return false;
        }
    }
    return true;
}

} // namespace names
