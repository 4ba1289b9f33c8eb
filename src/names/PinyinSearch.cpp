#include "names/PinyinSearch.h"

#include "names/PinyinReadings.h"

#include <QChar>

#include <algorithm>
#include <iterator>

namespace names {

namespace {

// A character after h, in 14 bits: the end of the text, an ASCII character as it folds,
// a character that matches nothing typed, or a set of readings.
constexpr std::uint64_t kEnd = 0;
constexpr std::uint64_t kOther = 128;
constexpr std::uint64_t kSetBase = 128; // + the set, which is at least 1
constexpr unsigned kSlotBits = 14;
constexpr std::uint64_t kSlotMask = (1U << kSlotBits) - 1;
constexpr unsigned kSlots = 4; // h and the three after it
constexpr unsigned kLeadShift = 56;
constexpr unsigned kLongestLead = 254;
constexpr std::size_t kMaxChecked = 63; // typed units a head is checked for by bits

std::uint64_t slotOf(char32_t cp) {
    const std::uint16_t set = pinyin::setOf(cp);
    if (set != 0) {
        return kSetBase + set;
    }
    const char32_t folded = QChar::toCaseFolded(cp);
    return folded > 0 && folded < 0x80 ? folded : kOther;
}

// Builds a row's head from its characters, given one at a time by `next` (0 at the end).
// 0 for a row that never reads as pinyin; kLongestLead + 1 in the lead for one whose
// lead is too long to note.
template <typename Next> std::uint64_t headOf(Next&& next) {
    unsigned lead = 0;
    char32_t cp = next();
    std::uint16_t set = 0;
    for (; cp != 0; cp = next()) {
        set = pinyin::setOf(cp);
        if (set != 0) {
            break;
        }
        const char32_t folded = QChar::toCaseFolded(cp);
        if (folded == 0 || folded >= 0x80) {
            return 0;
        }
        ++lead;
    }
    if (set == 0) {
        return 0;
    }
    if (lead > kLongestLead) {
        return std::uint64_t{kLongestLead + 1} << kLeadShift;
    }
    std::uint64_t head =
        (std::uint64_t{lead} << kLeadShift) | ((kSetBase + set) << ((kSlots - 1) * kSlotBits));
    for (unsigned slot = 1; slot < kSlots; ++slot) {
        cp = next();
        if (cp == 0) {
            break;
        }
        head |= slotOf(cp) << ((kSlots - 1 - slot) * kSlotBits);
    }
    return head;
}

unsigned leadOf(std::uint64_t head) {
    return static_cast<unsigned>(head >> kLeadShift);
}

std::uint64_t slot(std::uint64_t head, unsigned index) {
    return (head >> ((kSlots - 1 - index) * kSlotBits)) & kSlotMask;
}

// The first letters of each set's readings, by set.
const std::vector<std::uint32_t>& initials() {
    static const std::vector<std::uint32_t> table = [] {
        std::vector<std::uint32_t> made(pinyin::kSetWordCount + 1, 0);
        for (std::size_t set = 1; set < made.size(); ++set) {
            if (pinyin::kSets[set - 1] != pinyin::kSetEnd) {
                made[set] = pinyin::initialsOf(static_cast<std::uint16_t>(set));
            }
        }
        return made;
    }();
    return table;
}

enum class Verdict { Found, NotFound, Unknown };

// Whether the typed text (lower case) reads off a row with this head as pinyin, given
// that its lead matches; Unknown when the head ends before the typed text could.
Verdict check(std::uint64_t head, std::u16string_view typed) {
    const unsigned lead = leadOf(head);
    const std::u16string_view rest = typed.substr(lead);
    const std::size_t size = rest.size();
    if (size > kMaxChecked) {
        return Verdict::Unknown;
    }
    const std::uint64_t done = std::uint64_t{1} << size;
    std::uint64_t reach = 1;
    for (unsigned index = 0; index < kSlots; ++index) {
        const std::uint64_t what = slot(head, index);
        if (what == kEnd) {
            return Verdict::NotFound;
        }
        std::uint64_t next = 0;
        for (std::uint64_t bits = reach; bits != 0; bits &= bits - 1) {
            const auto at = static_cast<std::size_t>(__builtin_ctzll(bits));
            if (what > kSetBase) {
                pinyin::forEachPrefix(
                    static_cast<std::uint16_t>(what - kSetBase), rest.substr(at),
                    [&](std::size_t length) { next |= std::uint64_t{1} << (at + length); });
            } else if (what != kOther && rest[at] == what) {
                next |= std::uint64_t{1} << (at + 1);
            }
        }
        if ((next & done) != 0) {
            return Verdict::Found;
        }
        if (next == 0) {
            return Verdict::NotFound;
        }
        reach = next;
    }
    return Verdict::Unknown;
}

} // namespace

void PinyinSearch::reset() {
    heads_.clear();
    heads_.shrink_to_fit();
    longestLead_ = 0;
    typed_.clear();
    found_.clear();
    found_.shrink_to_fit();
    scratch_.clear();
    scratch_.shrink_to_fit();
}

bool PinyinSearch::learnHead(std::size_t row, std::size_t rowCount, std::uint64_t head) {
    if (head == 0) {
        return true;
    }
    const unsigned lead = leadOf(head);
    if (lead > kLongestLead) {
        return false;
    }
    if (heads_.empty()) {
        heads_.assign(rowCount, 0);
    }
    heads_[row] = head;
    longestLead_ = std::max(longestLead_, lead);
    typed_.clear();
    return true;
}

bool PinyinSearch::learnText(std::size_t row, std::size_t rowCount, QStringView text) {
    qsizetype at = 0;
    return learnHead(row, rowCount, headOf([&]() -> char32_t {
                         if (at >= text.size()) {
                             return 0;
                         }
                         const char16_t unit = text[at++].unicode();
                         if (QChar::isHighSurrogate(unit) && at < text.size() &&
                             text[at].isLowSurrogate()) {
                             return QChar::surrogateToUcs4(unit, text[at++].unicode());
                         }
                         return unit;
                     }));
}

bool PinyinSearch::learnUtf8(std::size_t row, std::size_t rowCount, std::string_view name) {
    // Printable ASCII and three-byte ideographs only.
    std::size_t at = 0;
    return learnHead(row, rowCount, headOf([&]() -> char32_t {
                         if (at >= name.size()) {
                             return 0;
                         }
                         const auto lead = static_cast<unsigned char>(name[at]);
                         if (lead < 0x80 || at + 2 >= name.size()) {
                             ++at;
                             return lead < 0x80 ? char32_t(lead) : char32_t(0xFFFD);
                         }
                         const auto b1 = static_cast<unsigned char>(name[at + 1]);
                         const auto b2 = static_cast<unsigned char>(name[at + 2]);
                         at += 3;
                         return ((lead & 0x0FU) << 12) | ((b1 & 0x3FU) << 6) | (b2 & 0x3FU);
                     }));
}

void PinyinSearch::step(std::size_t typedLength, const DisplayText& display) {
    const std::u16string_view typed = std::u16string_view(typed_).substr(0, typedLength);
    const std::size_t k = typedLength - 1;
    const char16_t key = typed[k];
    const QString typedText = QString::fromRawData(reinterpret_cast<const QChar*>(typed.data()),
                                                   static_cast<qsizetype>(typed.size()));
    // The rows found so far that the longer text still finds. Rows in order with equal
    // heads (names beginning alike) are judged once.
    scratch_.clear();
    std::uint64_t lastHead = 0;
    bool lastFound = false;
    for (const std::uint32_t row : found_) {
        const std::uint64_t head = heads_[row];
        if (head != lastHead || lastHead == 0) {
            const Verdict verdict = check(head, typed);
            lastHead = verdict == Verdict::Unknown ? 0 : head;
            lastFound =
                verdict == Verdict::Found ||
                (verdict == Verdict::Unknown && pinyin::readsAsPinyin(display(row), typedText));
        }
        if (lastFound) {
            scratch_.push_back(row);
        }
    }
    // The rows whose lead is the text before this key, whose h this key begins.
    const std::size_t joinedAt = scratch_.size();
    if (key >= u'a' && key <= u'z' && k <= longestLead_) {
        const std::uint32_t bit = 1U << (key - u'a');
        const std::vector<std::uint32_t>& initialsOf = initials();
        const std::uint64_t leadWanted = std::uint64_t{k} << kLeadShift;
        constexpr std::uint64_t kLeadMask = std::uint64_t{0xFF} << kLeadShift;
        const std::uint64_t* heads = heads_.data();
        for (std::size_t row = run_.first; row < run_.second; ++row) {
            const std::uint64_t head = heads[row];
            if (head != 0 && (head & kLeadMask) == leadWanted &&
                (initialsOf[slot(head, 0) - kSetBase] & bit) != 0) {
                scratch_.push_back(static_cast<std::uint32_t>(row));
            }
        }
    }
    std::inplace_merge(scratch_.begin(), scratch_.begin() + static_cast<std::ptrdiff_t>(joinedAt),
                       scratch_.end());
    found_.swap(scratch_);
}

const std::vector<std::uint32_t>& PinyinSearch::rowsReading(QStringView typed, std::size_t rowCount,
                                                            const RunOf& runOf,
                                                            const DisplayText& display) {
    std::u16string lower(static_cast<std::size_t>(typed.size()), u'\0');
    for (qsizetype i = 0; i < typed.size(); ++i) {
        lower[static_cast<std::size_t>(i)] = pinyin::lowered(typed[i].unicode());
    }
    std::size_t known = 0;
    if (!typed_.empty() && lower.size() >= typed_.size() &&
        std::u16string_view(lower).substr(0, typed_.size()) == typed_) {
        known = typed_.size();
    } else {
        found_.clear();
        run_ = {0, rowCount};
    }
    typed_ = std::move(lower);
    for (std::size_t length = known + 1; length <= typed_.size(); ++length) {
        step(length, display);
        // Rows whose lead is longer still join later: they start with this text.
        if (length <= longestLead_) {
            run_ = runOf(QStringView(typed_).first(static_cast<qsizetype>(length)));
        } else {
            run_ = {0, 0};
        }
    }
    return found_;
}

} // namespace names
