// Names read from any disk: decoding is lossless, the displayed text and the sort key
// are made for any bytes, and the shown text holds no character that could hide, reorder
// or break it.

#include "FuzzCheck.h"
#include "names/MisreadGbk.h"
#include "names/NameCodec.h"
#include "names/NameOrder.h"
#include "names/VisibleText.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// The characters no shown text may hold, as the display rule lists them, written out
// here on their own so that the rule's table is checked, not restated.
bool mustNotShow(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x2028 ||
           c == 0x2029 || c == 0x200B || (c >= 0x2060 && c <= 0x2064) || c == 0xFEFF ||
           c == 0x00AD || c == 0x180E || c == 0x3164 || c == 0x115F || c == 0x1160;
}

bool isJoiner(char32_t c) {
    return c == 0x200C || c == 0x200D;
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

// A joiner may stay only between two characters that are neither ASCII nor white space
// (nor anything hidden, nor a lone surrogate).
bool joins(char32_t c) {
    return c >= 0x80 && !QChar::isSpace(c) && !mustNotShow(c) && !isJoiner(c) &&
           !(c <= 0xFFFF && QChar::isSurrogate(c));
}

void checkShown(const QString& source) {
    const QString shown = names::visibleText(source);
    const std::u32string points = codePoints(shown);
    bool changed = false;
    for (std::size_t i = 0; i < points.size(); ++i) {
        FUZZ_CHECK(!mustNotShow(points[i]));
        if (isJoiner(points[i])) {
            FUZZ_CHECK(i > 0 && joins(points[i - 1]));
            FUZZ_CHECK(i + 1 < points.size() && joins(points[i + 1]));
        }
    }
    // Text with nothing to hide stays as it is; showing the shown text changes nothing.
    for (const char32_t c : codePoints(source)) {
        changed = changed || mustNotShow(c) || isJoiner(c);
    }
    if (!changed) {
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
