#include "platform/FileSystem.h"
#include "res/MessageTable.h"
#include "store/ComError.h"

#include <QtTest>

// How a result code becomes the text the user sees.
class TestErrorText : public QObject {
    Q_OBJECT

private slots:
    void textFor_data();
    void textFor();
    void tableTextsEndInLineBreak_data();
    void tableTextsEndInLineBreak();
    void codesWithoutTableText();
    void comErrorCarriesCodeOnly();
    void mountFailureShowsTheServiceWordsVisibly();
};

void TestErrorText::textFor_data() {
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("text");

    // Table texts lose their final "\r\n" and nothing else.
    QTest::newRow("file not found") << 0x80070002u << QStringLiteral("系统找不到指定的文件。");
    QTest::newRow("path not found") << 0x80070003u << QStringLiteral("系统找不到指定的路径。");
    QTest::newRow("access denied") << 0x80070005u << QStringLiteral("拒绝访问。");
    QTest::newRow("sharing violation")
        << 0x80070020u << QStringLiteral("另一个程序正在使用此文件，进程无法访问。");
    QTest::newRow("disk full") << 0x80070070u << QStringLiteral("磁盘空间不足。");
    QTest::newRow("write protect") << 0x80070013u << QStringLiteral("介质受写入保护。");
    QTest::newRow("unspecified") << 0x80004005u << QStringLiteral("未指定的错误");
    QTest::newRow("pointer") << 0x80004003u << QStringLiteral("无效指针");

    // The automation range: low word minus 0x200, in decimal.
    QTest::newRow("no such table") << 0x80040E37u << QStringLiteral("IDispatch error #3127");
    QTest::newRow("bad statement") << 0x80040E14u << QStringLiteral("IDispatch error #3092");
    QTest::newRow("integrity") << 0x80040E2Fu << QStringLiteral("IDispatch error #3119");
    QTest::newRow("first of range") << 0x80040201u << QStringLiteral("IDispatch error #1");
    QTest::newRow("last of range") << 0x8004FFFFu << QStringLiteral("IDispatch error #65023");
    QTest::newRow("low word 0x1200") << 0x80041200u << QStringLiteral("IDispatch error #4096");

    // The range's base itself and its neighbours outside are unknown codes.
    QTest::newRow("base of range") << 0x80040200u << QStringLiteral("Unknown error 0x80040200");
    QTest::newRow("just below") << 0x800401FFu << QStringLiteral("Unknown error 0x800401FF");
    QTest::newRow("just above") << 0x80050000u << QStringLiteral("Unknown error 0x80050000");
    QTest::newRow("same low word, other facility")
        << 0x80070E37u << QStringLiteral("Unknown error 0x80070E37");
    QTest::newRow("success form of range")
        << 0x00040E37u << QStringLiteral("Unknown error 0x40E37");

    // Unknown codes: upper-case hexadecimal, no padding.
    QTest::newRow("unknown win32") << 0x8007ABCDu << QStringLiteral("Unknown error 0x8007ABCD");
    QTest::newRow("small") << 0x12u << QStringLiteral("Unknown error 0x12");
    QTest::newRow("zero") << 0x0u << QStringLiteral("Unknown error 0x0");
    QTest::newRow("all bits") << 0xFFFFFFFFu << QStringLiteral("Unknown error 0xFFFFFFFF");
}

void TestErrorText::textFor() {
    QFETCH(quint32, code);
    QFETCH(QString, text);
    QCOMPARE(errorTextFor(static_cast<HRESULT>(code)), text);
}

void TestErrorText::tableTextsEndInLineBreak_data() {
    QTest::addColumn<quint32>("code");
    for (quint32 code : {0x80070002u, 0x80070003u, 0x80070005u, 0x8007000Eu, 0x80070013u,
                         0x80070020u, 0x80070050u, 0x80070070u, 0x80004005u, 0x80004003u}) {
        QTest::newRow(qPrintable(QString::number(code, 16))) << code;
    }
}

void TestErrorText::tableTextsEndInLineBreak() {
    // The table keeps the system's form; the shown text is that minus "\r\n" exactly.
    QFETCH(quint32, code);
    const char* raw = messageTextFor(static_cast<HRESULT>(code));
    QVERIFY(raw != nullptr);
    const QString stored = QString::fromUtf8(raw);
    QVERIFY(stored.endsWith(QLatin1String("\r\n")));
    const QString shown = errorTextFor(static_cast<HRESULT>(code));
    QCOMPARE(shown, stored.chopped(2));
    QVERIFY(!shown.isEmpty());
    QVERIFY(!shown.contains(QLatin1Char('\r')) && !shown.contains(QLatin1Char('\n')));
}

void TestErrorText::codesWithoutTableText() {
    // The OLE DB codes must stay out of the table, or they would lose their
    // "IDispatch error" form.
    QCOMPARE(messageTextFor(static_cast<HRESULT>(0x80040E37u)), nullptr);
    QCOMPARE(messageTextFor(static_cast<HRESULT>(0x80040E14u)), nullptr);
    QCOMPARE(messageTextFor(static_cast<HRESULT>(0x80040E2Fu)), nullptr);
    QCOMPARE(messageTextFor(0), nullptr);
}

void TestErrorText::comErrorCarriesCodeOnly() {
    const ComError error(hr::kNoSuchTable);
    QCOMPARE(error.Error(), hr::kNoSuchTable);
    QCOMPARE(error.ErrorMessage(), QStringLiteral("IDispatch error #3127"));
}

// The storage service's message names a volume labelled with an override and ends in a
// line feed: both show as stand-ins.
void TestErrorText::mountFailureShowsTheServiceWordsVisibly() {
    const QString message = QStringView(u"Error mounting /dev/loop0 at /media/u/\u202Egpj.exe: "
                                        u"wrong fs type\n")
                                .toString();
    QCOMPARE(platform::describeMountFailure(QStringLiteral("/media/u/<U+202E>gpj.exe/"), message),
             QStringLiteral("无法打开 /media/u/<U+202E>gpj.exe/：Error mounting /dev/loop0 at "
                            "/media/u/<U+202E>gpj.exe: wrong fs type␊"));
}

QTEST_APPLESS_MAIN(TestErrorText)
#include "tst_error_text.moc"
