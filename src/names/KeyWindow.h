#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace names {

// What the sort keys seen so far hold at each of their first positions: the lowest and
// the highest byte, and how long the shortest and the longest key are.
class KeyStats {
public:
    static constexpr std::size_t kTracked = 64;

    void add(std::string_view key);

    [[nodiscard]] unsigned char lowest(std::size_t position) const { return low_[position]; }
    [[nodiscard]] unsigned char highest(std::size_t position) const { return high_[position]; }
    // Whether some key has ended at or before `position`.
    [[nodiscard]] bool someEnded(std::size_t position) const { return position >= shortest_; }
    // Whether no key reaches `position`.
    [[nodiscard]] bool allEnded(std::size_t position) const { return position >= longest_; }

private:
    std::array<unsigned char, kTracked> low_ = filled(0xFF);
    std::array<unsigned char, kTracked> high_ = filled(0x00);
    std::size_t shortest_ = SIZE_MAX;
    std::size_t longest_ = 0;

    static std::array<unsigned char, kTracked> filled(unsigned char value) {
        std::array<unsigned char, kTracked> bytes{};
        bytes.fill(value);
        return bytes;
    }
};

// Packs the leading bytes of a sort key into a fixed number of bits so that the packed
// values order as the keys do. Positions where every key seen holds the same byte take no
// bits, and the others only as many as the range of bytes seen there needs: ten digits
// take four bits, printable ASCII seven. A million numbered or dated names then differ
// within forty bits, where their raw bytes would need twelve bytes or more.
//
// Keys with equal windows are equal before settledBefore(); only there may they differ.
class KeyWindow {
public:
    // A packing that every key summed up in `stats` fits.
    static KeyWindow fitting(const KeyStats& stats, unsigned bits);
    // Each byte as it is, from the key's start: every key fits.
    static KeyWindow plain(unsigned bits);

    // Writes the window of `key` to `window`; false when the key holds a byte that the
    // packing has no room for (then `window` means nothing).
    bool pack(std::string_view key, std::uint64_t& window) const;
    [[nodiscard]] std::size_t settledBefore() const { return settledBefore_; }

private:
    struct Slot {
        std::size_t position;
        unsigned char low;  // the lowest byte with a value of its own
        unsigned char high; // and the highest; bytes outside do not fit
        unsigned char bits; // 0: every key holds `low` here (0: every key has ended)
        bool endSlot;       // an ended key takes value 0 here
    };

    void addSlot(const Slot& slot);

    std::vector<Slot> slots_;
    unsigned bits_ = 0;
    unsigned filled_ = 0;
    std::size_t settledBefore_ = 0;
};

} // namespace names
