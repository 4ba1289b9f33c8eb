#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace platform {

// The names of one folder, kept as raw bytes in one buffer. A million names cost
// little more than their bytes, and nothing is decoded until a row is shown.
class NameList {
public:
    void append(std::string_view name) {
        bytes_.insert(bytes_.end(), name.begin(), name.end());
        ends_.push_back(bytes_.size());
    }
    [[nodiscard]] std::size_t size() const { return ends_.size(); }
    [[nodiscard]] bool empty() const { return ends_.empty(); }
    [[nodiscard]] std::string_view at(std::size_t i) const {
        const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
        return {bytes_.data() + begin, ends_[i] - begin};
    }
    void clear() {
        bytes_.clear();
        ends_.clear();
    }
    // Gives back the slack that growing left behind.
    void shrinkToFit() {
        bytes_.shrink_to_fit();
        ends_.shrink_to_fit();
    }
    [[nodiscard]] std::size_t memoryUsed() const {
        return bytes_.capacity() + ends_.capacity() * sizeof(std::size_t);
    }

private:
    std::vector<char> bytes_;
    std::vector<std::size_t> ends_;
};

} // namespace platform
