// The text a name shows: every character that could hide, reorder or break it has a
// visible stand-in, after decoding, so that GB18030 names are treated alike.

#include "names/NameCodec.h"
#include "names/VisibleText.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <string_view>

namespace {

QString shownFor(const QByteArray& bytes) {
    return names::visibleText(
        names::displayName({bytes.constData(), static_cast<std::size_t>(bytes.size())}));
}

// The units as they are: QString::fromUtf16 would drop a leading byte order mark.
QString text(const char16_t* units) {
    return QStringView(units).toString();
}

QByteArray utf8(const char16_t* units) {
    return text(units).toUtf8();
}

const QString kUnicodeData = QStringLiteral("/usr/share/unicode/");

// The code points of each data line of a Unicode data file ("1F3F4 E0067" or
// "E0020..E007F") whose fields after the first hold `value`, or of every line if empty.
QList<QList<char32_t>> dataLines(const QString& file, const QString& value = {}) {
    QFile data(kUnicodeData + file);
    if (!data.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    QList<QList<char32_t>> lines;
    while (!data.atEnd()) {
        const QString line = QString::fromUtf8(data.readLine()).section(u'#', 0, 0);
        const QStringList fields = line.split(u';');
        if (fields.size() < 2 || (!value.isEmpty() && fields[1].trimmed() != value)) {
            continue;
        }
        QList<char32_t> points;
        const QString first = fields[0].trimmed();
        if (first.contains(QLatin1String(".."))) {
            for (char32_t c = first.section(QLatin1String(".."), 0, 0).toUInt(nullptr, 16);
                 c <= first.section(QLatin1String(".."), 1, 1).toUInt(nullptr, 16); ++c) {
                points.append(c);
            }
        } else {
            for (const QString& point : first.split(u' ', Qt::SkipEmptyParts)) {
                points.append(point.toUInt(nullptr, 16));
            }
        }
        lines.append(points);
    }
    return lines;
}

// The code points as they are: QString::fromUcs4 would drop a leading byte order mark.
QString fromPoints(const QList<char32_t>& points) {
    QString out;
    for (const char32_t c : points) {
        out.append(QStringView(QChar::fromUcs4(c)));
    }
    return out;
}

} // namespace

class VisibleTextTest : public QObject {
    Q_OBJECT

private slots:
    void showsStandIns_data();
    void showsStandIns();
    void cleanTextIsNotCopied();
    void everyHiddenCharacterShowsAStandIn();
    void emojiAndVariationSequencesStay();
};

void VisibleTextTest::showsStandIns_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");

    // Names without such characters show as they read.
    QTest::newRow("ascii") << QByteArray("report (final).txt") << text(u"report (final).txt");
    QTest::newRow("chinese and punctuation")
        << utf8(u"发票—2024年“终版”….pdf") << text(u"发票—2024年“终版”….pdf");
    QTest::newRow("accents and spaces")
        << utf8(u"Café\u00A0crème\u3000x") << text(u"Café\u00A0crème\u3000x");

    // The override that makes "invoice<RLO>gpj.exe" pass for "invoiceexe.jpg".
    QTest::newRow("right-to-left override")
        << utf8(u"invoice\u202Egpj.exe") << text(u"invoice<U+202E>gpj.exe");
    QTest::newRow("every bidi control")
        << utf8(u"\u061C\u200E\u200F\u202A\u202B\u202C\u202D\u2066\u2067\u2068\u2069")
        << text(u"<U+061C><U+200E><U+200F><U+202A><U+202B><U+202C><U+202D><U+2066><U+2067>"
                u"<U+2068><U+2069>");

    // C0 controls and DEL as Control Pictures; C1 controls by code point.
    QTest::newRow("line feed") << QByteArray("line1\nline2.txt") << text(u"line1␊line2.txt");
    QTest::newRow("nul tab cr esc bel del") << QByteArray("\0\t\r\x1b\a\x7f", 6) << text(u"␀␉␍␛␇␡");
    // (With Han beside them: alone, such UTF-8 reads as GBK passing for UTF-8.)
    QTest::newRow("c1 controls") << utf8(u"中\u0080\u0085\u009B\u009F文")
                                 << text(u"中<U+0080><U+0085><U+009B><U+009F>文");
    QTest::newRow("line and paragraph separators")
        << utf8(u"a\u2028b\u2029c") << text(u"a<U+2028>b<U+2029>c");

