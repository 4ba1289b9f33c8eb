// The readings table made from Unihan, and the rule by which typed letters read a text
// as pinyin.

#include "TestSupport.h"

#include "names/PinyinReadings.h"

#include <QTest>

#include <algorithm>

using namespace testsupport;
namespace pinyin = names::pinyin;

namespace {

QStringList readings(const QString& character) {
    const QList<uint> cps = character.toUcs4();
    QStringList out;
    for (const std::string_view reading : pinyin::readingsOf(pinyin::setOf(cps.front()))) {
        out.append(QString::fromLatin1(reading.data(), static_cast<qsizetype>(reading.size())));
    }
    out.sort();
    return out;
}

} // namespace

class TestPinyin : public QObject {
    Q_OBJECT
private slots:
    void readingsAreTheModernOnesWithoutTones();
    void typedTextReadsOffTheStartOfTheText();
};

void TestPinyin::readingsAreTheModernOnesWithoutTones() {
    // Every reading of the modern dictionaries, ü as v, no tones.
    QCOMPARE(readings(u("行")), QStringList({"hang", "heng", "xing"}));
    QCOMPARE(readings(u("长")), QStringList({"chang", "zhang"}));
    QCOMPARE(readings(u("重")), QStringList({"chong", "zhong"}));
    QCOMPARE(readings(u("乐")), QStringList({"le", "yue"}));
    QCOMPARE(readings(u("绿")), QStringList({"lu", "lv"}));
    QCOMPARE(readings(u("说")), QStringList({"shui", "shuo", "yue"}));
    // kHanyuPinyin's classical readings only where the others say nothing.
    QCOMPARE(readings(u("不")), QStringList({"bu"}));
    QCOMPARE(readings(u("女")), QStringList({"nv"}));
    QCOMPARE(readings(u("\U00020003")), QStringList({"qie"}));
    // ê as e, syllabic n kept.
    QVERIFY(readings(u("欸")).contains("e") && readings(u("欸")).contains("ai"));
    QVERIFY(readings(u("嗯")).contains("ng") && readings(u("嗯")).contains("n"));
    // Every CJK block, compatibility ideographs too where Unihan reads them; nothing else.
    for (const char32_t cp : {U'\u3400', U'\u4E00', U'\u9FA5', U'\U00020000', U'\U00030EDD',
                              U'\uFA18', U'\U0002F835'}) {
        QVERIFY2(pinyin::setOf(cp) != 0, qPrintable(QString::number(cp, 16)));
    }
    for (const char32_t cp : {U'a', U'\u3002', U'\uF900', U'\U00020BB7', U'\U0001F600',
                              U'\U0010FFFF', char32_t(0xD800), char32_t(0)}) {
        QVERIFY2(pinyin::setOf(cp) == 0, qPrintable(QString::number(cp, 16)));
    }
}

void TestPinyin::typedTextReadsOffTheStartOfTheText() {
    const auto matches = [](const char* text, const QString& typed) {
        return pinyin::typedMatches(u(text), typed);
    };
    for (const char* typed : {"zy", "zhiy", "zhiyuan", "zhy", "zhiyuanm", "ZhiYuan",
                              "zhiyuanmingdan.x", "zhiyuanmingdan.XLSX", "z", "zyuanmd"}) {
        QVERIFY2(matches("职员名单.xlsx", typed), typed);
    }
    for (const char* typed : {"zhiyuanx", "zhiyuanmingdanx", "zhyy", "zhiyuanmingdan.xlsx.", "y",
                              "zy ", "zhiyuanmingdanxlsx", "zhi yuan"}) {
        QVERIFY2(!matches("职员名单.xlsx", typed), typed);
    }
    QVERIFY(matches("2024年报", "2024nb"));
    QVERIFY(matches("2024年报", "2024nianbao"));
    QVERIFY(!matches("2024年报", "2024 nb"));
    QVERIFY(!matches("2024年报", "nb"));
    QVERIFY(matches("银行", "yh") && matches("银行", "yinhang") && matches("银行", "yx"));
    QVERIFY(matches("长城", "cc") && matches("长城", "zc"));
    QVERIFY(matches("重庆", "cq") && matches("音乐", "yy") && matches("音乐", "yl"));
    // ü as v, and as u.
    QVERIFY(matches("绿色", "lvs") && matches("绿色", "lus") && matches("女生", "nus"));
    QVERIFY(!matches("不", "f"));
    // A choice that leads nowhere is given up for the next: xi'an as xian, and a reading
    // prefix that must stop short of the next character's.
    QVERIFY(matches("西安", "xian") && matches("先", "xian") && matches("长安", "changan"));
    QVERIFY(matches("长安", "chan"));
    // Other characters take themselves, case ignored; so do ideographs without readings.
    QVERIFY(matches("IMG_张三.jpg", "img_zs") && !matches("IMG_张三.jpg", "img zs"));
    QVERIFY(matches("\u212A张", "kz")); // the Kelvin sign folds to k
    QVERIFY(matches("\U00020BB7张", "\U00020BB7") && !matches("\U00020BB7张", "z"));
    QVERIFY(matches("\U00020000\U00020001", "hq") && matches("a\U00020003", "aq"));
    // Typed text that is not all ASCII is only ever a beginning of the text.
    QVERIFY(matches("职员", u("职")) && !matches("职员", u("职y")));
    // Bad input: never a crash, at worst no match.
    QVERIFY(!matches("职员", u("\U0001F600")));
    QVERIFY(!matches("职员", QString(QChar(0xD800))));
    QVERIFY(!matches("职员", QString(10000, 'z')));
    QVERIFY(!matches("", "z"));
    // A lone surrogate in the text takes only itself.
    const QString loneHigh = QString(QChar(0xD800)) + u("职");
    QVERIFY(pinyin::typedMatches(loneHigh, QString(QChar(0xD800))));
    QVERIFY(!pinyin::readsAsPinyin(loneHigh, u"z") && !pinyin::readsAsPinyin(loneHigh, u"?z"));
}

QTEST_GUILESS_MAIN(TestPinyin)
#include "tst_pinyin.moc"
