#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// Names separated by '/' or NUL, the two bytes no name holds; at most 200 of them.
inline std::vector<std::string_view> splitNames(std::string_view input) {
    constexpr std::size_t kMaxNames = 200;
    std::vector<std::string_view> parts;
    while (parts.size() < kMaxNames) {
        const std::size_t slash = input.find_first_of(std::string_view("/\0", 2));
        parts.push_back(input.substr(0, slash));
        if (slash == std::string_view::npos) {
            break;
        }
        input.remove_prefix(slash + 1);
    }
    return parts;
}
