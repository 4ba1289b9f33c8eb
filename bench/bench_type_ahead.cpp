// bench_type_ahead: the time from a typed key until a column of a million names has
// selected and painted its row, for the column's own search and for Qt's default one
// (a table view over the same rows, which matches them one by one), median and worst
// over sequences of keys typed as a user types them.
//
// Usage: bench_type_ahead [--runs N]
//
// The names are made in memory, as bench/ListingFolders.h makes its folders' names (a
// folder's files add nothing to a search), put in name order and given to both views.
// The window idles for two seconds before the keys, long enough to learn the rows (a
// key typed at once after the listing, which learns them itself, is timed apart). Each
// sequence starts at the first row; its keys follow one another within the input
// interval. The sets: camera names, random ASCII names, Han names in UTF-8, and the same
// Han names in GBK bytes, found by their keys once their displayed texts were learnt. The
// glyphs of the rows the keys reach are drawn once before the keys are timed. Then Han
// names that each hold a caseless character beyond the BMP, and the slow paths: Han
// names that each end in an undecodable byte, all checked against their displayed text,
// and a prefix that checks every row.

#include "ListingFolders.h"
#include "Measure.h"
#include "RunOptions.h"

#include "browser/CColumnList.h"
#include "browser/ColumnModel.h"
#include "names/NameList.h"
#include "names/NameOrder.h"
#include "names/PinyinReadings.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTableView>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iconv.h>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string toGbk(const std::string& utf8) {
    static iconv_t converter = iconv_open("GB18030", "UTF-8");
    std::string out(utf8.size() * 2, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* to = out.data();
    std::size_t outLeft = out.size();
    iconv(converter, &in, &inLeft, &to, &outLeft);
    out.resize(out.size() - outLeft);
    return out;
}

// The first `units` characters of a UTF-8 name, each as one key.
std::vector<QString> keysOf(const std::string& utf8, int units) {
    const QString text = QString::fromStdString(utf8);
    std::vector<QString> keys;
    for (int i = 0; i < std::min<int>(units, static_cast<int>(text.size())); ++i) {
        keys.push_back(text.mid(i, 1));
    }
    return keys;
}

std::vector<QString> keysOf(const char* typed) {
    return keysOf(std::string(typed), 64);
}

struct Figures {
    std::vector<double> keyMs;   // from the key until the row is selected and painted
    std::vector<double> paintMs; // the painting alone
    double firstMs = -1;
};

// Types every sequence into `view`, starting each at row 0, and times each key until
// the view has painted.
Figures typeInto(QTableView& view, const std::vector<std::vector<QString>>& sequences,
                 std::vector<int>& rows) {
    Figures figures;
    for (const auto& sequence : sequences) {
        view.setCurrentIndex(view.model()->index(0, 0));
        // A pause longer than the interval: the sequence is a new search.
        QApplication::setKeyboardInputInterval(0);
        QThread::msleep(2);
        for (std::size_t k = 0; k < sequence.size(); ++k) {
            const QString& key = sequence[k];
            const auto start = Clock::now();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, key);
            QApplication::sendEvent(&view, &press);
            const auto painting = Clock::now();
            view.viewport()->repaint();
            const auto end = Clock::now();
            const double ms = std::chrono::duration<double, std::milli>(end - start).count();
            figures.paintMs.push_back(
                std::chrono::duration<double, std::milli>(end - painting).count());
            if (figures.firstMs < 0) {
                figures.firstMs = ms;
            }
            figures.keyMs.push_back(ms);
            rows.push_back(view.currentIndex().row());
            if (k == 0) {
                QApplication::setKeyboardInputInterval(60000);
            }
        }
    }
    return figures;
}

void report(const char* label, const char* who, const Figures& figures) {
    const double worst = *std::max_element(figures.keyMs.begin(), figures.keyMs.end());
    const double worstPaint = *std::max_element(figures.paintMs.begin(), figures.paintMs.end());
    std::vector<double> searchMs;
    for (std::size_t k = 0; k < figures.keyMs.size(); ++k) {
        searchMs.push_back(figures.keyMs[k] - figures.paintMs[k]);
    }
    std::printf("type-ahead %-27s %-8s median %8.3f ms, worst %8.3f ms over %zu keys; "
                "first key %.3f ms; painting: median %.3f ms, worst %.3f ms; without it: "
                "median %.3f ms, worst %.3f ms\n",
                label, who, bench::median(figures.keyMs), worst, figures.keyMs.size(),
                figures.firstMs, bench::median(figures.paintMs), worstPaint,
                bench::median(searchMs), *std::max_element(searchMs.begin(), searchMs.end()));
    std::fflush(stdout);
}

