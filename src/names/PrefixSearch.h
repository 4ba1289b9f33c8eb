#pragma once

#include "names/NameList.h"
#include "names/PinyinSearch.h"

#include <QString>
#include <QStringView>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace names {

// Whether the text a name shows is its own UTF-8 text, made only of printable ASCII and
// CJK ideographs. Such a text compares without regard to case exactly as its sort key
// does: ASCII letters fold and upper-case alike, ideographs have no case. Every other
// name (GB18030 bytes, controls and invisibles shown as stand-ins, letters beyond ASCII)
// is looked at through its displayed text.
bool showsKeyText(std::string_view name);

// Finds a row by the beginning of its displayed text, as a list's type-ahead does, in a
// list kept in name order (sortNames). For a prefix whose characters ignore case as their
// keys do (all but a few whose case rules cross, such as the Kelvin sign and the dotless
// i, and the cased letters beyond the BMP), the rows whose keys begin with the prefix's key are
// one run of the order, found by binary search. A name whose displayed text is made of
// such characters and keyed as the name is (every name showsKeyText accepts, Chinese in
// GBK, most names in other scripts) matches if it is in that run and only then. The other
// names are checked one by one against their displayed text. Any other prefix checks
// every row.
//
// What it learns of the rows is kept until reset(): for a folder of names that are all
// printable ASCII, nothing; else the rows to check, and what the pinyin search needs of
// the others (PinyinSearch). Learning reads the displayed text of
// every name that showsKeyText does not accept. It can be done ahead, a slice at a time
// (learn); a search finishes what is left.
class PrefixSearch {
public:
    using DisplayText = std::function<QString(std::size_t row)>;

    // Forgets what was learnt of the rows; to be called whenever they change.
    void reset();

    // Learns about the rows until done or `until` has passed; true once done.
    bool learn(const NameList& rows, const DisplayText& display,
               std::chrono::steady_clock::time_point until);

    // The first row from `start` on, wrapping round to the first row, whose displayed text
    // starts with `prefix` regardless of case (QString::startsWith, Qt::CaseInsensitive)
    // or, for a prefix all in ASCII, reads it as pinyin (pinyin::typedMatches); -1 when
    // none does. `inNameOrder` tells whether the rows are in name order; if not, every row
    // is checked.
    std::ptrdiff_t find(const NameList& rows, bool inNameOrder, const DisplayText& display,
                        QStringView prefix, std::size_t start);

    // The rows that must be checked against their displayed text, once known.
    [[nodiscard]] std::size_t checkedRowCount() const { return checkedRows_.size(); }

private:
    // The rows [first, second) whose keys begin with the key of `prefix`.
    static std::pair<std::size_t, std::size_t> runOf(const NameList& rows, QStringView prefix);
    // Whether the row matches a prefix exactly when its key begins with the prefix's key.
    [[nodiscard]] bool foundByKey(std::size_t row) const;

    bool learnt_ = false;
    std::size_t nextRow_ = 0; // the first row not learnt yet
    // The rows not found by their keys, which are checked against their displayed text,
    // in order.
    std::vector<std::uint32_t> checkedRows_;
    // The rows found by their key whose displayed text holds a character with readings.
    PinyinSearch pinyin_;
};

} // namespace names
