#include "names/KeyWindow.h"
#include "names/NameOrder.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <numeric>
#include <set>
#include <string>
#include <vector>

using names::NameList;

// The sort of big lists: split in halves sorted side by side, keys compared twelve bytes
// at a time, names keyed as they arrive. Its result must be the order of the keys
// themselves, whatever the names share.
class NameSortTest : public QObject {
    Q_OBJECT

private slots:
    void bigListsFollowTheirKeys();
    void windowsAreRefittedWhenLaterNamesDiffer();
    void reorderedListsKeepTakingNames();
    void packedWindowsKeepTheKeysOrder();
};

namespace {

// The order by whole keys, then by the raw bytes.
std::vector<std::uint32_t> keyOrder(const std::vector<std::string>& names) {
    std::vector<std::string> keys(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        names::appendSortKey(names[i], keys[i]);
    }
    std::vector<std::uint32_t> order(names.size());
    std::iota(order.begin(), order.end(), 0U);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return keys[a] != keys[b] ? keys[a] < keys[b] : names[a] < names[b];
    });
    return order;
}

std::vector<std::uint32_t> asVector(const names::PageVector<std::uint32_t>& order) {
    return {order.begin(), order.end()};
}

std::vector<std::uint32_t> sortedAsTheyArrive(const std::vector<std::string>& names,
                                              unsigned indexBits = 24) {
    NameList list;
    names::NameSorter sorter(indexBits);
    for (std::size_t i = 0; i < names.size(); ++i) {
        list.append(names[i]);
        if (i % 1000 == 999) {
            sorter.add(list);
        }
    }
    return asVector(sorter.takeOrder(list));
}

} // namespace

void NameSortTest::bigListsFollowTheirKeys() {
    QRandomGenerator random(1903);
    // Stems longer than the twelve bytes compared at once, so that equal windows are
    // sorted by the next twelve, and the next; case pairs whose keys are equal past them;
    // keys that end exactly where a window does; non-ASCII letters and stray bytes.
    static const char* const kStems[] = {"IMG_20230301_",
                                         "Screenshot from 2023-01-01 ",
                                         "abcdefghijkl",
                                         "ABCDEFGHIJKL",
                                         "\xC3\xA9t\xC3\xA9_",
                                         "\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\xE4\xBB\xB6",
                                         "x\xFF"};
    std::vector<std::string> names;
    for (int i = 0; i < 90000; ++i) {
        std::string name = kStems[random.bounded(int(std::size(kStems)))];
        name += std::to_string(random.bounded(4000));
        if (random.bounded(3) == 0) {
            name += ".JPG";
        }
        names.push_back(name);
    }
    // Every name that shares the first name's long prefix, then one that shares nothing,
    // far in: the windows already made must be made again.
    std::vector<std::string> prefixed;
    for (int i = 0; i < 70000; ++i) {
        prefixed.push_back("common prefix of all/" + std::to_string(random.generate() % 50000));
    }
    prefixed.insert(prefixed.begin() + 60000, "Another");
    for (auto* list : {&names, &prefixed}) {
        std::sort(list->begin(), list->end());
        list->erase(std::unique(list->begin(), list->end()), list->end());
        std::shuffle(list->begin(), list->end(), random);
        const std::vector<std::uint32_t> expected = keyOrder(*list);
        NameList whole;
        for (const std::string& name : *list) {
            whole.append(name);
        }
        QVERIFY(asVector(names::sortedOrder(whole)) == expected);
        QVERIFY(sortedAsTheyArrive(*list) == expected);
    }
}

void NameSortTest::windowsAreRefittedWhenLaterNamesDiffer() {
    // Each stage brings names that the windows fitted so far have no room for: another
    // digit where all had the same, a higher digit, a letter above the digits, a shorter
    // name, a byte above printable ASCII, Chinese. The short list ends on a refitting;
    // the long one has more stages than the windows are refitted for. With ten index bits
    // the entries also widen their index on the way.
    const std::vector<std::vector<std::vector<const char*>>> lists = {
        {{"a0", "a5", "b1"}, {"a9"}},
        {{"file-0"},
         {"file-1"},
         {"file-A"},
         {"f"},
         {"file-~"},
         {"FILE-0z"},
         {"\xE6\x96\x87\xE4\xBB\xB6-"},
         {"\xFF"}}};
    QRandomGenerator random(77);
    for (const auto& stages : lists) {
        std::vector<std::string> names;
        std::set<std::string> seen;
        for (const auto& stage : stages) {
            for (int i = 0; i < 2500; ++i) {
                // Five digits each, so that only the stages change what the keys hold.
                const std::string number = std::to_string(100000 + random.bounded(100000));
                std::string name =
                    stage[random.bounded(int(stage.size()))] + number.substr(1) + ".txt";
                if (seen.insert(name).second) {
                    names.push_back(name);
                }
            }
        }
        const std::vector<std::uint32_t> expected = keyOrder(names);
        QVERIFY(sortedAsTheyArrive(names) == expected);
        QVERIFY(sortedAsTheyArrive(names, 10) == expected);
    }
}

