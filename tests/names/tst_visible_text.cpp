// The text a name shows: every character that could hide, reorder or break it has a
// visible stand-in, after decoding, so that GB18030 names are treated alike.

#include "names/NameCodec.h"
#include "names/VisibleText.h"

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

} // namespace

class VisibleTextTest : public QObject {
    Q_OBJECT

private slots:
    void showsStandIns_data();
    void showsStandIns();
    void cleanTextIsNotCopied();
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

    // Joiners stay between two characters that are neither ASCII nor white space.
    QTest::newRow("emoji family") << utf8(u"👨\u200D👩\u200D👧.jpg") << text(u"👨\u200D👩\u200D👧.jpg");
    QTest::newRow("emoji with variation selector and joiner")
        << utf8(u"❤\uFE0F\u200D🔥") << text(u"❤\uFE0F\u200D🔥");
    QTest::newRow("persian non-joiner")
        << utf8(u"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645")
        << text(u"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645");
    QTest::newRow("devanagari joiner")
        << utf8(u"\u0915\u094D\u200D\u0937") << text(u"\u0915\u094D\u200D\u0937");
    QTest::newRow("joiner between ascii")
        << utf8(u"a\u200Db\u200Cc") << text(u"a<U+200D>b<U+200C>c");
    QTest::newRow("joiner beside ascii") << utf8(u"发票\u200D.exe") << text(u"发票<U+200D>.exe");
    QTest::newRow("joiner at the ends")
        << utf8(u"\u200D中文\u200C") << text(u"<U+200D>中文<U+200C>");
    QTest::newRow("joiner beside white space")
        << utf8(u"中\u200D\u3000文") << text(u"中<U+200D>\u3000文");
    QTest::newRow("two joiners") << utf8(u"中\u200D\u200D文") << text(u"中<U+200D><U+200D>文");
    QTest::newRow("joiner beside an undecodable byte")
        << QByteArray("\xE4\xB8\xAD\xE2\x80\x8D\xFF") << text(u"中<U+200D>\xDCFF");

    // Variation selectors stay, supplementary ones too.
    QTest::newRow("variation selectors")
        << utf8(u"葛\U000E0100 ☺\uFE0E") << text(u"葛\U000E0100 ☺\uFE0E");

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

QTEST_APPLESS_MAIN(VisibleTextTest)
#include "tst_visible_text.moc"