    // Invisible characters.
    QTest::newRow("zero-width space") << utf8(u"pay\u200Bpal") << text(u"pay<U+200B>pal");
    QTest::newRow("word joiner and invisible operators")
        << utf8(u"\u2060\u2061\u2062\u2063\u2064")
        << text(u"<U+2060><U+2061><U+2062><U+2063><U+2064>");
    QTest::newRow("byte order mark first and inside")
        << utf8(u"\uFEFFa\uFEFFb") << text(u"<U+FEFF>a<U+FEFF>b");
    QTest::newRow("soft hyphen, Mongolian vowel separator")
        << utf8(u"中\u00AD文\u180E字") << text(u"中<U+00AD>文<U+180E>字");
    QTest::newRow("hangul fillers")
        << utf8(u"\u3164\u115F\u1160.txt") << text(u"<U+3164><U+115F><U+1160>.txt");

    // Every other format character and default ignorable code point, in every plane;
    // the halfwidth Hangul filler too. Look-alike punctuation is no such character.
    QTest::newRow("grapheme joiner, Khmer inherent vowels, reserved and deprecated formats")
        << utf8(u"中\u034F文\u17B4\u17B5\u2065\u206A\u206F\uFFF0\uFFFB\uFFA0.txt")
        << text(
               u"中<U+034F>文<U+17B4><U+17B5><U+2065><U+206A><U+206F><U+FFF0><U+FFFB><U+FFA0>.txt");
    QTest::newRow("beyond the basic plane")
        << utf8(u"a\U0001D173b\U0001D17A\U000E0001\U000E0FFF\U0001BCA0")
        << text(u"a<U+1D173>b<U+1D17A><U+E0001><U+E0FFF><U+1BCA0>");
    QTest::newRow("one dot leader") << utf8(u"doc\u2024exe") << text(u"doc\u2024exe");

    // Joiners stay inside emoji sequences and between letters of scripts that shape with
    // them; between Latin, Cyrillic, Greek or Han letters they draw nothing.
    QTest::newRow("emoji family") << utf8(u"👨\u200D👩\u200D👧.jpg") << text(u"👨\u200D👩\u200D👧.jpg");
    QTest::newRow("emoji with variation selector, modifier and joiner")
        << utf8(u"❤\uFE0F\u200D🔥 🧑🏻\u200D🦰")
        << text(u"❤\uFE0F\u200D🔥 🧑🏻\u200D🦰");
    QTest::newRow("persian non-joiner")
        << utf8(u"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645")
        << text(u"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645");
    QTest::newRow("devanagari joiner")
        << utf8(u"\u0915\u094D\u200D\u0937") << text(u"\u0915\u094D\u200D\u0937");
    QTest::newRow("joiners between latin, cyrillic, greek, han")
        << utf8(u"a\u200Db\u200Cc д\u200Dа α\u200Cβ 中\u200D文")
        << text(u"a<U+200D>b<U+200C>c д<U+200D>а α<U+200C>β 中<U+200D>文");
    QTest::newRow("joiner between arabic and latin, non-joiner between emoji")
        << utf8(u"\u0628\u200Da 👨\u200C👩") << text(u"\u0628<U+200D>a 👨<U+200C>👩");
    QTest::newRow("joiner beside ascii")
        << utf8(u"\u0628\u200D.exe") << text(u"\u0628<U+200D>.exe");
    QTest::newRow("joiner at the ends")
        << utf8(u"\u200D\u0628\u0628\u200C") << text(u"<U+200D>\u0628\u0628<U+200C>");
    QTest::newRow("two joiners") << utf8(u"\u0628\u200C\u200C\u0628")
                                 << text(u"\u0628<U+200C><U+200C>\u0628");
    QTest::newRow("joiner after a selector the emoji lacks")
        << utf8(u"🔥\uFE0E\u200D🔥") << text(u"🔥<U+FE0E><U+200D>🔥");
    QTest::newRow("joiner beside an undecodable byte")
        << QByteArray("\xD8\xA8\xE2\x80\x8D\xFF") << text(u"\u0628<U+200D>\xDCFF");

    // Variation selectors stay after a character that has that variation: standardized,
    // emoji and ideographic sequences; elsewhere they draw nothing.
    QTest::newRow("variation selectors") << utf8(u"葛\U000E0100 ☺\uFE0E \u2205\uFE00 \u1820\u180B")
                                         << text(u"葛\U000E0100 ☺\uFE0E \u2205\uFE00 \u1820\u180B");
    QTest::newRow("variation selectors without that variation")
        << utf8(u"a\uFE0F \U000E0100x 葛\uFE0F \uFE0E")
        << text(u"a<U+FE0F> <U+E0100>x 葛<U+FE0F> <U+FE0E>");