void measureSet(const char* label, const std::vector<std::string>& names,
                const std::vector<std::vector<QString>>& sequences, int runs,
                bool againstQt = true) {
    names::NameList list;
    for (const std::string& name : names) {
        list.append(name);
    }
    names::sortNames(list);

    for (int run = 0; run < runs; ++run) {
        // A key typed at once after the listing: the search learns the rows first.
        {
            CColumnList hasty;
            hasty.InsertColumn(QStringLiteral("名称"), 300);
            hasty.SetShowsFileNames(true);
            hasty.SetItems(list);
            const auto start = Clock::now();
            hasty.keyboardSearch(sequences.front().front());
            std::printf("type-ahead %-27s first key typed at once after the listing: %.3f ms\n",
                        label,
                        std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        CColumnList column;
        column.InsertColumn(QStringLiteral("名称"), 300);
        column.SetShowsFileNames(true);
        column.SetItems(list);
        column.resize(320, 600);
        column.show();

        ColumnModel plainModel;
        plainModel.setHeaderText(QStringLiteral("名称"));
        plainModel.setShowsFileNames(true);
        plainModel.setRows(list);
        QTableView plain;
        plain.setModel(&plainModel);
        plain.setSelectionMode(QAbstractItemView::SingleSelection);
        plain.setSelectionBehavior(QAbstractItemView::SelectRows);
        plain.resize(320, 600);
        plain.show();
        // The window idles before the keys, as it does before a user types.
        const auto idle = Clock::now();
        while (Clock::now() - idle < std::chrono::seconds(2)) {
            QApplication::processEvents();
        }

        std::vector<int> columnRows;
        std::vector<int> plainRows;
        // One unmeasured pass first: the rows' glyphs are drawn once and cached, so that
        // neither view pays for drawing them the first time.
        typeInto(column, sequences, columnRows);
        columnRows.clear();
        const Figures mine = typeInto(column, sequences, columnRows);
        report(label, "column", mine);
        if (!againstQt) {
            const auto found = std::count_if(columnRows.begin(), columnRows.end(),
                                             [](int row) { return row > 0; });
            std::printf("type-ahead %-27s keys that moved off row 0: %td of %zu\n", label, found,
                        columnRows.size());
            continue;
        }
        const Figures qts = typeInto(plain, sequences, plainRows);
        report(label, "Qt's own", qts);
        if (columnRows != plainRows) {
            std::printf("type-ahead %s: the rows selected differ\n", label);
        }
    }
}

std::vector<std::vector<QString>> sampleSequences(const std::vector<std::string>& names, int count,
                                                  int units, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<std::vector<QString>> sequences;
    sequences.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        sequences.push_back(keysOf(names[random() % names.size()], units));
    }
    return sequences;
}

// Chinese names as people name their files: the Han names, half of them beginning with
// one of a few hundred characters that have several readings (so that many names begin
// alike and every key has many rows to choose from), a quarter with a year in front.
std::vector<std::string> pinyinNames(const std::vector<std::string>& han) {
    std::vector<std::string> polyphones;
    for (char32_t cp = 0x4E00; cp < 0x9FA5 && polyphones.size() < 300; cp += 7) {
        if (names::pinyin::readingsOf(names::pinyin::setOf(cp)).size() >= 2) {
            polyphones.push_back(QString::fromUcs4(&cp, 1).toStdString());
        }
    }
    std::mt19937_64 random(27);
    std::unordered_set<std::string> seen(han.begin(), han.end());
    std::vector<std::string> made;
    made.reserve(han.size());
    for (const std::string& name : han) {
        std::string changed = name;
        const auto kind = random() % 4;
        if (kind == 0) {
            changed = "2024" + name;
        } else if (kind != 3) {
            changed = polyphones[random() % polyphones.size()] + name.substr(3);
            if (random() % 2 == 0 && changed.size() > 9) {
                changed = changed.substr(0, 3) + polyphones[random() % polyphones.size()] +
                          changed.substr(6);
            }
        }
        made.push_back(changed != name && seen.insert(changed).second ? changed : name);
    }
    return made;
}

// A name typed as pinyin, as a user types it: each character by its initial or its whole
// reading (one of its readings, at random), other characters as they are.
std::vector<QString> pinyinKeys(const std::string& name, std::size_t count,
                                std::mt19937_64& random) {
    std::vector<QString> keys;
    for (const char32_t cp : QString::fromStdString(name).toUcs4()) {
        const auto readings = names::pinyin::readingsOf(names::pinyin::setOf(cp));
        if (readings.empty()) {
            keys.push_back(QString::fromUcs4(&cp, 1));
        } else {
            const std::string_view reading = readings[random() % readings.size()];
            const std::size_t length = random() % 2 == 0 ? 1 : reading.size();
            for (std::size_t i = 0; i < length; ++i) {
                keys.push_back(QString(QChar(reading[i])));
            }
        }
        if (keys.size() >= count) {
            break;
        }
    }
    keys.resize(std::min(keys.size(), count));
    return keys;
}

// Sequences of pinyin keys: the beginnings of random names, some going on with keys that
// match nothing, and some that match nothing from the first key.
std::vector<std::vector<QString>> pinyinSequences(const std::vector<std::string>& names) {
    std::mt19937_64 random(28);
    std::vector<std::vector<QString>> sequences;
    for (int i = 0; i < 16; ++i) {
        std::vector<QString> keys = pinyinKeys(names[random() % names.size()], 8, random);
        if (i % 4 == 3) {
            keys.resize(std::min<std::size_t>(keys.size(), 3));
            keys.push_back(QStringLiteral("v"));
            keys.push_back(QStringLiteral("q"));
        }
        sequences.push_back(std::move(keys));
    }
    sequences.push_back(keysOf("iu"));
    sequences.push_back(keysOf("v"));
    return sequences;
}

} // namespace

