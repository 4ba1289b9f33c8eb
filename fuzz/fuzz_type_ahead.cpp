// The type-ahead over names read from any disk: for every beginning of a typed text, in a
// folder's name order, the search finds the first row from the start row on, wrapping
// round, whose displayed text starts with the text or reads as it in pinyin. The input is
// names separated by '/' or NUL; the last part is the typed text as UTF-16 units (so lone
// surrogates come too), the first byte the start row.

#include "FuzzCheck.h"
#include "SplitNames.h"
#include "names/NameCodec.h"
#include "names/NameList.h"
#include "names/NameOrder.h"
#include "names/PinyinReadings.h"
#include "names/PrefixSearch.h"
#include "names/VisibleText.h"

#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace {

std::ptrdiff_t firstMatch(const std::vector<QString>& texts, QStringView typed, std::size_t start) {
    for (std::size_t step = 0; step < texts.size(); ++step) {
        const std::size_t row = (start + step) % texts.size();
        if (names::pinyin::typedMatches(texts[row], typed)) {
            return static_cast<std::ptrdiff_t>(row);
        }
    }
    return -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t last = input.find_last_of(std::string_view("/\0", 2));
    if (size == 0 || last == std::string_view::npos) {
        return 0;
    }
    const std::string_view typedBytes = input.substr(last + 1);
    const QString typed(reinterpret_cast<const QChar*>(typedBytes.data()),
                        static_cast<qsizetype>(typedBytes.size() / 2));
    const std::size_t startByte = static_cast<std::uint8_t>(input.front());
    input = input.substr(1, last == 0 ? 0 : last - 1);

    names::NameList rows;
    for (const std::string_view name : splitNames(input)) {
        rows.append(name);
    }
    names::sortNames(rows);
    std::vector<QString> texts;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        texts.push_back(names::visibleText(names::displayName(rows.at(row))));
    }
    const names::PrefixSearch::DisplayText display = [&](std::size_t row) { return texts[row]; };
    const std::size_t start = startByte % rows.size();

    // Learnt ahead, as after a listing while the window idles, and not learnt at all; each
    // beginning of the typed text in turn, as keys typed one after another give them.
    for (const bool learnFirst : {true, false}) {
        names::PrefixSearch search;
        if (learnFirst) {
            search.learn(rows, display, std::chrono::steady_clock::time_point::max());
        }
        for (qsizetype length = 1; length <= typed.size(); ++length) {
            const QStringView prefix = QStringView(typed).left(length);
            FUZZ_CHECK(search.find(rows, true, display, prefix, start) ==
                       firstMatch(texts, prefix, start));
        }
    }
    return 0;
}
