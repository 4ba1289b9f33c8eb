#include "names/NameCodec.h"

#include <QRandomGenerator>
#include <QTest>

#include <string_view>

using names::decodeName;
using names::encodeName;

namespace {

std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

QString escaped(unsigned char byte) {
    return QString(QChar(char16_t(0xDC00 + byte)));
}

} // namespace

class NameCodecTest : public QObject {
    Q_OBJECT

private slots:
    void decodesAndRoundTrips_data();
    void decodesAndRoundTrips();
    void encodesTextAsUtf8();
    void pairedSurrogatesAreNotEscapes();
    void randomBytesRoundTrip();
    void randomTextRoundTrips();
    void displaysUtf8ThenGb18030ThenLossless();
};

void NameCodecTest::decodesAndRoundTrips_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("ascii") << QByteArray("report-2024 (final).txt")
                           << QStringLiteral("report-2024 (final).txt");
    QTest::newRow("long ascii") << QByteArray(300, 'x') << QString(300, QLatin1Char('x'));
    QTest::newRow("chinese") << QByteArray(
                                    "\xE6\x96\xB0\xE5\xBB\xBA\xE6\x96\x87\xE4\xBB\xB6\xE5\xA4\xB9")
                             << QStringLiteral("新建文件夹");
    QTest::newRow("emoji") << QByteArray("a\xF0\x9F\x98\x80.png") << QString::fromUtf8("a😀.png");
    QTest::newRow("highest code point")
        << QByteArray("\xF4\x8F\xBF\xBF")
        << QString::fromUcs4(std::u32string_view(U"\U0010FFFF").data(), 1);
    QTest::newRow("byte order mark kept") << QByteArray("\xEF\xBB\xBF"
                                                        "a")
                                          << QString(QChar(0xFEFF)) + QLatin1Char('a');
    QTest::newRow("byte order mark inside")
        << QByteArray("a\xEF\xBB\xBF") << QLatin1Char('a') + QString(QChar(0xFEFF));
    QTest::newRow("byte order mark then invalid")
        << QByteArray("\xEF\xBB\xBF\xFF") << QString(QChar(0xFEFF)) + escaped(0xFF);
    QTest::newRow("latin-1 byte") << QByteArray("caf\xE9") << QStringLiteral("caf") + escaped(0xE9);
    QTest::newRow("lone continuation") << QByteArray("\x80") << escaped(0x80);
    QTest::newRow("ff and fe") << QByteArray("\xFF\xFE") << escaped(0xFF) + escaped(0xFE);
    QTest::newRow("truncated at end")
        << QByteArray("x\xE4\xB8") << QStringLiteral("x") + escaped(0xE4) + escaped(0xB8);
    QTest::newRow("truncated before ascii")
        << QByteArray("\xF0\x9F\x98"
                      "a")
        << escaped(0xF0) + escaped(0x9F) + escaped(0x98) + QLatin1Char('a');
    QTest::newRow("truncated before valid")
        << QByteArray("\xE4\xE4\xB8\xAD") << escaped(0xE4) + QStringLiteral("中");
    QTest::newRow("overlong slash two bytes")
        << QByteArray("\xC0\xAF") << escaped(0xC0) + escaped(0xAF);
    QTest::newRow("overlong slash three bytes")
        << QByteArray("\xE0\x80\xAF") << escaped(0xE0) + escaped(0x80) + escaped(0xAF);
    QTest::newRow("overlong four bytes")
        << QByteArray("\xF0\x80\x80\xAF")
        << escaped(0xF0) + escaped(0x80) + escaped(0x80) + escaped(0xAF);
    QTest::newRow("encoded high surrogate")
        << QByteArray("\xED\xA0\x80") << escaped(0xED) + escaped(0xA0) + escaped(0x80);
    QTest::newRow("encoded escape surrogate")
        << QByteArray("\xED\xB2\x80") << escaped(0xED) + escaped(0xB2) + escaped(0x80);
    QTest::newRow("above U+10FFFF")
        << QByteArray("\xF4\x90\x80\x80")
        << escaped(0xF4) + escaped(0x90) + escaped(0x80) + escaped(0x80);
    QTest::newRow("f5 lead") << QByteArray("\xF5\x80") << escaped(0xF5) + escaped(0x80);
    QTest::newRow("valid around invalid")
        << QByteArray("\xE4\xB8\xAD\xFF\xE6\x96\x87")
        << QStringLiteral("中") + escaped(0xFF) + QStringLiteral("文");
}

void NameCodecTest::decodesAndRoundTrips() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString decoded = decodeName(view(bytes));
    QCOMPARE(decoded, text);
    QCOMPARE(encodeName(decoded), bytes);
}

void NameCodecTest::encodesTextAsUtf8() {
    QCOMPARE(encodeName(QStringLiteral("文件 'a'.txt")), QStringLiteral("文件 'a'.txt").toUtf8());
    // Escapes become their bytes even between ordinary characters.
    QCOMPARE(encodeName(QStringLiteral("a") + escaped(0x80) + QStringLiteral("中")),
             QByteArray("a\x80\xE4\xB8\xAD"));
    // A lone surrogate outside the escape range stands for no byte; it is written the way
    // the rest of Qt writes it, as U+FFFD.
    QCOMPARE(encodeName(QString(QChar(0xD800)) + QLatin1Char('x')), QByteArray("\xEF\xBF\xBDx"));
    QCOMPARE(encodeName(QString(QChar(0xDC10))), QByteArray("\xEF\xBF\xBD"));
}

