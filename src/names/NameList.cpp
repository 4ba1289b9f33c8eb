#include "names/NameList.h"

#include <algorithm>
#include <numeric>

namespace names {

namespace {

constexpr std::size_t kLongestSpan = UINT8_MAX;
constexpr std::size_t kSpanBytes = std::size_t{1} << 32;

} // namespace

void NameList::append(std::string_view name) {
    if (spans()) {
        if (name.size() <= kLongestSpan && bytes_.size() + name.size() < kSpanBytes) {
            begins_.push_back(static_cast<std::uint32_t>(bytes_.size()));
            lengths_.push_back(static_cast<std::uint8_t>(name.size()));
            bytes_.append(name.data(), name.size());
            return;
        }
        toEnds();
    }
    bytes_.append(name.data(), name.size());
    pushEnd(ends_, wraps_, bytes_.size());
    if (!order_.empty()) {
        order_.push_back(static_cast<std::uint32_t>(ends_.size() - 1));
    }
}

void NameList::appendPacked(const std::vector<std::size_t>& sizes, std::string_view bytes) {
    if (spans() || !order_.empty()) {
        std::size_t from = 0;
        for (const std::size_t size : sizes) {
            append(bytes.substr(from, size));
            from += size;
        }
        return;
    }
    std::size_t end = bytes_.size();
    bytes_.append(bytes.data(), bytes.size());
    for (const std::size_t size : sizes) {
        end += size;
        pushEnd(ends_, wraps_, end);
    }
}

void NameList::setOrder(PageVector<std::uint32_t> order) {
    if (spans()) {
        toEnds();
    }
    order_ = std::move(order);
    const std::size_t count = ends_.size();
    if (count == 0 || order_.size() != count || bytes_.size() >= kSpanBytes) {
        return;
    }
    for (std::size_t k = 0, begin = 0; k < count; begin = ends_[k++]) {
        if (ends_[k] - begin > kLongestSpan) {
            return;
        }
    }
    // The index of each place becomes where its name begins, in the same array.
    PageVector<std::uint8_t> lengths;
    std::uint8_t* const lengthInto = lengths.extend(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t k = order_[i];
        const std::uint32_t begin = k == 0 ? 0 : ends_[k - 1];
        lengthInto[i] = static_cast<std::uint8_t>(ends_[k] - begin);
        order_[i] = begin;
    }
    begins_ = std::move(order_);
    lengths_ = std::move(lengths);
    order_ = {};
    ends_ = {};
    wraps_.clear();
}

void NameList::toEnds() {
    const std::size_t count = begins_.size();
    // The bytes are in the order of appending: ranked by where they begin, the places
    // give that order back (an empty name sorts before the name that follows it).
    PageVector<std::uint32_t> byBegin;
    std::uint32_t* const ranked = byBegin.extend(count);
    std::iota(ranked, ranked + count, 0U);
    std::sort(ranked, ranked + count, [this](std::uint32_t a, std::uint32_t b) {
        return begins_[a] != begins_[b] ? begins_[a] < begins_[b] : lengths_[a] < lengths_[b];
    });
    PageVector<std::uint32_t> ends;
    std::vector<std::size_t> wraps;
    PageVector<std::uint32_t> order;
    std::uint32_t* const orderInto = order.extend(count);
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t place = ranked[k];
        pushEnd(ends, wraps, std::size_t{begins_[place]} + lengths_[place]);
        orderInto[place] = static_cast<std::uint32_t>(k);
    }
    ends_ = std::move(ends);
    wraps_ = std::move(wraps);
    order_ = std::move(order);
    begins_ = {};
    lengths_ = {};
}

void NameList::clear() {
    bytes_.clear();
    ends_.clear();
    wraps_.clear();
    order_.clear();
    begins_ = {};
    lengths_ = {};
}

void NameList::trimSlack() {
    bytes_.shrink_to_fit();
    ends_.shrink_to_fit();
    order_.shrink_to_fit();
    begins_.shrink_to_fit();
    lengths_.shrink_to_fit();
}

std::size_t NameList::memoryUsed() const {
    return bytes_.capacity() + ends_.capacity() * sizeof(std::uint32_t) +
           order_.capacity() * sizeof(std::uint32_t) + begins_.capacity() * sizeof(std::uint32_t) +
           lengths_.capacity();
}

void NameList::pushEnd(PageVector<std::uint32_t>& ends, std::vector<std::size_t>& wraps,
                       std::size_t end) {
    const std::size_t before = ends.empty() ? 0 : endOf(ends, wraps, ends.size() - 1);
    if ((end >> kEndBits) != (before >> kEndBits)) {
        wraps.push_back(ends.size());
    }
    ends.push_back(static_cast<std::uint32_t>(end));
}

std::size_t NameList::wrapsPassed(const std::vector<std::size_t>& wraps, std::size_t k) {
    return static_cast<std::size_t>(std::upper_bound(wraps.begin(), wraps.end(), k) -
                                    wraps.begin());
}

} // namespace names