    // Tags stay in a whole emoji tag sequence only.
    QTest::newRow("flag of Scotland")
        << utf8(u"🏴\U000E0067\U000E0062\U000E0073\U000E0063\U000E0074\U000E007F")
        << text(u"🏴\U000E0067\U000E0062\U000E0073\U000E0063\U000E0074\U000E007F");
    QTest::newRow("tags outside a tag sequence")
        << utf8(u"🏴\U000E0065\U000E0078\U000E0065\U000E007F a\U000E0067")
        << text(u"🏴<U+E0065><U+E0078><U+E0065><U+E007F> a<U+E0067>");
    QTest::newRow("tags after a whole tag sequence")
        << utf8(u"🏴\U000E0067\U000E0062\U000E0077\U000E006C\U000E0073\U000E007F\U000E0078")
        << text(u"🏴\U000E0067\U000E0062\U000E0077\U000E006C\U000E0073\U000E007F<U+E0078>");

    // GB18030: the same characters after decoding; GBK text reads in Chinese.
    QTest::newRow("gb18030 override")
        << QByteArray("\xB7\xA2\xC6\xB1\x81\x36\xA7\x31gpj.exe") << text(u"发票<U+202E>gpj.exe");
    QTest::newRow("gb18030 zero-width space and C1")
        << QByteArray("\xB7\xA2\x81\x36\xA4\x37\x81\x30\x81\x35") << text(u"发<U+200B><U+0085>");

    // Undecodable bytes keep their lossless form beside the stand-ins.
    QTest::newRow("undecodable bytes")
        << QByteArray("\x1b\xFF\x80x\xFE") << text(u"␛\xDCFF\xDC80x\xDCFE");
}

void VisibleTextTest::showsStandIns() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(shownFor(bytes), shown);
    // Showing the shown text again changes nothing.
    QCOMPARE(names::visibleText(shown), shown);
}

void VisibleTextTest::cleanTextIsNotCopied() {
    for (const QString& clean : {text(u"plain.txt"), text(u"新建文件夹"), text(u"👨\u200D👩")}) {
        QCOMPARE(names::visibleText(clean).constData(), clean.constData());
    }
}

// Every control, format character, separator of lines or paragraphs (by Qt's own
// character data) and default ignorable code point (by the Unicode data), standing
// alone, shows a stand-in.
void VisibleTextTest::everyHiddenCharacterShowsAStandIn() {
    QList<char32_t> hidden;
    for (const QList<char32_t>& range : dataLines(QStringLiteral("DerivedCoreProperties.txt"),
                                                  QStringLiteral("Default_Ignorable_Code_Point"))) {
        hidden.append(range);
    }
    if (hidden.isEmpty()) {
        QSKIP("the Unicode data of the unicode-data package is not installed");
    }
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const auto category = QChar::category(c);
        if (category == QChar::Other_Control || category == QChar::Other_Format ||
            category == QChar::Separator_Line || category == QChar::Separator_Paragraph) {
            hidden.append(c);
        }
    }
    for (const char32_t c : hidden) {
        const QString alone = fromPoints({c});
        const QString shown = names::visibleText(alone);
        QVERIFY2(shown != alone && !shown.contains(alone), qPrintable(QString::number(c, 16)));
    }
}

// Every emoji the Unicode emoji data lists as fully qualified, and every standardized
// and emoji variation sequence, shows as it is, joiners, selectors and tags included.
void VisibleTextTest::emojiAndVariationSequencesStay() {
    QList<QList<char32_t>> sequences =
        dataLines(QStringLiteral("emoji/emoji-test.txt"), QStringLiteral("fully-qualified"));
    sequences.append(dataLines(QStringLiteral("emoji/emoji-variation-sequences.txt")));
    sequences.append(dataLines(QStringLiteral("StandardizedVariants.txt")));
    if (sequences.isEmpty()) {
        QSKIP("the Unicode data of the unicode-data package is not installed");
    }
    QVERIFY(sequences.size() > 4000);
    for (const QList<char32_t>& sequence : sequences) {
        const QString shown = fromPoints(sequence);
        QCOMPARE(names::visibleText(shown), shown);
    }
}

QTEST_APPLESS_MAIN(VisibleTextTest)
#include "tst_visible_text.moc"