void NameCodecTest::pairedSurrogatesAreNotEscapes() {
    // U+10080 is the pair D800 DC80; its low half lies in the escape range but must not be
    // read as the byte 0x80.
    const QByteArray bytes("\xF0\x90\x82\x80");
    const QString text = decodeName(view(bytes));
    QCOMPARE(text.size(), 2);
    QCOMPARE(text.at(0).unicode(), char16_t(0xD800));
    QCOMPARE(text.at(1).unicode(), char16_t(0xDC80));
    QCOMPARE(encodeName(text), bytes);

    // An escaped byte right after a complete pair stays an escape.
    const QByteArray mixed("\xF0\x90\x82\x80\x80");
    QCOMPARE(encodeName(decodeName(view(mixed))), mixed);
}

void NameCodecTest::randomBytesRoundTrip() {
    // Bytes drawn mostly from the ranges where UTF-8 goes wrong: leads, continuations,
    // the bytes that start overlong or out-of-range forms.
    static constexpr unsigned char kInteresting[] = {
        'a',  '.',  0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
        0xDF, 0xE0, 0xE4, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF, 0xB8, 0xAD, 0x82};
    QRandomGenerator random(20240611);
    for (int sample = 0; sample < 50000; ++sample) {
        QByteArray bytes;
        const int length = random.bounded(0, 24);
        for (int i = 0; i < length; ++i) {
            if (random.bounded(4) == 0) {
                bytes.append(char(random.bounded(256)));
            } else {
                bytes.append(char(kInteresting[random.bounded(int(sizeof kInteresting))]));
            }
        }
        const QString text = decodeName(view(bytes));
        QVERIFY2(encodeName(text) == bytes, bytes.toHex(' ').constData());
        // Valid UTF-8 reads exactly as Qt reads it; anything else never turns into
        // replacement characters.
        const QString strict = QString::fromUtf8(bytes);
        if (strict.toUtf8() == bytes) {
            QCOMPARE(text, strict);
        } else {
            QVERIFY(!text.contains(QChar::ReplacementCharacter) || bytes.contains("\xEF\xBF\xBD"));
        }
    }
}

void NameCodecTest::randomTextRoundTrips() {
    // Text a user may type: decodeName(encodeName(t)) gives t back when t has no lone
    // surrogates.
    QRandomGenerator random(7);
    for (int sample = 0; sample < 20000; ++sample) {
        std::u32string points;
        const int length = random.bounded(1, 12);
        for (int i = 0; i < length; ++i) {
            char32_t cp = 0;
            switch (random.bounded(4)) {
            case 0:
                cp = char32_t(random.bounded(0x20, 0x7F));
                break;
            case 1:
                cp = char32_t(random.bounded(0x4E00, 0x9FFF));
                break;
            case 2:
                cp = char32_t(random.bounded(0x10000, 0x110000));
                break;
            default:
                cp = char32_t(random.bounded(0x80, 0xD800));
                break;
            }
            points.push_back(cp);
        }
        const QString text = QString::fromUcs4(points.data(), qsizetype(points.size()));
        const QByteArray bytes = encodeName(text);
        QCOMPARE(bytes, text.toUtf8());
        QCOMPARE(decodeName(view(bytes)), text);
    }
}

void NameCodecTest::displaysUtf8ThenGb18030ThenLossless() {
    using names::displayName;
    // UTF-8 wins even where the bytes would also be GB18030 ("中文" in UTF-8 reads as
    // three GB18030 characters).
    QCOMPARE(displayName("\xE4\xB8\xAD\xE6\x96\x87"), QStringLiteral("中文"));
    QCOMPARE(displayName("\xEF\xBB\xBF"
                         "a"),
             QString(QChar(0xFEFF)) + QLatin1Char('a'));
    // GBK, and the four-byte GB18030 forms.
    QCOMPARE(displayName("\xD0\xC2\xBD\xA8\xCE\xC4\xB1\xBE\xCE\xC4\xB5\xB5.txt"),
             QStringLiteral("新建文本文档.txt"));
    QCOMPARE(displayName("\xD5\xD5\xC6\xAC"), QStringLiteral("照片"));
    QCOMPARE(displayName("\x81\x30\x81\x30\x90\x30\x81\x30"),
             QString::fromUcs4(std::u32string_view(U"\u0080\U00010000").data(), 2));
    // Neither: a cut-off sequence at the end, bytes GB18030 has no use for, a four-byte
    // form beyond U+10FFFF. These keep the lossless form.
    for (const QByteArray& bytes :
         {QByteArray("ab\xC4"), QByteArray("caf\xE9"), QByteArray("\xFF\xFE"), QByteArray("\x80"),
          QByteArray("\xE3\x32\x9A\x36")}) {
        QCOMPARE(displayName(view(bytes)), decodeName(view(bytes)));
        // A name that fails leaves the next one readable.
        QCOMPARE(displayName("\xD5\xD5\xC6\xAC"), QStringLiteral("照片"));
    }
}

QTEST_GUILESS_MAIN(NameCodecTest)
#include "tst_name_codec.moc"
