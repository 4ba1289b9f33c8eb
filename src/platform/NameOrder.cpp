#include "platform/NameOrder.h"

#include "platform/NameCodec.h"

#include <QChar>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace platform {

namespace {

// The longest key one byte of a name can give: an undecodable byte is the unit
// U+DC80 + byte, three bytes in a key.
constexpr std::size_t kMaxKeyBytesPerByte = 3;
// Room for the longest name's key beyond the names' own size (a name has at most 255
// bytes on the file systems Linux mounts).
constexpr std::size_t kKeySlack = kMaxKeyBytesPerByte * 256;

char16_t upperUnit(char16_t unit) {
    if (unit < 0x80) {
        return unit >= u'a' && unit <= u'z' ? char16_t(unit - (u'a' - u'A')) : unit;
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
            out = putUnit(out, upperUnit(char16_t(((lead & 0x0F) << 12) | ((p[1] & 0x3F) << 6) |
                                                  (p[2] & 0x3F))));
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
    if (isValidUtf8(std::string_view(reinterpret_cast<const char*>(p), std::size_t(end - p)))) {
        return putUtf8(out, p, end);
    }
    // Not UTF-8: the key follows the text the user sees, from the start.
    out = start;
    const QString text = displayName(name);
    for (const QChar unit : text) {
        out = putUnit(out, upperUnit(unit.unicode()));
    }
    return out;
}

template <typename Offset> struct Entry {
    Offset begin; // of the key in the key buffer
    Offset end;
    Offset index; // of the name in the list
};

template <typename Offset> void sortWithKeys(NameList& names) {
    const std::size_t count = names.size();
    // Sized for keys as long as the names, which all ASCII and Chinese UTF-8 names give;
    // it grows only for names whose keys are longer.
    std::vector<char> keys(names.byteSize() + kKeySlack);
    std::size_t used = 0;
    std::vector<Entry<Offset>> entries(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view name = names.at(i);
        const std::size_t room = kMaxKeyBytesPerByte * name.size();
        if (keys.size() - used < room) {
            keys.resize(std::max(keys.size() * 2, used + room));
        }
        const char* const end = writeKey(name, keys.data() + used);
        const auto begin = static_cast<Offset>(used);
        used = static_cast<std::size_t>(end - keys.data());
        entries[i] = {begin, static_cast<Offset>(used), static_cast<Offset>(i)};
    }

    const char* const base = keys.data();
    std::sort(entries.begin(), entries.end(), [&](const Entry<Offset>& a, const Entry<Offset>& b) {
        const std::size_t lengthA = a.end - a.begin;
        const std::size_t lengthB = b.end - b.begin;
        const int order = std::memcmp(base + a.begin, base + b.begin, std::min(lengthA, lengthB));
        if (order != 0) {
            return order < 0;
        }
        if (lengthA != lengthB) {
            return lengthA < lengthB;
        }
        // Names NTFS would take for the same one: their bytes decide (as unsigned chars).
        return names.at(a.index) < names.at(b.index);
    });
    keys = std::vector<char>();

    NameList sorted;
    sorted.reserve(count, names.byteSize());
    for (const Entry<Offset>& entry : entries) {
        sorted.append(names.at(entry.index));
    }
    names = std::move(sorted);
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
    // Offsets of 32 bits keep the index small; only folders whose keys pass 4 GB need
    // more.
    constexpr std::size_t kSmall = std::numeric_limits<std::uint32_t>::max();
    if (names.size() <= kSmall && names.byteSize() * kMaxKeyBytesPerByte + kKeySlack <= kSmall) {
        sortWithKeys<std::uint32_t>(names);
    } else {
        sortWithKeys<std::size_t>(names);
    }
}

} // namespace platform