int main(int argc, char* argv[]) {
    bench::RunOptions options{1};
    if (!bench::readRunOptions(argc, argv, options)) {
        return 2;
    }
    QApplication application(argc, argv);
    constexpr long kCount = 1000000;

    {
        const std::vector<std::string> camera =
            bench::namesOf({"camera", "", kCount, bench::NameKind::Camera});
        std::vector<std::vector<QString>> sequences = {keysOf("IMG_202310"),  keysOf("IMG_2023051"),
                                                       keysOf("IMG_2023121"), keysOf("img_2023070"),
                                                       keysOf("IMG_2023010"), keysOf("x")};
        for (auto& sequence : sampleSequences(camera, 4, 19, 1)) {
            sequences.push_back(std::move(sequence));
        }
        measureSet("camera-1000000", camera, sequences, options.runs);
    }
    {
        const std::vector<std::string> random =
            bench::namesOf({"random", "", kCount, bench::NameKind::Random});
        measureSet("random-1000000", random, sampleSequences(random, 12, 6, 2), options.runs);
    }
    {
        const std::vector<std::string> han =
            bench::namesOf({"han", "", kCount, bench::NameKind::Han});
        const auto sequences = sampleSequences(han, 12, 2, 3);
        measureSet("han-1000000", han, sequences, options.runs);
        std::vector<std::string> gbk;
        gbk.reserve(han.size());
        for (const std::string& name : han) {
            gbk.push_back(toGbk(name));
        }
        auto gbkSequences = sequences;
        // A key that matches nothing, not even as pinyin: no reading begins with v.
        gbkSequences.push_back(keysOf("v"));
        measureSet("gbk-han-1000000", gbk, gbkSequences, options.runs);
        // Each name also holds a character beyond the BMP (U+20BB7, a surname), which has
        // no case: found by its key like the others.
        std::vector<std::string> beyond;
        beyond.reserve(han.size());
        for (const std::string& name : han) {
            const std::size_t dot = name.rfind('.');
            beyond.push_back(name.substr(0, dot) + "\xF0\xA0\xAE\xB7" + name.substr(dot));
        }
        measureSet("han-beyond-bmp-1000000", beyond, gbkSequences, options.runs);
        beyond.clear();
        // Each name ends in a byte that is no UTF-8, shown as its escape: every row is
        // checked against its displayed text.
        std::vector<std::string> broken;
        broken.reserve(han.size());
        for (const std::string& name : han) {
            broken.push_back(name + "\xFF");
        }
        measureSet("han-undecodable-1000000", broken, gbkSequences, options.runs);
        // A prefix with a letter whose case rules cross (the dotless i) checks every row.
        measureSet("han-crossing-prefix-1000000", han, {keysOf("\xC4\xB1")}, options.runs);

        // Pinyin, in UTF-8 and in GBK.
        const std::vector<std::string> chinese = pinyinNames(han);
        const auto typed = pinyinSequences(chinese);
        measureSet("pinyin-1000000", chinese, typed, options.runs, false);
        std::vector<std::string> chineseGbk;
        chineseGbk.reserve(chinese.size());
        for (const std::string& name : chinese) {
            chineseGbk.push_back(toGbk(name));
        }
        measureSet("pinyin-gbk-1000000", chineseGbk, typed, options.runs, false);
    }
    return 0;
}
