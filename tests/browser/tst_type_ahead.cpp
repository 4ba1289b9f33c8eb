// Type-ahead in a listed column, held against Qt's own search in a plain table view.

#include "TestSupport.h"

#include "browser/CColumnList.h"
#include "ui/CDirquillDlg.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QStringListModel>
#include <QTableView>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// The GB18030 bytes of a text, as a Windows program names its files.
QByteArray gbk(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    iconv_t converter = iconv_open("GB18030", "UTF-8");
    QByteArray out(utf8.size() * 4, '\0');
    char* in = const_cast<char*>(utf8.constData());
    std::size_t inLeft = static_cast<std::size_t>(utf8.size());
    char* to = out.data();
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    iconv(converter, &in, &inLeft, &to, &outLeft);
    iconv_close(converter);
    out.truncate(out.size() - static_cast<int>(outLeft));
    return out;
}

// Names of every kind a folder can hold: ASCII in mixed case that are prefixes of one
// another, Chinese in UTF-8 and in GBK, letters whose case rules go beyond ASCII (the
// Kelvin sign folds to k, the long s upper-cases to S, the dotless i to I), controls and
// invisibles, undecodable bytes.
QList<QByteArray> randomNames(QRandomGenerator& random) {
    const QStringList pieces = {
        "a",         "A",    "b",         "B",     "k",     "s",     "i",    "_",    "1",
        ".",         " ",    u("中"),     u("文"), u("照"), u("片"), u("é"), u("É"), u("ß"),
        u("ẞ"),      u("ſ"), u("\u212A"), u("ı"),  u("İ"),  u("ς"),  u("Σ"), u("😀"), u("\u202E"),
        u("\u200B"), "\t",   u("（"),     u("Ａ"), u("ａ"), u("𐐀"),  u("𐐨"), u("𠮷")};
    QSet<QByteArray> names;
    QList<QByteArray> made;
    while (made.size() < 400) {
        QString text;
        const int length = 1 + random.bounded(5);
        for (int i = 0; i < length; ++i) {
            // Mostly the first pieces, so that names share their beginnings; the others
            // often at the start, where the search looks.
            const int limit = random.bounded(i == 0 ? 2 : 4) == 0 ? pieces.size() : 11;
            text += pieces.at(random.bounded(limit));
        }
        QByteArray name;
        switch (random.bounded(8)) {
        case 0:
            name = gbk(text);
            break;
        case 1:
            name = text.toUtf8() + "\xFF";
            break;
        case 2:
            if (!made.isEmpty()) {
                // A name that another one begins with, or that begins with another.
                const QByteArray& other = made.at(random.bounded(made.size()));
                name = random.bounded(2) == 0 ? other.left(1 + random.bounded(other.size()))
                                              : other + text.toUtf8();
                break;
            }
            [[fallthrough]];
        default:
            name = text.toUtf8();
        }
        if (name.isEmpty() || name.contains('/') || name == "." || name == ".." ||
            names.contains(name)) {
            continue;
        }
        names.insert(name);
        made.append(name);
    }
    return made;
}

void typeInto(QWidget* view, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(view, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(view, &release);
}

} // namespace

class TestTypeAhead : public QObject {
    Q_OBJECT
private slots:
    void typeAheadSelectsWhatQtsOwnSearchSelects();
};

