#pragma once

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace names {

// The rows that a typed ASCII text finds as pinyin (pinyin::readsAsPinyin), for a list
// kept in name order whose rows have been learnt one by one.
//
// What a row reads as pinyin begins at its first character with readings, h; the
// characters before it (the lead) can only take themselves, so a row whose lead holds a
// character that matches nothing typed is never found this way. Each learnt row keeps
// eight bytes: the lead's length, h's set of readings and what the three characters
// after h are (a set of readings, an ASCII character, another character or the end).
// A typed text is checked against these alone as long as it is used up within them;
// only a longer one looks at the row's displayed text.
//
// The rows found for a typed text are kept; a text that extends it only narrows them,
// since a row found by a text is found by every beginning of it. A row whose lead is
// k characters joins at the (k+1)-th typed character, when its lead matches the typed
// text's beginning: such rows are looked for among the rows that start with it, which
// the caller finds through the name order.
class PinyinSearch {
public:
    using DisplayText = std::function<QString(std::size_t row)>;
    // The rows [first, second) whose displayed text starts with a text, by their keys.
    using RunOf = std::function<std::pair<std::size_t, std::size_t>(QStringView text)>;

    void reset();

    // Learns a row from its displayed text, or from its name when that is the displayed
    // text (UTF-8 made of printable ASCII and ideographs). False when the row cannot be
    // learnt (a lead too long to note) and must be checked against its displayed text.
    bool learnText(std::size_t row, std::size_t rowCount, QStringView text);
    bool learnUtf8(std::size_t row, std::size_t rowCount, std::string_view name);

    // Whether any row learnt reads as pinyin.
    [[nodiscard]] bool any() const { return !heads_.empty(); }

    // The learnt rows that `typed` (pinyin::isPinyinTyped) reads off as pinyin, in
    // order. `runOf` must answer for the learnt rows.
    const std::vector<std::uint32_t>& rowsReading(QStringView typed, std::size_t rowCount,
                                                  const RunOf& runOf, const DisplayText& display);

private:
    bool learnHead(std::size_t row, std::size_t rowCount, std::uint64_t head);
    void step(std::size_t typedLength, const DisplayText& display);

    // Per row: the lead's length (8 bits), h's set (14 bits), the next three characters
    // (14 bits each); 0 for a row that does not read as pinyin. Empty while none does.
    std::vector<std::uint64_t> heads_;
    unsigned longestLead_ = 0;

    // The last typed text looked for (lower case), the rows it found and the run of rows
    // starting with it.
    std::u16string typed_;
    std::vector<std::uint32_t> found_;
    std::vector<std::uint32_t> scratch_;
    std::pair<std::size_t, std::size_t> run_{0, 0};
};

} // namespace names
