#pragma once

#include "names/NameList.h"

#include <QStringView>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace names {

// Puts the names in the order NTFS keeps a folder in, which is how Windows users have
// always seen folders listed: names compare as UTF-16 code units after each unit has
// been mapped to its simple upper case, unit by unit (surrogates stay as they are), as
// the user reads the name (displayName: a GB18030 name by its Chinese text). Names whose
// upper-cased texts are equal, such as "README" and "readme", which NTFS cannot hold but
// Linux can, follow their raw bytes. So ".hidden" < "apple" < "Banana" < "file10.txt" <
// "file2.txt" < "Zeta" < "_under" < "~tilde" < "中文".
//
// Each name's key is built once, then the names are sorted by index and the list is
// rebuilt in that order.
void sortNames(NameList& names);

// The same order as a list of indices, leaving the names where they are: entry i is the
// index of the name that comes i-th. For fewer than 2^32 names.
PageVector<std::uint32_t> sortedOrder(const NameList& names);

// Makes the order of a list while its names arrive: each name is keyed when it comes,
// chunks of names are sorted and the sorted runs merged as they grow, so that only the
// last merges are left once the last name is in.
class NameSorter {
public:
    NameSorter();
    // Gives `indexBits` bits of each sort entry to the name's index at first, the rest to
    // its key (tests use few, to reach the widening that huge folders need).
    explicit NameSorter(unsigned indexBits);
    ~NameSorter();
    NameSorter(NameSorter&&) noexcept;
    NameSorter& operator=(NameSorter&&) noexcept;
    NameSorter(const NameSorter&) = delete;
    NameSorter& operator=(const NameSorter&) = delete;

    // Makes the keys of the names appended to `names` since the last call.
    void add(const NameList& names);
    // The order of all of `names`, as sortedOrder gives it. The sorter starts afresh.
    PageVector<std::uint32_t> takeOrder(const NameList& names);

private:
    struct Keys;
    unsigned indexBits_;
    std::unique_ptr<Keys> keys_;
};

// Appends the sort key of one name to `key`: its upper-cased UTF-16 units, each written
// the way UTF-8 writes a code point of that value (surrogates too), so that comparing two
// keys byte by byte orders them as their UTF-16 units. ASCII names keep their length.
void appendSortKey(std::string_view name, std::string& key);

// The unit a key holds for one UTF-16 unit of a name's text: its simple upper case where
// that is one unit too; surrogates stay as they are.
char16_t sortUpperUnit(char16_t unit);

// Appends the key that a name showing `text` would have, unit by unit as appendSortKey
// keys the text it reads a name as. For the beginning of a text, the key's beginning.
void appendTextKey(QStringView text, std::string& key);

} // namespace names
