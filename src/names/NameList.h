#pragma once

#include "names/PageVector.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace names {

// The names of one folder, kept as raw bytes in one buffer. A million names cost
// little more than their bytes, and nothing is decoded until a row is shown.
//
// The bytes stay in the order the names were appended. Each name's end is kept in four
// bytes. Once the list is given another order, each place holds where its name begins
// and how long it is, five bytes a name, and the ends are dropped; names longer than
// 255 bytes, or bytes past 4 GiB, keep the ends and an index per place instead.
class NameList {
public:
    void append(std::string_view name);
    // Appends names given as their sizes and their bytes one after another.
    void appendPacked(const std::vector<std::size_t>& sizes, std::string_view bytes);
    [[nodiscard]] std::size_t size() const { return spans() ? begins_.size() : ends_.size(); }
    // The bytes of the names, one after another as they were appended.
    [[nodiscard]] std::string_view bytes() const { return {bytes_.data(), bytes_.size()}; }
    // The bytes of all names together.
    [[nodiscard]] std::size_t byteSize() const { return bytes_.size(); }
    [[nodiscard]] bool empty() const { return size() == 0; }
    [[nodiscard]] std::string_view at(std::size_t i) const {
        if (spans()) {
            return {bytes_.data() + begins_[i], lengths_[i]};
        }
        const std::size_t k = order_.empty() ? i : order_[i];
        const std::size_t begin = k == 0 ? 0 : endOf(k - 1);
        return {bytes_.data() + begin, endOf(k) - begin};
    }
    // Shows the names in another order without moving them: name i becomes the name
    // appended as number order[i]. `order` is a permutation of 0 .. size() - 1.
    void setOrder(PageVector<std::uint32_t> order);
    void clear();
    // Gives back the slack that growing left behind. A big list gives back whole pages
    // without moving; a small one is copied, which costs little.
    void trimSlack();
    // Reorders the names: name i becomes the old name order(i), for a permutation
    // `order` of the indices. `spare` becomes the byte buffer (a buffer the caller has
    // done with, whatever it holds; memory already in use costs no page faults), and
    // the old one is freed.
    template <typename Order> void permute(const Order& order, PageVector<char>&& spare) {
        PageVector<char> bytes = std::move(spare);
        bytes.clear();
        char* const into = bytes.extend(bytes_.size());
        // The names are gathered from all over the old buffer; asking for them a little
        // ahead lets the memory fetches overlap.
        constexpr std::size_t kAhead = 16;
        const std::size_t count = size();
        std::size_t used = 0;
        PageVector<std::uint32_t> ends;
        ends.reserve(count);
        std::vector<std::size_t> wraps;
        for (std::size_t i = 0; i < count; ++i) {
            if (i + kAhead < count) {
                __builtin_prefetch(at(order(i + kAhead)).data());
            }
            const std::string_view name = at(order(i));
            std::copy(name.begin(), name.end(), into + used);
            used += name.size();
            pushEnd(ends, wraps, used);
        }
        clear();
        bytes_ = std::move(bytes);
        ends_ = std::move(ends);
        wraps_ = std::move(wraps);
    }
    [[nodiscard]] std::size_t memoryUsed() const;

private:
    static constexpr unsigned kEndBits = 32;

    // Where each name ends, kept in four bytes: the low 32 bits of the end, and apart
    // the names at which the ends pass a multiple of 4 GiB (none in any real folder).
    static void pushEnd(PageVector<std::uint32_t>& ends, std::vector<std::size_t>& wraps,
                        std::size_t end);
    static std::size_t endOf(const PageVector<std::uint32_t>& ends,
                             const std::vector<std::size_t>& wraps, std::size_t k) {
        if (wraps.empty()) {
            return ends[k];
        }
        return wrapsPassed(wraps, k) << kEndBits | ends[k];
    }
    static std::size_t wrapsPassed(const std::vector<std::size_t>& wraps, std::size_t k);
    [[nodiscard]] std::size_t endOf(std::size_t k) const { return endOf(ends_, wraps_, k); }
    // Whether each place holds its name's beginning and length.
    [[nodiscard]] bool spans() const { return !lengths_.empty(); }
    // Back from spans to ends and an index per place, for a name spans cannot hold.
    void toEnds();

    PageVector<char> bytes_;
    PageVector<std::uint32_t> ends_;
    std::vector<std::size_t> wraps_;
    PageVector<std::uint32_t> order_;
    PageVector<std::uint32_t> begins_;
    PageVector<std::uint8_t> lengths_;
};

} // namespace names
