#include "names/NameCodec.h"
#include "names/NameOrder.h"
#include "platform/FileSystem.h"
#include "platform/RawTree.h"

#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using names::NameList;

namespace {

QList<QByteArray> namesOf(const NameList& list) {
    QList<QByteArray> names;
    for (std::size_t i = 0; i < list.size(); ++i) {
        names.append(QByteArray(list.at(i).data(), qsizetype(list.at(i).size())));
    }
    return names;
}

NameList listOf(const QList<QByteArray>& names) {
    NameList list;
    for (const QByteArray& name : names) {
        list.append({name.constData(), std::size_t(name.size())});
    }
    return list;
}

// The order by its definition, from the displayed text: each UTF-16 unit upper-cased on
// its own, compared as units, then the bytes.
bool definedBefore(const QByteArray& a, const QByteArray& b) {
    auto upper = [](const QByteArray& name) {
        QString text = names::displayName({name.constData(), std::size_t(name.size())});
        for (QChar& unit : text) {
            if (!unit.isSurrogate() && QChar::toUpper(char32_t(unit.unicode())) <= 0xFFFF) {
                unit = QChar(char16_t(QChar::toUpper(char32_t(unit.unicode()))));
            }
        }
        return text;
    };
    const int order = QString::compare(upper(a), upper(b), Qt::CaseSensitive);
    return order != 0 ? order < 0 : std::string_view(a) < std::string_view(b);
}

} // namespace

class NameOrderTest : public QObject {
    Q_OBJECT

private slots:
    void folderComesInNtfsOrder();
    void randomNamesFollowTheDefinition();
};

void NameOrderTest::folderComesInNtfsOrder() {
    // Every kind of name, in the order they must come.
    const QList<QByteArray> expected{
        ".hidden",
        "apple",
        "Banana",
        "file",
        "file10.txt",
        "file2.txt",
        "README", // equal once upper-cased: the bytes decide
        "readme",
        "Zeta",
        "_under",
        "~tilde",
        "\xC3\xA9\x61", // éa before Éb: letters beyond ASCII fold too
        "\xC3\x89\x62",
        "\xE4\xB8\xAD\xE6\x96\x87", // 中文
        "\xD5\xD5\xC6\xAC",         // 照片 in GB18030, read as 照片
        "\xE7\x85\xA7\xE7\x89\x87", // 照片 in UTF-8: the same text, later bytes
        "\xF0\x9F\x98\x80",         // 😀, a surrogate pair: below U+E000 as units
        "\xFF\xFE\x7A",             // undecodable: the escapes U+DCFF U+DCFE, then z
        "\xEF\xBD\x9A",             // ｚ (U+FF5A, upper case U+FF3A)
    };
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.path());
    // QTemporaryDir cannot remove names that are not UTF-8.
    const auto cleanUp = qScopeGuard([&path] { testsupport::removeTreeRaw(path); });
    for (const QByteArray& name : expected) {
        const int fd = ::open(path + '/' + name, O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY2(fd >= 0 && ::close(fd) == 0, name.toHex().constData());
    }
    NameList listed;
    QVERIFY(platform::listFolder(dir.path(), listed));
    sortNames(listed);
    QCOMPARE(namesOf(listed), expected);

    QList<QByteArray> reversed(expected.rbegin(), expected.rend());
    NameList list = listOf(reversed);
    sortNames(list);
    QCOMPARE(namesOf(list), expected);

    // The order alone, as the file helper sends it, shows the names the same way.
    NameList ordered = listOf(reversed);
    ordered.setOrder(sortedOrder(ordered));
    QCOMPARE(namesOf(ordered), expected);
}

void NameOrderTest::randomNamesFollowTheDefinition() {
    // Short names from pieces that stress the keys: case pairs, letters whose upper case
    // leaves their UTF-8 length, supplementary characters, GB18030 and stray bytes.
    static const char* const kPieces[] = {"a",
                                          "A",
                                          "z",
                                          "_",
                                          "~",
                                          "0",
                                          "\xC3\xA9",
                                          "\xC3\x89",
                                          "\xC4\xB1",
                                          "\xC5\xBF",
                                          "\xC9\x90",
                                          "\xE2\xB1\xAF",
                                          "\xE4\xB8\xAD",
                                          "\xEF\xBD\x9A",
                                          "\xEF\xBF\xBF",
                                          "\xF0\x9F\x98\x80",
                                          "\xF0\x90\x90\xA8",
                                          "\xD5\xD5",
                                          "\xC6\xAC",
                                          "\xFF",
                                          "\x80"};
    QRandomGenerator random(936);
    QList<QByteArray> names;
    for (int i = 0; i < 3000; ++i) {
        QByteArray name;
        for (int n = random.bounded(1, 5); n > 0; --n) {
            name += kPieces[random.bounded(int(std::size(kPieces)))];
        }
        if (!names.contains(name)) {
            names.append(name);
        }
    }
    NameList list = listOf(names);
    sortNames(list);
    std::sort(names.begin(), names.end(), definedBefore);
    QCOMPARE(namesOf(list), names);

    // Every unit around and in the block that keys without the case table (kana, CJK,
    // Yi) keys as the definition says.
    for (char16_t unit = 0x2C00; unit < 0xA800; ++unit) {
        if (QChar::isSurrogate(unit)) {
            continue;
        }
        const QByteArray utf8 = QString(QChar(unit)).toUtf8();
        std::string key;
        names::appendSortKey({utf8.constData(), std::size_t(utf8.size())}, key);
        const QByteArray upper = QString(QChar(char16_t(QChar::toUpper(char32_t(unit))))).toUtf8();
        QCOMPARE(QByteArray::fromStdString(key), upper);
    }
}

QTEST_GUILESS_MAIN(NameOrderTest)
#include "tst_name_order.moc"
