#pragma once

#include "names/NameList.h"

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace names {

// Whether the text a name shows is its own UTF-8 text, made only of printable ASCII and
// CJK ideographs. Such a text compares without regard to case exactly as its sort key
// does: ASCII letters fold and upper-case alike, ideographs have no case. Every other
// name (GB18030 bytes, controls and invisibles shown as stand-ins, letters beyond ASCII)
// is looked at through its displayed text.
bool showsKeyText(std::string_view name);

// Finds a row by the beginning of its displayed text, as a list's type-ahead does, in a
// list kept in name order (sortNames). For a prefix of ASCII and ideographs the rows whose
// keys begin with the prefix's key are one run of the order, found by binary search; all
// names that showsKeyText accepts in that run match and none outside it does. The other
// names are checked one by one against their displayed text. A prefix with other letters
// checks every row.
class PrefixSearch {
public:
    using DisplayText = std::function<QString(std::size_t row)>;

    // Forgets what was learnt of the rows; to be called whenever they change.
    void reset();

    // The first row from `start` on, wrapping round to the first row, whose displayed text
    // starts with `prefix` regardless of case (QString::startsWith, Qt::CaseInsensitive);
    // -1 when none does. `inNameOrder` tells whether the rows are in name order; if not,
    // every row is checked.
    std::ptrdiff_t find(const NameList& rows, bool inNameOrder, const DisplayText& display,
                        QStringView prefix, std::size_t start);

    // The rows that must be checked against their displayed text, once known.
    [[nodiscard]] std::size_t checkedRowCount() const { return checkedRows_.size(); }

private:
    void learn(const NameList& rows);

    bool learnt_ = false;
    // The rows showsKeyText does not accept, in order.
    std::vector<std::uint32_t> checkedRows_;
};

} // namespace names
