// Names read from any disk: decoding is lossless, the displayed text and the sort key
// are made for any bytes, and the shown text holds no character that could hide, reorder
// or break it, but for joiners, variation selectors and tags where they belong.

#include "FuzzCheck.h"
#include "names/MisreadGbk.h"
#include "names/NameCodec.h"
#include "names/NameOrder.h"
#include "names/VisibleText.h"
#include "res/VisibleTextTable.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <string_view>

namespace {

bool inRanges(std::span<const names::table::Range> ranges, char32_t c) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [c](const auto& r) { return c >= r.first && c <= r.last; });
}

// The characters the table says draw nothing or move the text, and those Qt's own
// character data calls controls, format characters or separators of lines or paragraphs.
bool hidden(char32_t c) {
    const auto category = QChar::category(c);
    return category == QChar::Other_Control || category == QChar::Other_Format ||
           category == QChar::Separator_Line || category == QChar::Separator_Paragraph ||
           std::any_of(std::begin(names::table::kHidden), std::end(names::table::kHidden),
                       [c](const auto& r) { return c >= r.first && c <= r.last; });
}

bool hasVariation(char32_t base, char32_t selector) {
    if (selector >= 0xE0100 && selector <= 0xE01EF) {
        return inRanges(names::table::kIdeographs, base);
    }
    return std::any_of(std::begin(names::table::kVariants), std::end(names::table::kVariants),
                       [&](const auto& v) { return v.base == base && v.selector == selector; });
}

// The text as code points; a lone surrogate stays as itself.
std::u32string codePoints(const QString& text) {
    std::u32string out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out.push_back(QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else {
            out.push_back(unit);
        }
    }
    return out;
}

// Whether the hidden character at `i` of the shown text may show as itself: a joiner
// between shaping letters, or between emoji; a variation selector after a character that
// has it; a tag inside a whole tag sequence after U+1F3F4.
bool mayStay(const std::u32string& points, std::size_t i) {
    const char32_t c = points[i];
    const char32_t before = i > 0 ? points[i - 1] : 0;
    const char32_t after = i + 1 < points.size() ? points[i + 1] : 0;
    if (c == 0x200C || c == 0x200D) {
        if (inRanges(names::table::kShapingLetters, before) &&
            inRanges(names::table::kShapingLetters, after)) {
            return true;
        }
        const bool emojiBefore =
            inRanges(names::table::kEmoji, before) ||
            (before == 0xFE0F && i >= 2 && inRanges(names::table::kEmoji, points[i - 2]) &&
             hasVariation(points[i - 2], before));
        return c == 0x200D && emojiBefore && inRanges(names::table::kEmoji, after);
    }
    if (QChar::category(c) == QChar::Mark_NonSpacing && hasVariation(before, c)) {
        return true;
    }
    std::size_t start = i;
    while (start > 0 && points[start - 1] >= 0xE0020 && points[start - 1] <= 0xE007F) {
        --start;
    }
    if (start == 0 || points[start - 1] != 0x1F3F4) {
        return false;
    }
    return std::any_of(std::begin(names::table::kTagSequences),
                       std::end(names::table::kTagSequences), [&](const auto& sequence) {
                           const std::u32string tags(sequence);
                           return points.compare(start, tags.size(), tags) == 0 &&
                                  start + tags.size() > i;
                       });
}

void checkShown(const QString& source) {
    const QString shown = names::visibleText(source);
    const std::u32string points = codePoints(shown);
    for (std::size_t i = 0; i < points.size(); ++i) {
        FUZZ_CHECK(!hidden(points[i]) || mayStay(points, i));
    }
    // Text with nothing to hide stays as it is; showing the shown text changes nothing.
    const std::u32string sourcePoints = codePoints(source);
    if (std::none_of(sourcePoints.begin(), sourcePoints.end(), hidden)) {
        FUZZ_CHECK(shown == source);
    }
    FUZZ_CHECK(names::visibleText(shown) == shown);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const QByteArray raw(bytes.data(), static_cast<qsizetype>(size));

    const QString text = names::decodeName(bytes);
    FUZZ_CHECK(names::encodeName(text) == raw);
    FUZZ_CHECK(static_cast<std::size_t>(text.size()) <= size);

    const bool valid = names::isValidUtf8(bytes);
    const QString shown = names::displayName(bytes);
    if (valid) {
        FUZZ_CHECK(text.toUtf8() == raw);
        // Valid UTF-8 shows as itself, unless it is GBK passing for UTF-8, which shows as
        // the Chinese text it holds.
        if (shown != text) {
            FUZZ_CHECK(names::looksLikeMisreadGbk(bytes));
            FUZZ_CHECK(names::isChineseNameText(shown.toUtf8().toStdString()));
        }
    }
    FUZZ_CHECK(shown.isEmpty() == (size == 0));
    checkShown(shown);

    std::string key;
    names::appendSortKey(bytes, key);
    FUZZ_CHECK(key.size() <= 3 * size);
    std::string again = "prefix";
    names::appendSortKey(bytes, again);
    FUZZ_CHECK(again == "prefix" + key);

    // Text from the user, taken as any UTF-16 units, lone surrogates included: valid
    // UTF-16 without escapes is written as plain UTF-8.
    const QString typed(reinterpret_cast<const QChar*>(data), static_cast<qsizetype>(size / 2));
    const QByteArray encoded = names::encodeName(typed);
    bool plain = true;
    for (qsizetype i = 0; i < typed.size() && plain; ++i) {
        plain = !typed[i].isSurrogate();
    }
    if (plain) {
        FUZZ_CHECK(encoded == typed.toUtf8());
    }
    checkShown(typed);
    return 0;
}