void TestTypeAhead::typeAheadSelectsWhatQtsOwnSearchSelects() {
    // A failure names its seed; DIRQUILL_TEST_SEED replays it.
    bool seeded = false;
    const auto given =
        static_cast<quint32>(qEnvironmentVariableIntValue("DIRQUILL_TEST_SEED", &seeded));
    const quint32 seed = seeded ? given : QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    TestWorkspace workspace;
    const QString folder = workspace.root() + "/names";
    QVERIFY(QDir().mkpath(folder));
    const QList<QByteArray> names = randomNames(random);
    // Names that are not UTF-8 cannot be removed through QDir's texts: they go by their
    // bytes, whatever the test's outcome.
    const QByteArray folderBytes = QFile::encodeName(folder);
    const auto removeNames = qScopeGuard([&] {
        for (const QByteArray& name : names) {
            ::unlink((folderBytes + "/" + name).constData());
        }
    });
    for (const QByteArray& name : names) {
        const QByteArray path = folderBytes + "/" + name;
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        QVERIFY2(fd >= 0, path.constData());
        ::close(fd);
    }

    // The column as the window lists it.
    CDirquillDlg dlg;
    dlg.Create();
    dlg.Column(0).SelectRow(1);
    dlg.RefillColumnsFrom(1);
    const int folderRow = rowTexts(dlg.Column(1)).indexOf("names");
    QVERIFY(folderRow >= 0);
    dlg.Column(1).SelectRow(folderRow);
    dlg.RefillColumnsFrom(2);
    CColumnList& column = dlg.Column(2);
    QCOMPARE(column.GetItemCount(), names.size());
    // The window idles before the first key, as it does before a user types.
    QCoreApplication::processEvents();

    // Qt's own search over the same texts in the same order.
    QStringList texts;
    for (int r = 0; r < column.GetItemCount(); ++r) {
        texts.append(column.GetItemDisplayText(r));
    }
    QStringListModel model(texts);
    QTableView table;
    table.setModel(&model);
    table.setSelectionMode(QAbstractItemView::SingleSelection);
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    table.setEditTriggers(QAbstractItemView::NoEditTriggers);

    // Keys typed together come far inside the interval, pauses far outside it.
    constexpr int kInterval = 200;
    QApplication::setKeyboardInputInterval(kInterval);
    QStringList keys = {"a",     "A",     "b",    "k",         "K",      "s",     "S",     "i",
                        "I",     "_",     "1",    " ",         "z",      u("中"), u("文"), u("照"),
                        u("é"),  u("ß"),  u("ſ"), u("\u212A"), u("ı"),   u("σ"),  u("\t"), "<",
                        u("ａ"), u("（"), u("𐐨"), u("𠮷"),     QString()};
    QString typed;
    bool fresh = true;
    for (int step = 0; step < 480; ++step) {
        const int action = random.bounded(12);
        if (action == 0) {
            QThread::msleep(kInterval * 11 / 5);
            typed += " | ";
            fresh = true;
            continue;
        }
        if (action == 1) {
            // The user moves the selection, or leaves no current row.
            const int row = random.bounded(-1, column.GetItemCount());
            const QModelIndex mine = row < 0 ? QModelIndex() : column.model()->index(row, 0);
            const QModelIndex theirs = row < 0 ? QModelIndex() : model.index(row, 0);
            column.setCurrentIndex(mine);
            table.setCurrentIndex(theirs);
            typed += QString(" @%1 ").arg(row);
            continue;
        }
        // Mostly the first keys, which most names begin with; the others often where a
        // search starts.
        const bool anyKey = random.bounded(fresh ? 2 : 4) == 0;
        fresh = false;
        const QString& key = keys.at(random.bounded(anyKey ? keys.size() : 11));
        typed += key.isEmpty() ? QString("<>") : key;
        if (key.isEmpty()) {
            column.keyboardSearch(key);
            table.keyboardSearch(key);
        } else {
            typeInto(&column, key);
            typeInto(&table, key);
        }
        QVERIFY2(column.currentIndex().row() == table.currentIndex().row() &&
                     column.GetSelectedRow() ==
                         table.selectionModel()->selectedRows().value(0, {}).row(),
                 qPrintable(QString("seed %1, typed %2: row %3, Qt's row %4")
                                .arg(seed)
                                .arg(typed)
                                .arg(column.currentIndex().row())
                                .arg(table.currentIndex().row())));
    }
}

QTEST_MAIN(TestTypeAhead)
#include "tst_type_ahead.moc"
