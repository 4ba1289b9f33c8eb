#include "names/NameOrder.h"

#include "names/MisreadGbk.h"
#include "names/NameCodec.h"

#include <QChar>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
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

template <typename Offset> struct Entry {
    // The eight key bytes that follow the part all keys share, big-endian, zero after
    // the key's end: most comparisons end here, without touching the keys.
    std::uint64_t window;
    Offset begin; // of the key in the key buffer
    Offset index; // of the name in the list
};

// The keys of a list's names, made one name at a time, and the sort by them.
template <typename Offset> class KeyedNames {
public:
    // Whether offsets of this width hold `count` names of `bytes` bytes in all.
    static bool holds(std::size_t count, std::size_t bytes) {
        constexpr std::size_t kLargest = std::numeric_limits<Offset>::max();
        return count <= kLargest && bytes <= (kLargest - kKeySlack) / kMaxKeyBytesPerByte;
    }

    // Makes the keys of the names of `names` from the first one not keyed yet.
    void add(const NameList& names) {
        if (entries_.empty()) {
            // Taken whole, the list is known to its end; taken as it arrives, the
            // buffers grow as it does.
            keys_.reserve(names.byteSize() + kKeySlack);
            entries_.reserve(names.size());
            ends_.reserve(names.size());
        }
        for (std::size_t i = entries_.size(); i < names.size(); ++i) {
            const std::string_view name = names.at(i);
            const std::size_t begin = keys_.size();
            char* const start = keys_.extend(kMaxKeyBytesPerByte * name.size());
            keys_.truncate(begin + static_cast<std::size_t>(writeKey(name, start) - start));
            entries_.push_back({0, static_cast<Offset>(begin), static_cast<Offset>(i)});
            ends_.push_back(static_cast<Offset>(keys_.size()));
        }
    }

    // Sorts the names' index by their keys, then hands the sorted entries and the key
    // buffer to `done`.
    template <typename Done> void sort(const NameList& names, Done done) {
        PageVector<Entry<Offset>> entries = std::move(entries_);
        PageVector<Offset> ends = std::move(ends_);
        PageVector<char> keys = std::move(keys_);
        const char* const base = keys.data();
        const std::size_t shared = sharedPrefix(base, entries, ends);
        for (Entry<Offset>& entry : entries) {
            const std::size_t from = entry.begin + shared;
            const std::size_t available = std::min<std::size_t>(8, ends[entry.index] - from);
            std::uint64_t window = 0;
            for (std::size_t j = 0; j < 8; ++j) {
                window = (window << 8) |
                         (j < available ? static_cast<unsigned char>(base[from + j]) : 0U);
            }
            entry.window = window;
        }

        std::sort(entries.begin(), entries.end(),
                  [&](const Entry<Offset>& a, const Entry<Offset>& b) {
                      if (a.window != b.window) {
                          return a.window < b.window;
                      }
                      const std::size_t lengthA = ends[a.index] - a.begin;
                      const std::size_t lengthB = ends[b.index] - b.begin;
                      const int order =
                          std::memcmp(base + a.begin, base + b.begin, std::min(lengthA, lengthB));
                      if (order != 0) {
                          return order < 0;
                      }
                      if (lengthA != lengthB) {
                          return lengthA < lengthB;
                      }
                      // Names NTFS would take for the same one: their bytes decide (as
                      // unsigned chars).
                      return names.at(a.index) < names.at(b.index);
                  });
        ends = {};
        done(entries, std::move(keys));
    }

private:
    // The length of the prefix all keys share.
    static std::size_t sharedPrefix(const char* keys, const PageVector<Entry<Offset>>& entries,
                                    const PageVector<Offset>& ends) {
        if (entries.empty()) {
            return 0;
        }
        std::size_t shared = ends[0] - entries[0].begin;
        for (std::size_t i = 1; i < entries.size() && shared > 0; ++i) {
            const std::size_t length = std::min<std::size_t>(shared, ends[i] - entries[i].begin);
            std::size_t same = 0;
            while (same < length && keys[same] == keys[entries[i].begin + same]) {
                ++same;
            }
            shared = same;
        }
        return shared;
    }

    PageVector<char> keys_;
    PageVector<Entry<Offset>> entries_;
    PageVector<Offset> ends_; // of each name's key, by the name's index
};

// Offsets of 32 bits keep the index small; only folders whose keys pass 4 GB need more.
template <typename Done> void sortByKeys(const NameList& names, Done done) {
    if (KeyedNames<std::uint32_t>::holds(names.size(), names.byteSize())) {
        KeyedNames<std::uint32_t> keyed;
        keyed.add(names);
        keyed.sort(names, done);
    } else {
        KeyedNames<std::size_t> keyed;
        keyed.add(names);
        keyed.sort(names, done);
    }
}

template <typename Offset>
std::vector<std::uint32_t> orderOf(const NameList& names, KeyedNames<Offset>& keyed) {
    std::vector<std::uint32_t> order(names.size());
    keyed.sort(names, [&order](const auto& entries, PageVector<char>&& /*keys*/) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            order[i] = static_cast<std::uint32_t>(entries[i].index);
        }
    });
    return order;
}

} // namespace

void appendSortKey(std::string_view name, std::string& key) {
    const std::size_t start = key.size();
    key.resize(start + kMaxKeyBytesPerByte * name.size());
    const char* const end = writeKey(name, key.data() + start);
    key.resize(static_cast<std::size_t>(end - key.data()));
}

void sortNames(NameList& names) {
    if (names.size() < 2) {
        return;
    }
    sortByKeys(names, [&names](const auto& entries, PageVector<char>&& keys) {
        // The key buffer, as large as the names or larger, takes the sorted names.
        names.permute([&entries](std::size_t i) { return std::size_t(entries[i].index); },
                      std::move(keys));
    });
}

std::vector<std::uint32_t> sortedOrder(const NameList& names) {
    NameSorter sorter;
    sorter.add(names);
    return sorter.takeOrder(names);
}

struct NameSorter::Keys {
    KeyedNames<std::uint32_t> keyed;
    // Set once the names outgrow 32-bit offsets; the order is then made at the end.
    bool outgrown = false;
};

NameSorter::NameSorter() : keys_(std::make_unique<Keys>()) {}
NameSorter::~NameSorter() = default;
NameSorter::NameSorter(NameSorter&&) noexcept = default;
NameSorter& NameSorter::operator=(NameSorter&&) noexcept = default;

void NameSorter::add(const NameList& names) {
    if (!keys_->outgrown && !KeyedNames<std::uint32_t>::holds(names.size(), names.byteSize())) {
        keys_->outgrown = true;
        keys_->keyed = {};
    }
    if (!keys_->outgrown) {
        keys_->keyed.add(names);
    }
}

std::vector<std::uint32_t> NameSorter::takeOrder(const NameList& names) {
    add(names);
    if (keys_->outgrown) {
        KeyedNames<std::size_t> keyed;
        keyed.add(names);
        return orderOf(names, keyed);
    }
    std::vector<std::uint32_t> order = orderOf(names, keys_->keyed);
    keys_->keyed = {};
    return order;
}

} // namespace names
