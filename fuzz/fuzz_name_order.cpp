// The order of names: a strict total order on any names, and every way the program
// sorts a folder agrees with std::sort under it. The input is names separated by '/' or
// NUL, the two bytes no name holds.

#include "FuzzCheck.h"
#include "NameOrderOf.h"
#include "SplitNames.h"
#include "names/NameList.h"
#include "names/NameOrder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string_view> parts =
        splitNames({reinterpret_cast<const char*>(data), size});

    // Any three names, the same name more than once included.
    const std::string_view a = parts[0];
    const std::string_view b = parts.size() > 1 ? parts[1] : a;
    const std::string_view c = parts.size() > 2 ? parts[2] : b;
    FUZZ_CHECK(!nameBefore(a, a));
    for (const auto& [x, y] : {std::pair{a, b}, std::pair{b, c}, std::pair{a, c}}) {
        // Exactly one of x < y, y < x and x == y.
        FUZZ_CHECK(int(nameBefore(x, y)) + int(nameBefore(y, x)) + int(x == y) == 1);
    }
    if (nameBefore(a, b) && nameBefore(b, c)) {
        FUZZ_CHECK(nameBefore(a, c));
    }
    if (nameBefore(b, a) && nameBefore(c, b)) {
        FUZZ_CHECK(nameBefore(c, a));
    }

    std::vector<std::string_view> expected = parts;
    std::sort(expected.begin(), expected.end(), nameBefore);

    names::NameList sorted;
    names::NameList arriving;
    for (const std::string_view name : parts) {
        sorted.append(name);
    }
    names::sortNames(sorted);
    FUZZ_CHECK(sorted.size() == expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        FUZZ_CHECK(sorted.at(i) == expected[i]);
    }

    // Keyed while the names arrive in two pieces, as a listing delivers them.
    names::NameSorter sorter;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        arriving.append(parts[i]);
        if (i == parts.size() / 2) {
            sorter.add(arriving);
        }
    }
    auto order = sorter.takeOrder(arriving);
    FUZZ_CHECK(order.size() == expected.size());
    arriving.setOrder(std::move(order));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        FUZZ_CHECK(arriving.at(i) == expected[i]);
    }
    return 0;
}
