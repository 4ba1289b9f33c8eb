#include "names/KeyWindow.h"

#include <algorithm>
#include <bit>

namespace names {

namespace {

struct ByteRange {
    unsigned low;
    unsigned high;
};

// Ranges a position's bytes are widened to when that costs no bit: a later key with
// another digit, letter or continuation byte there then still fits.
constexpr ByteRange kClasses[] = {
    {'0', '9'},   // digits
    {0x20, 0x7E}, // printable ASCII (keys hold no lower case)
    {0x80, 0xBF}, // continuation bytes
    {0xE0, 0xEF}, // leads of three-byte characters, Chinese among them
    {0x01, 0xFF}, // anything
};

unsigned bitsFor(unsigned values) {
    return static_cast<unsigned>(std::bit_width(values - 1));
}

} // namespace

void KeyStats::add(std::string_view key) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(key.data());
    const std::size_t tracked = std::min(key.size(), kTracked);
    for (std::size_t p = 0; p < tracked; ++p) {
        low_[p] = std::min(low_[p], bytes[p]);
        high_[p] = std::max(high_[p], bytes[p]);
    }
    shortest_ = std::min(shortest_, key.size());
    longest_ = std::max(longest_, key.size());
}

KeyWindow KeyWindow::fitting(const KeyStats& stats, unsigned bits) {
    KeyWindow window;
    window.bits_ = bits;
    for (std::size_t p = 0; window.filled_ < bits; ++p) {
        if (p >= KeyStats::kTracked) {
            window.addSlot({p, 0x01, 0xFF, 8, true});
            continue;
        }
        if (stats.allEnded(p)) {
            // Every key has ended: keys with equal windows are equal.
            window.addSlot({p, 0, 0, 0, false});
            window.settledBefore_ = p + 1;
            break;
        }
        const bool ended = stats.someEnded(p);
        const unsigned low = stats.lowest(p);
        const unsigned high = stats.highest(p);
        if (!ended && low == high) {
            window.addSlot(
                {p, static_cast<unsigned char>(low), static_cast<unsigned char>(low), 0, false});
            continue;
        }
        const unsigned endValues = ended ? 1 : 0;
        const unsigned bitsExact = bitsFor(high - low + 1 + endValues);
        ByteRange range{low, std::min(0xFFU, low + (1U << bitsExact) - 1 - endValues)};
        for (const ByteRange& wider : kClasses) {
            if (low >= wider.low && high <= wider.high) {
                if (bitsFor(wider.high - wider.low + 1 + endValues) == bitsExact) {
                    range = wider;
                }
                break;
            }
        }
        window.addSlot({p, static_cast<unsigned char>(range.low),
                        static_cast<unsigned char>(range.high),
                        static_cast<unsigned char>(bitsExact), ended});
    }
    return window;
}

KeyWindow KeyWindow::plain(unsigned bits) {
    KeyWindow window;
    window.bits_ = bits;
    for (std::size_t p = 0; window.filled_ < bits; ++p) {
        window.addSlot({p, 0x01, 0xFF, 8, true});
    }
    return window;
}

void KeyWindow::addSlot(const Slot& slot) {
    slots_.push_back(slot);
    filled_ += slot.bits;
    if (filled_ >= bits_) {
        // A slot cut short leaves the rest of its byte to compare.
        settledBefore_ = filled_ > bits_ ? slot.position : slot.position + 1;
    }
}

bool KeyWindow::pack(std::string_view key, std::uint64_t& window) const {
    const auto* bytes = reinterpret_cast<const unsigned char*>(key.data());
    std::uint64_t packed = 0;
    unsigned filled = 0;
    for (const Slot& slot : slots_) {
        const unsigned byte = slot.position < key.size() ? bytes[slot.position] : 0;
        if (slot.bits == 0) {
            if (byte != slot.low) {
                return false;
            }
            continue;
        }
        unsigned value = 0;
        if (byte == 0) {
            if (!slot.endSlot) {
                return false;
            }
        } else {
            if (byte < slot.low || byte > slot.high) {
                return false;
            }
            value = byte - slot.low + (slot.endSlot ? 1 : 0);
        }
        const unsigned take = std::min<unsigned>(slot.bits, bits_ - filled);
        packed = (packed << take) | (value >> (slot.bits - take));
        filled += take;
    }
    window = packed << (bits_ - filled);
    return true;
}

} // namespace names
