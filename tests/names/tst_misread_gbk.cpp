#include "names/MisreadGbk.h"
#include "names/NameCodec.h"

#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QTest>

#include <iconv.h>

#include <algorithm>
#include <string_view>
#include <utility>

using names::displayName;

namespace {

std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

// `bytes` converted from `charset` to UTF-8 by glibc, or a null array when they are not
// valid in it.
QByteArray convert(const char* charset, const QByteArray& bytes) {
    const iconv_t converter = ::iconv_open("UTF-8", charset);
    if (reinterpret_cast<std::intptr_t>(converter) == -1) {
        return {};
    }
    QByteArray out(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(bytes.constData());
    std::size_t inLeft = std::size_t(bytes.size());
    char* written = out.data();
    std::size_t outLeft = std::size_t(out.size());
    const bool converted = ::iconv(converter, &in, &inLeft, &written, &outLeft) != std::size_t(-1);
    ::iconv_close(converter);
    if (!converted) {
        return {};
    }
    out.truncate(written - out.constData());
    return out;
}

// The level-1 hanzi of GB2312 (rows B0 to D7) whose GBK bytes are also one UTF-8
// character.
QList<QByteArray> hanziThatPassAsUtf8() {
    int levelOne = 0;
    QList<QByteArray> passing;
    for (int lead = 0xB0; lead <= 0xD7; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            const char pair[] = {char(lead), char(trail)};
            const QByteArray bytes(pair, 2);
            const QString text = QString::fromUtf8(convert("GB18030", bytes));
            if (text.size() != 1 || text.at(0).unicode() < 0x4E00 ||
                text.at(0).unicode() > 0x9FA5) {
                continue; // the last places of row D7 hold no level-1 character
            }
            ++levelOne;
            if (names::isValidUtf8(view(bytes))) {
                passing.append(bytes);
            }
        }
    }
    return levelOne == 3755 ? passing : QList<QByteArray>{};
}

// What a character read as UTF-8 looks like, for the report of misread pairs.
QString kindOf(QChar c) {
    const char16_t u = c.unicode();
    return u < 0xC0                               ? QStringLiteral("symbol")
           : u == 0x2BB || u == 0x2BC             ? QStringLiteral("apostrophe")
           : c.script() == QChar::Script_Latin    ? QStringLiteral("Latin")
           : c.script() == QChar::Script_Greek    ? QStringLiteral("Greek")
           : c.script() == QChar::Script_Cyrillic ? QStringLiteral("Cyrillic")
           : c.script() == QChar::Script_Hebrew   ? QStringLiteral("Hebrew")
                                                  : QString::number(u, 16);
}

// The words of a word list or the stems of a hunspell dictionary (each line a stem, then
// "/" and its affix flags, after a first line with their count), in UTF-8.
QList<QByteArray> wordsOf(const QString& path, bool hunspell, bool* found) {
    QFile file(path);
    *found = file.open(QIODevice::ReadOnly);
    if (!*found) {
        return {};
    }
    QByteArray text = file.readAll();
    if (hunspell) {
        QFile affixes(path.chopped(4) + QStringLiteral(".aff"));
        QByteArray charset = "UTF-8";
        if (affixes.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : affixes.readAll().split('\n')) {
                if (line.startsWith("SET ")) {
                    charset = line.mid(4).trimmed();
                }
            }
        }
        if (charset != "UTF-8") {
            text = convert(charset.constData(), text);
        }
    }
    QList<QByteArray> words = text.split('\n');
    if (hunspell && !words.isEmpty()) {
        words.removeFirst();
        for (QByteArray& word : words) {
            const qsizetype slash = word.indexOf('/');
            if (slash >= 0) {
                word.truncate(slash);
            }
        }
    }
    return words;
}

} // namespace

class MisreadGbkTest : public QObject {
    Q_OBJECT

private slots:
    void gbkPassingAsUtf8ReadsAsChinese();
    void twoHanziNamesReadAsChinese();
    void realUtf8WordsStayUtf8();
};

void MisreadGbkTest::gbkPassingAsUtf8ReadsAsChinese() {
    // Everyday words whose GBK bytes are valid UTF-8, alone and with ASCII around them.
    QCOMPARE(displayName("\xD6\xB0\xD4\xB1"), QStringLiteral("职员"));
    QCOMPARE(displayName("\xCD\xBC\xD6\xBD.dwg"), QStringLiteral("图纸.dwg"));
    QCOMPARE(displayName("2024\xC3\xA9\xCC\xA8"), QStringLiteral("2024茅台"));
    // Real UTF-8 stays as it is, though all of these decode as GB18030 too: accented
    // Latin, Greek, Cyrillic, a decomposed й and Ç, Hebrew, a name with a common symbol,
    // and Chinese.
    for (const char* utf8 :
         {"na\xC3\xAFve", "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1",
          "\xD0\x9A\xD0\xB8\xD1\x97\xD0\xB2", "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
          "\xD0\xB8\xCC\x86", "C\xCC\xA7", "\xD7\xA9\xD7\xA8",
          "20\xC2\xB0"
          "C \xC2\xAB\xC3\xA9t\xC3\xA9\xC2\xBB",
          "\xE8\x81\x8C\xE5\x91\x98",
          "1920\xC3\x97"
          "1080\xE5\xA3\x81\xE7\xBA\xB8.jpg"}) {
        QCOMPARE(displayName(utf8), QString::fromUtf8(utf8));
    }
    // Rare characters whose bytes are not GB18030 to the end keep their UTF-8 reading (ɐ
    // then †: as GB18030, the last byte is cut off).
    QCOMPARE(displayName("\xC9\x90\xE2\x80\xA0"), QString::fromUtf8("\xC9\x90\xE2\x80\xA0"));
    QVERIFY(!names::isChineseNameText("\xC3\xA9"));
    QVERIFY(names::isChineseNameText("\xE3\x80\x8A\xE4\xB8\xAD\xE3\x80\x8B\xEF\xBC\x81.txt"));
}

