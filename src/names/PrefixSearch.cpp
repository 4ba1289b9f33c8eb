#include "names/PrefixSearch.h"

#include "names/NameOrder.h"
#include "names/PinyinReadings.h"

#include <algorithm>
#include <string>

namespace names {

namespace {

// CJK Unified Ideographs and their first extension: no case, and no display rule
// changes them.
bool isIdeograph(char32_t cp) {
    return (cp >= 0x3400 && cp <= 0x4DBF) || (cp >= 0x4E00 && cp <= 0x9FFF);
}

bool isPrintableAscii(unsigned char byte) {
    return byte >= 0x20 && byte < 0x7F;
}

// Whether ignoring the unit's case is the same as comparing its key: two such units fold
// alike exactly when they upper-case alike. So is every unit whose upper case folds as it
// does and whose folding upper-cases as it does; not so the few whose rules cross, such
// as the Kelvin sign (folds to k, keys as itself) or the dotless i (keys as I, folds to
// itself). Surrogates are judged as pairs (caselessBeyondBmp).
bool caseAsKeyed(char16_t unit) {
    if (unit < 0x80) {
        return true;
    }
    if (QChar::isSurrogate(unit)) {
        return false;
    }
    const char32_t folded = QChar::toCaseFolded(char32_t(unit));
    if (folded > 0xFFFF) {
        return false;
    }
    const char16_t upper = sortUpperUnit(unit);
    return sortUpperUnit(char16_t(folded)) == upper &&
           QChar::toCaseFolded(char32_t(upper)) == folded;
}

// Whether a character beyond the BMP has no case at all (CJK ideographs of the
// supplementary planes, emoji): its pair of units then folds to itself and keys as
// itself. Cased letters out there fold as pairs, which keys do not do.
bool caselessBeyondBmp(char32_t cp) {
    const QChar::Category category = QChar::category(cp);
    return category != QChar::Letter_Uppercase && category != QChar::Letter_Lowercase &&
           category != QChar::Letter_Titlecase && QChar::toCaseFolded(cp) == cp &&
           QChar::toUpper(cp) == cp && QChar::toLower(cp) == cp;
}

// Whether every character of a text ignores case as its key does: then a name showing
// such a text, keyed by it, matches such a prefix exactly when its key begins with the
// prefix's. A lone surrogate does not.
bool keyedText(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (!QChar::isSurrogate(unit)) {
            if (!caseAsKeyed(unit)) {
                return false;
            }
            continue;
        }
        if (!QChar::isHighSurrogate(unit) || i + 1 == text.size() ||
            !QChar::isLowSurrogate(text[i + 1].unicode()) ||
            !caselessBeyondBmp(QChar::surrogateToUcs4(unit, text[i + 1].unicode()))) {
            return false;
        }
        ++i;
    }
    return true;
}

// Whether all the bytes are printable ASCII, looked at a block at a time so that the
// common folder is passed over at memory speed.
bool allPrintableAscii(std::string_view bytes) {
    constexpr std::size_t kBlock = 4096;
    for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
        const std::size_t end = std::min(bytes.size(), at + kBlock);
        unsigned outside = 0;
        for (std::size_t i = at; i < end; ++i) {
            outside |= isPrintableAscii(static_cast<unsigned char>(bytes[i])) ? 0U : 1U;
        }
        if (outside != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

bool showsKeyText(std::string_view name) {
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const auto* const end = p + name.size();
    while (p < end) {
        const unsigned lead = *p;
        if (isPrintableAscii(static_cast<unsigned char>(lead))) {
            ++p;
            continue;
        }
        // Ideographs are three bytes long, led by E3 to E9.
        if (lead < 0xE3 || lead > 0xE9 || end - p < 3 || (p[1] & 0xC0) != 0x80 ||
            (p[2] & 0xC0) != 0x80) {
            return false;
        }
        const char32_t cp = ((lead & 0x0F) << 12) | ((p[1] & 0x3FU) << 6) | (p[2] & 0x3FU);
        if (!isIdeograph(cp)) {
            return false;
        }
        p += 3;
    }
    return true;
}

void PrefixSearch::reset() {
    pinyin_.reset();
    learnt_ = false;
    nextRow_ = 0;
    checkedRows_.clear();
    checkedRows_.shrink_to_fit();
}

bool PrefixSearch::learn(const NameList& rows, const DisplayText& display,
                         std::chrono::steady_clock::time_point until) {
    if (learnt_) {
        return true;
    }
    if (nextRow_ == 0 && allPrintableAscii(rows.bytes())) {
        learnt_ = true;
        return true;
    }
    // A name showsKeyText does not accept may still show a text that ignores case as its
    // key does and is keyed as the name is (Chinese in GBK, Chinese punctuation, most
    // letters beyond ASCII): it is then found by its key as well. Only the others are left
    // to check at every search.
    constexpr std::size_t kRowsBetweenClockReads = 256;
    std::string nameKey;
    std::string textKey;
    for (; nextRow_ < rows.size(); ++nextRow_) {
        if (nextRow_ % kRowsBetweenClockReads == 0 && std::chrono::steady_clock::now() > until) {
            return false;
        }
        const std::size_t row = nextRow_;
        const std::string_view name = rows.at(row);
        if (showsKeyText(name)) {
            if (pinyin_.learnUtf8(row, rows.size(), name)) {
                continue;
            }
        } else {
            const QString text = display(row);
            if (keyedText(text)) {
                nameKey.clear();
                appendSortKey(name, nameKey);
                textKey.clear();
                appendTextKey(text, textKey);
                if (nameKey == textKey && pinyin_.learnText(row, rows.size(), text)) {
                    continue;
                }
            }
        }
        checkedRows_.push_back(static_cast<std::uint32_t>(row));
    }
    learnt_ = true;
    return true;
}

std::pair<std::size_t, std::size_t> PrefixSearch::runOf(const NameList& rows, QStringView prefix) {
    std::string key;
    appendTextKey(prefix, key);
    std::string rowKey;
    const auto headOf = [&](std::size_t row) {
        rowKey.clear();
        appendSortKey(rows.at(row), rowKey);
        return std::string_view(rowKey).substr(0, key.size());
    };
    std::size_t first = 0;
    std::size_t last = rows.size();
    while (first < last) {
        const std::size_t mid = first + (last - first) / 2;
        if (headOf(mid) < key) {
            first = mid + 1;
        } else {
            last = mid;
        }
    }
    const std::size_t runBegin = first;
    last = rows.size();
    while (first < last) {
        const std::size_t mid = first + (last - first) / 2;
        if (headOf(mid) == key) {
            first = mid + 1;
        } else {
            last = mid;
        }
    }
    return {runBegin, first};
}

bool PrefixSearch::foundByKey(std::size_t row) const {
    return !std::binary_search(checkedRows_.begin(), checkedRows_.end(), row);
}

std::ptrdiff_t PrefixSearch::find(const NameList& rows, bool inNameOrder,
                                  const DisplayText& display, QStringView prefix,
                                  std::size_t start) {
    const std::size_t count = rows.size();
    if (count == 0) {
        return -1;
    }
    start = start < count ? start : 0;
    const bool asPinyin = pinyin::isPinyinTyped(prefix);
    const auto matches = [&](std::size_t row) {
        return asPinyin ? pinyin::typedMatches(display(row), prefix)
                        : display(row).startsWith(prefix, Qt::CaseInsensitive);
    };
    if (!inNameOrder || !keyedText(prefix)) {
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t row = start + k < count ? start + k : start + k - count;
            if (matches(row)) {
                return static_cast<std::ptrdiff_t>(row);
            }
        }
        return -1;
    }
    learn(rows, display, std::chrono::steady_clock::time_point::max());

    // The run of rows whose keys begin with the prefix's key.
    const auto [runBegin, runEnd] = runOf(rows, prefix);
    // In the run, the first row from `start` on, wrapping, that matches.
    const auto distance = [&](std::size_t row) {
        return row >= start ? row - start : row + count - start;
    };
    std::size_t found = count;
    const auto scan = [&](std::size_t from, std::size_t to) {
        for (std::size_t row = from; row < to; ++row) {
            if (foundByKey(row) || matches(row)) {
                found = row;
                return true;
            }
        }
        return false;
    };
    if (!scan(std::max(start, runBegin), runEnd)) {
        scan(runBegin, std::min(start, runEnd));
    }
    // The first row, in the same order, that reads the prefix as pinyin.
    if (asPinyin && pinyin_.any()) {
        const std::vector<std::uint32_t>& reading = pinyin_.rowsReading(
            prefix, count, [&](QStringView text) { return runOf(rows, text); }, display);
        if (!reading.empty()) {
            const auto at = std::lower_bound(reading.begin(), reading.end(), start);
            const std::size_t row = at != reading.end() ? *at : reading.front();
            if (found == count || distance(row) < distance(found)) {
                found = row;
            }
        }
    }
    const std::size_t bound = found < count ? distance(found) : count;

    // Outside the run, only the rows that show another text than their key's can match;
    // those before the run's match, in the same wrapping order, are checked.
    const auto from = std::lower_bound(checkedRows_.begin(), checkedRows_.end(), start);
    const std::size_t checked = checkedRows_.size();
    const auto offset = static_cast<std::size_t>(from - checkedRows_.begin());
    for (std::size_t k = 0; k < checked; ++k) {
        const std::size_t row =
            checkedRows_[offset + k < checked ? offset + k : offset + k - checked];
        if (distance(row) >= bound) {
            break;
        }
        if (row >= runBegin && row < runEnd) {
            continue;
        }
        if (matches(row)) {
            return static_cast<std::ptrdiff_t>(row);
        }
    }
    return found < count ? static_cast<std::ptrdiff_t>(found) : -1;
}

} // namespace names
