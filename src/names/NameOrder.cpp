#include "names/NameOrder.h"

#include "names/KeyWindow.h"
#include "names/MisreadGbk.h"
#include "names/NameCodec.h"

#include <QChar>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace names {

namespace {

// The longest key one byte of a name can give: an undecodable byte is the unit
// U+DC80 + byte, three bytes in a key.
constexpr std::size_t kMaxKeyBytesPerByte = 3;
// Room for the longest name's key beyond the names' own size (a name has at most 255
// bytes on the file systems Linux mounts).
constexpr std::size_t kKeySlack = kMaxKeyBytesPerByte * 256;

// From the CJK punctuation to the end of the Yi syllables (kana, Hangul letters, CJK
// ideographs), no unit has an upper case of its own; Chinese names skip the table.
constexpr char16_t kCaselessFrom = 0x3000;
constexpr char16_t kCaselessTo = 0xA4D0;

char16_t upperUnit(char16_t unit) {
    if (unit < 0x80) {
        return unit >= u'a' && unit <= u'z' ? char16_t(unit - (u'a' - u'A')) : unit;
    }
    if (unit >= kCaselessFrom && unit < kCaselessTo) {
        return unit;
    }
    // The table maps 16-bit units: a surrogate is no letter of its own.
    if (QChar::isSurrogate(unit)) {
        return unit;
    }
    const char32_t upper = QChar::toUpper(char32_t(unit));
    return upper <= 0xFFFF ? char16_t(upper) : unit;
}

// Writes a unit as UTF-8 would write a code point of that value; byte order of the
// results is the order of the units.
char* putUnit(char* out, char16_t unit) {
    if (unit < 0x80) {
        *out++ = static_cast<char>(unit);
    } else if (unit < 0x800) {
        *out++ = static_cast<char>(0xC0 | (unit >> 6));
        *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        *out++ = static_cast<char>(0xE0 | (unit >> 12));
        *out++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    }
    return out;
}

// Keys of the bytes from p to end, which are valid UTF-8.
char* putUtf8(char* out, const unsigned char* p, const unsigned char* end) {
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            out = putUnit(out, upperUnit(lead));
            p += 1;
        } else if (lead < 0xE0) {
            out = putUnit(out, upperUnit(char16_t(((lead & 0x1F) << 6) | (p[1] & 0x3F))));
            p += 2;
        } else if (lead < 0xF0) {
            const auto unit =
                char16_t(((lead & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
            if (unit >= kCaselessFrom && unit < kCaselessTo) {
                // Its key is its own UTF-8.
                std::memcpy(out, p, 3);
                out += 3;
            } else {
                out = putUnit(out, upperUnit(unit));
            }
            p += 3;
        } else {
            const char32_t cp = (char32_t(lead & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
                                (char32_t(p[2] & 0x3F) << 6) | char32_t(p[3] & 0x3F);
            out = putUnit(out, QChar::highSurrogate(cp));
            out = putUnit(out, QChar::lowSurrogate(cp));
            p += 4;
        }
    }
    return out;
}

// Writes the key of `name` at `out`, which has room for kMaxKeyBytesPerByte bytes per
// byte of the name, and returns the end of the key.
char* writeKey(std::string_view name, char* const start) {
    char* out = start;
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const auto* const end = p + name.size();
    // Most names are ASCII: upper-case them byte by byte, and only decode from the first
    // byte that is not.
    for (; p < end && *p < 0x80; ++p) {
        const unsigned char c = *p;
        *out++ = static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
    }
    if (p == end) {
        return out;
    }
    if (isValidUtf8(std::string_view(reinterpret_cast<const char*>(p), std::size_t(end - p))) &&
        !looksLikeMisreadGbk(name)) {
        return putUtf8(out, p, end);
    }
    // Not UTF-8, or GBK that passes for it: the key follows the text the user sees, from
    // the start.
    out = start;
    const QString text = displayName(name);
    for (const QChar unit : text) {
        out = putUnit(out, upperUnit(unit.unicode()));
    }
    return out;
}

// Writes the keys of names into a buffer it keeps, one key at a time.
class KeyWriter {
public:
    std::string_view keyOf(std::string_view name) {
        const std::size_t room = kMaxKeyBytesPerByte * name.size();
        if (buffer_.size() < room) {
            buffer_.resize(std::max(room, kKeySlack));
        }
        return {buffer_.data(), std::size_t(writeKey(name, buffer_.data()) - buffer_.data())};
    }

private:
    std::vector<char> buffer_;
};

// A name's place in the sort: the twelve key bytes from some offset on, big-endian, with
// zeros past the key's end (no key byte is zero), and the name's index. Most comparisons
// end in the window, without making any key again.
struct Entry {
    std::uint64_t high;
    std::uint32_t low;
    std::uint32_t index;
};

constexpr std::size_t kWindow = 12;

Entry entryOf(std::string_view key, std::size_t offset, std::size_t index) {
    unsigned char bytes[kWindow] = {};
    if (key.size() > offset) {
        std::memcpy(bytes, key.data() + offset, std::min(kWindow, key.size() - offset));
    }
    std::uint64_t high = 0;
    for (std::size_t j = 0; j < 8; ++j) {
        high = (high << 8) | bytes[j];
    }
    std::uint32_t low = 0;
    for (std::size_t j = 8; j < kWindow; ++j) {
        low = (low << 8) | bytes[j];
    }
    return {high, low, static_cast<std::uint32_t>(index)};
}

bool windowBefore(const Entry& a, const Entry& b) {
    return a.high != b.high ? a.high < b.high : a.low < b.low;
}

bool sameWindow(const Entry& a, const Entry& b) {
    return a.high == b.high && a.low == b.low;
}

void sortFrom(Entry* first, Entry* last, std::size_t offset, const NameList& names,
              KeyWriter& keys);

// Orders entries whose windows are all equal, from `offset` on: keys that end inside the
// window are equal, and the names' bytes decide between them (as unsigned chars); else
// by the next twelve key bytes.
void settleTie(Entry* first, Entry* last, std::size_t offset, const NameList& names,
               KeyWriter& keys) {
    if ((first->low & 0xFF) == 0) {
        std::sort(first, last, [&names](const Entry& a, const Entry& b) {
            return names.at(a.index) < names.at(b.index);
        });
        return;
    }
    const std::size_t next = offset + kWindow;
    for (Entry* entry = first; entry != last; ++entry) {
        *entry = entryOf(keys.keyOf(names.at(entry->index)), next, entry->index);
    }
    sortFrom(first, last, next, names, keys);
}

// Sorts entries whose keys are equal before `offset` and whose windows start there:
// by the windows, then each run of equal windows by what follows (a radix sort whose
// digits are twelve bytes wide).
void sortFrom(Entry* first, Entry* last, std::size_t offset, const NameList& names,
              KeyWriter& keys) {
    std::sort(first, last, windowBefore);
    for (Entry* run = first; run != last;) {
        Entry* end = run + 1;
        while (end != last && sameWindow(*end, *run)) {
            ++end;
        }
        if (end - run > 1) {
            settleTie(run, end, offset, names, keys);
        }
        run = end;
    }
}

} // namespace

// The windows of a list's names, made as the names come, a chunk at a time, each chunk
// sorted as a run. Each entry is eight bytes: a name's packed key window above its index.
// The packing is fitted to the keys of the first chunk; should a later key not fit, every
// window is made again with a packing that fits all keys seen so far.
struct NameSorter::Keys {
    // Names are keyed this many at a time.
    static constexpr std::size_t kChunk = 4096;
    // After this many refittings the windows hold the keys' bytes as they are.
    static constexpr int kMaxRemakes = 4;
    static constexpr unsigned kEntryBits = 64;
    // Up to 2^24 names the windows have forty bits; beyond, thirty-two.
    static constexpr unsigned kDefaultIndexBits = 24;

    explicit Keys(unsigned firstIndexBits) : indexBits(firstIndexBits) {}

    void add(const NameList& names) {
        if (entries.empty() && names.size() > kChunk) {
            entries.reserve(names.size());
        }
        while (entries.size() < names.size()) {
            addChunk(names, std::min(names.size(), entries.size() + kChunk));
        }
    }

    [[nodiscard]] unsigned windowBits() const { return kEntryBits - indexBits; }
    [[nodiscard]] std::size_t indexOf(std::uint64_t entry) const {
        return static_cast<std::size_t>(entry & ((std::uint64_t{1} << indexBits) - 1));
    }
    [[nodiscard]] bool sameWindow(std::uint64_t a, std::uint64_t b) const {
        return (a >> indexBits) == (b >> indexBits);
    }

    void addChunk(const NameList& names, std::size_t end) {
        const std::size_t begin = entries.size();
        if (begin == 0) {
            for (std::size_t i = 0; i < end; ++i) {
                stats.add(writer.keyOf(names.at(i)));
            }
            window = KeyWindow::fitting(stats, windowBits());
        }
        if (end > (std::size_t{1} << indexBits)) {
            // More names than the index bits can count: fewer bits for the windows.
            const unsigned narrow = indexBits;
            indexBits = 32;
            remake(names, narrow);
        }
        bool fits = true;
        for (std::size_t i = begin; i < end; ++i) {
            const std::string_view key = writer.keyOf(names.at(i));
            if (begin != 0) {
                stats.add(key);
            }
            std::uint64_t packed = 0;
            fits = window.pack(key, packed) && fits;
            entries.push_back(packed << indexBits | i);
        }
        if (!fits) {
            ++remakes;
            remake(names, indexBits);
            return;
        }
        std::sort(entries.begin() + begin, entries.end());
        addRun(begin);
    }

    // Packs every window again, with a packing that fits all keys seen, and sorts them
    // as one run. `oldIndexBits` is how the entries hold their indices so far.
    void remake(const NameList& names, unsigned oldIndexBits) {
        window = remakes > kMaxRemakes ? KeyWindow::plain(windowBits())
                                       : KeyWindow::fitting(stats, windowBits());
        const std::uint64_t oldMask = (std::uint64_t{1} << oldIndexBits) - 1;
        for (std::uint64_t& entry : entries) {
            const auto index = static_cast<std::size_t>(entry & oldMask);
            std::uint64_t packed = 0;
            window.pack(writer.keyOf(names.at(index)), packed);
            entry = packed << indexBits | index;
        }
        std::sort(entries.begin(), entries.end());
        runs.assign(1, 0);
    }

    // The entries from `start` on are sorted. Runs are merged while the last is as long
    // as the one before it, so that most merging is done while the names still arrive
    // and at most a run per power of two is left.
    void addRun(std::size_t start) {
        runs.push_back(start);
        while (runs.size() >= 2) {
            const std::size_t before = runs[runs.size() - 2];
            const std::size_t last = runs.back();
            if (entries.size() - last < last - before) {
                break;
            }
            std::inplace_merge(entries.begin() + before, entries.begin() + last, entries.end());
            runs.pop_back();
        }
    }

    // The order of all entries: the runs left are merged straight into the order (no
    // merge buffer beside them). Names whose windows are equal are then sorted by their
    // keys from where the windows leave off.
    PageVector<std::uint32_t> takeOrder(const NameList& names) {
        // The order's pages are touched only as it is written, and the entries' pages
        // are given back as the merge passes them, so that both are never held whole.
        PageVector<std::uint32_t> order;
        std::uint32_t* const into = order.extend(entries.size());
        std::size_t out = 0;
        std::vector<Entry> tie;
        std::uint64_t tieWindow = 0;
        const auto settle = [&] {
            if (tie.size() > 1) {
                const std::size_t offset = window.settledBefore();
                for (Entry& entry : tie) {
                    entry = entryOf(writer.keyOf(names.at(entry.index)), offset, entry.index);
                }
                sortFrom(tie.data(), tie.data() + tie.size(), offset, names, writer);
            }
            for (const Entry& entry : tie) {
                into[out++] = entry.index;
            }
            tie.clear();
        };
        // The heads and ends of the runs, at most one per power of two, and the value at
        // each head; a run that is done shows the highest value and is never taken.
        const std::size_t count = runs.size();
        std::vector<const std::uint64_t*> heads(count);
        std::vector<const std::uint64_t*> ends(count);
        std::vector<std::uint64_t> values(count);
        for (std::size_t r = 0; r < count; ++r) {
            heads[r] = entries.begin() + runs[r];
            ends[r] = r + 1 < count ? entries.begin() + runs[r + 1] : entries.end();
            values[r] = heads[r] != ends[r] ? *heads[r] : UINT64_MAX;
        }
        constexpr std::size_t kGiveBackEvery = std::size_t{1} << 16;
        for (std::size_t taken = 1; taken <= entries.size(); ++taken) {
            if (taken % kGiveBackEvery == 0) {
                for (std::size_t r = 0; r < count; ++r) {
                    entries.discard(runs[r], std::size_t(heads[r] - entries.begin()));
                }
            }
            std::size_t least = 0;
            for (std::size_t r = 1; r < count; ++r) {
                if (values[r] < values[least] ||
                    (values[r] == values[least] && heads[least] == ends[least])) {
                    least = r;
                }
            }
            const std::uint64_t next = values[least];
            ++heads[least];
            values[least] = heads[least] != ends[least] ? *heads[least] : UINT64_MAX;
            if (!tie.empty() && !sameWindow(tieWindow, next)) {
                settle();
            }
            tieWindow = next;
            tie.push_back({0, 0, static_cast<std::uint32_t>(indexOf(next))});
        }
        settle();
        return order;
    }

    PageVector<std::uint64_t> entries; // window << indexBits | index
    KeyWriter writer;
    KeyStats stats;
    KeyWindow window;
    // Bits of an entry that hold the index: the rest holds the window.
    unsigned indexBits;
    int remakes = 0;
    std::vector<std::size_t> runs; // where each sorted run of entries starts
};

void appendSortKey(std::string_view name, std::string& key) {
    const std::size_t start = key.size();
    key.resize(start + kMaxKeyBytesPerByte * name.size());
    const char* const end = writeKey(name, key.data() + start);
    key.resize(static_cast<std::size_t>(end - key.data()));
}

char16_t sortUpperUnit(char16_t unit) {
    return upperUnit(unit);
}

void appendTextKey(QStringView text, std::string& key) {
    const std::size_t start = key.size();
    key.resize(start + kMaxKeyBytesPerByte * static_cast<std::size_t>(text.size()));
    char* out = key.data() + start;
    for (const QChar unit : text) {
        out = putUnit(out, upperUnit(unit.unicode()));
    }
    key.resize(static_cast<std::size_t>(out - key.data()));
}

void sortNames(NameList& names) {
    if (names.size() < 2) {
        return;
    }
    const PageVector<std::uint32_t> order = sortedOrder(names);
    names.permute([&order](std::size_t i) { return std::size_t(order[i]); }, {});
}

PageVector<std::uint32_t> sortedOrder(const NameList& names) {
    NameSorter sorter;
    sorter.add(names);
    return sorter.takeOrder(names);
}

NameSorter::NameSorter() : NameSorter(Keys::kDefaultIndexBits) {}
NameSorter::NameSorter(unsigned indexBits)
    : indexBits_(indexBits), keys_(std::make_unique<Keys>(indexBits)) {}
NameSorter::~NameSorter() = default;
NameSorter::NameSorter(NameSorter&&) noexcept = default;
NameSorter& NameSorter::operator=(NameSorter&&) noexcept = default;

void NameSorter::add(const NameList& names) {
    keys_->add(names);
}

PageVector<std::uint32_t> NameSorter::takeOrder(const NameList& names) {
    add(names);
    PageVector<std::uint32_t> order = keys_->takeOrder(names);
    keys_ = std::make_unique<Keys>(indexBits_);
    return order;
}

} // namespace names