void NameSortTest::reorderedListsKeepTakingNames() {
    // A reordered list keeps each place's beginning and length; an empty name, a name
    // appended afterwards and one too long for that form must all stay where they belong.
    const std::vector<std::string> first = {"c", "", "a", "bb"};
    NameList list;
    for (const std::string& name : first) {
        list.append(name);
    }
    list.setOrder(names::sortedOrder(list));
    std::vector<std::string> expected = {"", "a", "bb", "c"};
    const std::string longName(300, 'x');
    for (const std::string& more :
         {std::string("later"), std::string(), longName, std::string("last")}) {
        list.append(more);
        expected.push_back(more);
        QCOMPARE(list.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(std::string(list.at(i)), expected[i]);
        }
    }
    // A big list reordered costs no more than in the order it came.
    NameList big;
    for (int i = 0; i < 50000; ++i) {
        big.append("name" + std::to_string(50000 - i));
    }
    const std::size_t unordered = big.memoryUsed();
    big.setOrder(names::sortedOrder(big));
    QVERIFY(big.memoryUsed() <= unordered + big.size());
    QCOMPARE(std::string(big.at(0)), std::string("name1"));
}

void NameSortTest::packedWindowsKeepTheKeysOrder() {
    // Keys of names mixing digits, letters, punctuation, accents and Chinese, with shared
    // stems so that some positions hold one byte only. Packed by a fitting made from all
    // of them, or from a part (then only those that fit), and plainly: a key before
    // another never packs after it, and equal windows mean keys equal before
    // settledBefore().
    QRandomGenerator random(4242);
    static const char* const kParts[] = {
        "IMG_2023", "0", "7", "_", "a", "Z", " ", "\xC3\xA9", "\xE4\xB8\xAD", ".jpg", "~", "(1)"};
    std::vector<std::string> keys;
    for (int i = 0; i < 3000; ++i) {
        std::string name = random.bounded(2) == 0 ? "IMG_2023" : "";
        for (int n = random.bounded(1, 7); n > 0; --n) {
            name += kParts[random.bounded(int(std::size(kParts)))];
        }
        std::string key;
        names::appendSortKey(name, key);
        keys.push_back(key);
    }
    names::KeyStats all;
    names::KeyStats firstHalf;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        all.add(keys[i]);
        if (i < keys.size() / 2) {
            firstHalf.add(keys[i]);
        }
    }
    const auto padded = [](const std::string& key, std::size_t length) {
        std::string head = key.substr(0, std::min(key.size(), length));
        head.resize(length, '\0');
        return head;
    };
    for (const names::KeyWindow& window :
         {names::KeyWindow::fitting(all, 40), names::KeyWindow::fitting(firstHalf, 40),
          names::KeyWindow::fitting(all, 32), names::KeyWindow::plain(40)}) {
        std::vector<std::pair<std::string, std::uint64_t>> packed;
        for (const std::string& key : keys) {
            std::uint64_t bits = 0;
            if (window.pack(key, bits)) {
                packed.emplace_back(key, bits);
            }
        }
        QVERIFY(packed.size() > keys.size() / 2);
        std::sort(packed.begin(), packed.end());
        const std::size_t settled = window.settledBefore();
        for (std::size_t i = 1; i < packed.size(); ++i) {
            QVERIFY(packed[i - 1].second <= packed[i].second);
            if (packed[i - 1].second == packed[i].second) {
                QCOMPARE(padded(packed[i - 1].first, settled), padded(packed[i].first, settled));
            }
        }
    }
    // Narrow ranges are packed exactly, with the bits' room to spare at the top: fitted to
    // X/Y and A to C, keys up to D fit and sort, and E does not.
    names::KeyStats narrow;
    for (const char* key : {"XA", "XB", "XC", "YA"}) {
        narrow.add(key);
    }
    const names::KeyWindow tight = names::KeyWindow::fitting(narrow, 40);
    std::vector<std::uint64_t> windows;
    for (const char* key : {"XA", "XD", "YA", "YD"}) {
        std::uint64_t bits = 0;
        QVERIFY(tight.pack(key, bits));
        windows.push_back(bits);
    }
    QVERIFY(std::is_sorted(windows.begin(), windows.end()));
    QVERIFY(std::adjacent_find(windows.begin(), windows.end()) == windows.end());
    std::uint64_t unused = 0;
    QVERIFY(!tight.pack("XE", unused));
    QVERIFY(!tight.pack("ZA", unused));

    // A fitting made from every key takes every key.
    const names::KeyWindow fitted = names::KeyWindow::fitting(all, 40);
    for (const std::string& key : keys) {
        QVERIFY(fitted.pack(key, unused));
    }
}

QTEST_GUILESS_MAIN(NameSortTest)
#include "tst_name_sort.moc"
