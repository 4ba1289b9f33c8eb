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
class NameList {
public:
    void append(std::string_view name) {
        bytes_.append(name.data(), name.size());
        ends_.push_back(bytes_.size());
        if (!order_.empty()) {
            order_.push_back(static_cast<std::uint32_t>(ends_.size() - 1));
        }
    }
    // Appends names given as their sizes and their bytes one after another.
    void appendPacked(const std::vector<std::size_t>& sizes, std::string_view bytes) {
        std::size_t end = bytes_.size();
        bytes_.append(bytes.data(), bytes.size());
        for (const std::size_t size : sizes) {
            end += size;
            ends_.push_back(end);
            if (!order_.empty()) {
                order_.push_back(static_cast<std::uint32_t>(ends_.size() - 1));
            }
        }
    }
    [[nodiscard]] std::size_t size() const { return ends_.size(); }
    // The bytes of the names, one after another as they were appended.
    [[nodiscard]] std::string_view bytes() const { return {bytes_.data(), bytes_.size()}; }
    // The bytes of all names together.
    [[nodiscard]] std::size_t byteSize() const { return bytes_.size(); }
    [[nodiscard]] bool empty() const { return ends_.empty(); }
    [[nodiscard]] std::string_view at(std::size_t i) const {
        const std::size_t k = order_.empty() ? i : order_[i];
        const std::size_t begin = k == 0 ? 0 : ends_[k - 1];
        return {bytes_.data() + begin, ends_[k] - begin};
    }
    // Shows the names in another order without moving them: name i becomes the name
    // appended as number order[i]. `order` is a permutation of 0 .. size() - 1.
    void setOrder(PageVector<std::uint32_t> order) { order_ = std::move(order); }
    void clear() {
        bytes_.clear();
        ends_.clear();
        order_.clear();
    }
    // Gives back the slack that growing left behind. A big list gives back whole pages
    // without moving; a small one is copied, which costs little.
    void trimSlack() {
        bytes_.shrink_to_fit();
        ends_.shrink_to_fit();
        order_.shrink_to_fit();
    }
    // Reorders the names: name i becomes the old name order(i), for a permutation
    // `order` of the indices. `spare` becomes the byte buffer (a buffer the caller has
    // done with, whatever it holds; memory already in use costs no page faults), and
    // the old one is freed.
    template <typename Order> void permute(const Order& order, PageVector<char>&& spare) {
        PageVector<char> bytes = std::move(spare);
        bytes.clear();
        char* const into = bytes.extend(bytes_.size());
        PageVector<std::size_t> ends;
        std::size_t* const endsInto = ends.extend(ends_.size());
        // The names are gathered from all over the old buffer; asking for them a little
        // ahead lets the memory fetches overlap.
        constexpr std::size_t kAhead = 16;
        const std::size_t count = ends_.size();
        std::size_t used = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (i + kAhead < count) {
                __builtin_prefetch(at(order(i + kAhead)).data());
            }
            const std::string_view name = at(order(i));
            std::copy(name.begin(), name.end(), into + used);
            used += name.size();
            endsInto[i] = used;
        }
        bytes_ = std::move(bytes);
        ends_ = std::move(ends);
        order_.clear();
    }
    [[nodiscard]] std::size_t memoryUsed() const {
        return bytes_.capacity() + ends_.capacity() * sizeof(std::size_t) +
               order_.capacity() * sizeof(std::uint32_t);
    }

private:
    PageVector<char> bytes_;
    PageVector<std::size_t> ends_;
    PageVector<std::uint32_t> order_;
};

} // namespace names