void MisreadGbkTest::twoHanziNamesReadAsChinese() {
    const QList<QByteArray> hanzi = hanziThatPassAsUtf8();
    QCOMPARE(hanzi.size(), 682);
    QStringList texts;
    for (const QByteArray& bytes : hanzi) {
        texts.append(QString::fromUtf8(convert("GB18030", bytes)));
    }
    int chinese = 0;
    QMap<QString, int> misread;
    for (qsizetype a = 0; a < hanzi.size(); ++a) {
        for (qsizetype b = 0; b < hanzi.size(); ++b) {
            const QByteArray name = hanzi[a] + hanzi[b];
            if (displayName(view(name)) == texts[a] + texts[b]) {
                ++chinese;
            } else {
                const QString utf8 = QString::fromUtf8(name);
                ++misread[kindOf(utf8.at(0)) + QLatin1Char('+') + kindOf(utf8.at(1))];
            }
        }
    }
    const int pairs = int(hanzi.size() * hanzi.size());
    qInfo("%d of %d two-character names read as Chinese (%.2f %%)", chinese, pairs,
          100.0 * chinese / pairs);
    for (auto it = misread.cbegin(); it != misread.cend(); ++it) {
        qInfo("misread as %s: %d", qPrintable(it.key()), it.value());
    }
    QVERIFY(chinese * 100 >= pairs * 97);
}

void MisreadGbkTest::realUtf8WordsStayUtf8() {
    struct List {
        const char* path;
        bool hunspell;
    };
    static const List kLists[] = {
        {"/usr/share/dict/french", false},       {"/usr/share/dict/ngerman", false},
        {"/usr/share/dict/polish", false},       {"/usr/share/dict/spanish", false},
        {"/usr/share/dict/portuguese", false},   {"/usr/share/dict/ukrainian", false},
        {"/usr/share/dict/bulgarian", false},    {"/usr/share/hunspell/el_GR.dic", true},
        {"/usr/share/hunspell/ru_RU.dic", true}, {"/usr/share/hunspell/cs_CZ.dic", true},
    };
    qsizetype checked = 0;
    QList<QByteArray> misread;
    for (const List& list : kLists) {
        bool found = false;
        const QList<QByteArray> words =
            wordsOf(QString::fromLatin1(list.path), list.hunspell, &found);
        if (!found) {
            QSKIP(qPrintable(QStringLiteral("%1 is missing: tools/deps.sh build installs the "
                                            "word lists")
                                 .arg(QLatin1String(list.path))));
        }
        for (const QByteArray& word : words) {
            if (std::all_of(word.begin(), word.end(), [](char c) { return c >= 0; })) {
                continue;
            }
            ++checked;
            if (displayName(view(word)) != QString::fromUtf8(word) && misread.size() < 20) {
                misread.append(word);
            }
        }
    }
    qInfo("%lld words with letters beyond ASCII checked", static_cast<long long>(checked));
    QVERIFY2(misread.isEmpty(), misread.join(' ').constData());
    QVERIFY(checked > 5'000'000);

    // Chinese names in UTF-8, with ASCII, fullwidth forms, Latin-1 symbols and letters.
    static constexpr std::pair<int, int> kRanges[] = {
        {0x20, 0x7F}, {0xFF01, 0xFF5F}, {0xA1, 0x100}, {0x4E00, 0x9FA6}, {0x4E00, 0x9FA6}};
    QRandomGenerator random(936);
    for (int i = 0; i < 100000; ++i) {
        std::u32string text;
        for (int n = random.bounded(1, 8); n > 0; --n) {
            const auto [from, to] = kRanges[random.bounded(int(std::size(kRanges)))];
            text += char32_t(random.bounded(from, to));
        }
        text += U'\u6587';
        const QString expected = QString::fromUcs4(text.data(), qsizetype(text.size()));
        QCOMPARE(displayName(view(expected.toUtf8())), expected);
    }
}

QTEST_GUILESS_MAIN(MisreadGbkTest)
#include "tst_misread_gbk.moc"
