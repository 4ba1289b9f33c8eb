#pragma once

#include "names/NameOrder.h"

#include <string>
#include <string_view>

// The order of names the columns promise, written out for the targets to check against:
// by their sort keys, names with equal keys by their bytes.
inline bool nameBefore(std::string_view a, std::string_view b) {
    std::string keyA;
    std::string keyB;
    names::appendSortKey(a, keyA);
    names::appendSortKey(b, keyB);
    return keyA != keyB ? keyA < keyB : a < b;
}
