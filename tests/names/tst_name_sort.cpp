#include "names/NameOrder.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <numeric>
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

std::vector<std::uint32_t> sortedAsTheyArrive(const std::vector<std::string>& names) {
    NameList list;
    names::NameSorter sorter;
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

QTEST_GUILESS_MAIN(NameSortTest)
#include "tst_name_sort.moc"
