// New folder, delete to the trash and rename in the level columns, on real folders and a
// real trash.

#include "TestSupport.h"
#include "platform/RawTree.h"

#include "browser/CColumnList.h"
#include "names/VisibleText.h"
#include "platform/helper/HelperCall.h"
#include "res/resource.h"
#include "ui/CDirquillDlg.h"

#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

bool exists(const QString& path) {
    return QFileInfo::exists(path) || QFileInfo(path).isSymLink();
}

} // namespace

class TestFileCommands : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { cancelPendingAnswers(); }
    void newFolderTakesThePromptedName();
    void newFolderFailsSilently();
    void newFolderPromptHasOkFocusedAndCancelChangesNothing();
    void deleteMovesFilesAndTreesToTheTrash();
    void deleteOfAVanishedEntryReportsItAndRefills();
    void commandsWithoutTheirSelectionsDoNothing();
    void renameGivesTheNewNameInTheSameFolder();
    void renameNeverReplacesAnExistingEntry();
    void commandsInColumnFourRefillOnlyColumnFour();
    void staleColumnIsRefilledInsteadOfActedOn();
    void headingAndBlankRowsAreNoFolders();
    void commandsRunFromTheRealContextMenu();
    void gbkNamesReadAsChineseAndCommandsUseTheirBytes();
    void hiddenCharactersShowAsStandInsAndCommandsUseTheRealName();
    void tipsAndMessagesShowNamesAsPlainText();
    void helperThatCannotStartIsToldOnceUntilOneStarts();
};

void TestFileCommands::newFolderTakesThePromptedName() {
    Browser b;
    makeFolder(b.root() + "/a");
    QString shownName;
    onNextModal([&shownName](QWidget* prompt) {
        shownName = prompt->findChild<QLineEdit*>()->text();
        QTest::keyClick(prompt, Qt::Key_Return);
    });
    b.dlg.OnCommandId(ID_NEWFOLDER1);
    QCOMPARE(shownName, u("新建文件夹"));
    QVERIFY(QFileInfo(b.root() + u("/新建文件夹")).isDir());
    QVERIFY(b.sortedRows(1).contains(u("新建文件夹")));
    QCOMPARE(b.dlg.SelectedRow(1), -1);

    // A name with a separator names a deeper path below an existing folder.
    answerNextPrompt("a/b");
    b.dlg.OnNewFolder1();
    QVERIFY(QFileInfo(b.root() + "/a/b").isDir());

    // Column 2: inside the folder selected in column 1.
    b.select(1, "a");
    answerNextPrompt(u(" 空格 "));
    b.dlg.OnCommandId(ID_NEWFOLDER2);
    QVERIFY(QFileInfo(b.root() + u("/a/ 空格 ")).isDir());
    QCOMPARE(b.sortedRows(2), QStringList({u(" 空格 "), "b"}));
}

void TestFileCommands::newFolderFailsSilently() {
    Browser b;
    const QStringList before = b.sortedRows(1);
    answerNextPrompt(u("新建文件夹"));
    b.dlg.OnNewFolder1();
    // The second time the name exists: no copy, no message, the column is refilled.
    answerNextPrompt(u("新建文件夹"));
    b.dlg.OnNewFolder1();
    QCOMPARE(QDir(b.root()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    // An empty name names the parent itself; a missing middle folder creates nothing.
    answerNextPrompt(QString());
    b.dlg.OnNewFolder1();
    answerNextPrompt("missing/b");
    b.dlg.OnNewFolder1();
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(b.sortedRows(1).size(), before.size() + 1);
}

void TestFileCommands::newFolderPromptHasOkFocusedAndCancelChangesNothing() {
    Browser b;
    bool okHadFocus = false;
    onNextModal([&okHadFocus](QWidget* prompt) {
        // The dialog's own focus child: the application's focus waits for the window
        // manager to activate the prompt, which a loaded machine may not have done yet.
        auto* focused = qobject_cast<QPushButton*>(prompt->focusWidget());
        okHadFocus = focused != nullptr && focused->text() == "OK";
        QCOMPARE(prompt->windowTitle(), u("修改文件或文件夹名"));
        QTest::keyClick(prompt, Qt::Key_Escape);
    });
    b.select(1, "config.mdb");
    b.dlg.OnNewFolder1();
    QVERIFY(okHadFocus);
    QCOMPARE(b.sortedRows(1), QStringList({"config.mdb"}));
    // Cancel refills nothing: the selection stays.
    QCOMPARE(b.dlg.GetDlgItem(IDC_LIST1) != nullptr, true);
    QCOMPARE(b.dlg.SelectedRow(1), 0);
}

void TestFileCommands::deleteMovesFilesAndTreesToTheTrash() {
    ScopedDataHome data;
    Browser b;
    makeFile(b.root() + "/old.txt", "keep me");
    makeFile(b.root() + "/tree/inner/leaf.txt", "leaf");
    b.dlg.RefillColumnsFrom(1);
    b.select(1, "old.txt");
    b.dlg.OnDelete1();
    b.select(1, "tree");
    b.dlg.OnCommandId(ID_DELETE1);
    QVERIFY(!exists(b.root() + "/old.txt"));
    QVERIFY(!exists(b.root() + "/tree"));
    QCOMPARE(b.sortedRows(1), QStringList({"config.mdb"}));
    QCOMPARE(b.dlg.Column(2).GetItemCount(), 0);
    // Both can be restored: whole, with their trash info.
    QFile kept(data.trashFiles() + "/old.txt");
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep me"));
    QVERIFY(QFileInfo::exists(data.trashFiles() + "/tree/inner/leaf.txt"));
    QVERIFY(QFileInfo::exists(data.trashInfo() + "/old.txt.trashinfo"));
    QVERIFY(QFileInfo::exists(data.trashInfo() + "/tree.trashinfo"));
}

void TestFileCommands::deleteOfAVanishedEntryReportsItAndRefills() {
    ScopedDataHome data;
    Browser b;
    makeFile(b.root() + "/gone.txt");
    b.dlg.RefillColumnsFrom(1);
    b.select(1, "gone.txt");
    QFile::remove(b.root() + "/gone.txt");
    QString message;
    closeNextMessageBox(&message);
    b.dlg.OnDelete1();
    QVERIFY2(message.contains("gone.txt"), qPrintable(message));
    QVERIFY(message.contains(u("找不到")));
    QCOMPARE(b.sortedRows(1), QStringList({"config.mdb"}));
    QVERIFY(QDir(data.trashFiles()).isEmpty());
}

void TestFileCommands::commandsWithoutTheirSelectionsDoNothing() {
    ScopedDataHome data;
    Browser b;
    makeFile(b.root() + "/file.txt");
    b.dlg.RefillColumnsFrom(1);
    // No row in column 1: delete and rename neither act nor refill.
    b.dlg.Column(1).setProperty("marker", 1);
    const QStringList before = rowTexts(b.dlg.Column(1));
    b.dlg.OnDelete1();
    b.dlg.OnRename1();
    QCOMPARE(rowTexts(b.dlg.Column(1)), before);
    QVERIFY(exists(b.root() + "/file.txt"));
    // No row in column 2 to the left of column 3: no prompt opens.
    b.dlg.OnNewFolder3();
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestFileCommands::renameGivesTheNewNameInTheSameFolder() {
    Browser b;
    makeFile(b.root() + "/a.txt", "a");
    makeFolder(b.root() + "/dir/sub");
    b.dlg.RefillColumnsFrom(1);

    QString shown;
    onNextModal([&shown](QWidget* prompt) {
        auto* edit = prompt->findChild<QLineEdit*>();
        shown = edit->text();
        edit->setText(u("it's 新名字.txt "));
        QTest::keyClick(prompt, Qt::Key_Return);
    });
    b.select(1, "a.txt");
    b.dlg.OnRename1();
    QCOMPARE(shown, QStringLiteral("a.txt"));
    QVERIFY(exists(b.root() + u("/it's 新名字.txt ")));
    QVERIFY(!exists(b.root() + "/a.txt"));
    QCOMPARE(b.dlg.SelectedRow(1), -1);

    // Renaming a folder whose contents are shown empties the columns after it.
    b.select(1, "dir");
    b.select(2, "sub");
    answerNextPrompt("renamed");
    b.dlg.OnRename1();
    QVERIFY(QFileInfo(b.root() + "/renamed/sub").isDir());
    QCOMPARE(b.dlg.Column(2).GetItemCount(), 0);

    // Enter at once keeps the name: nothing changes, and no message appears.
    b.select(1, "renamed");
    answerNextPrompt("renamed");
    b.dlg.OnRename1();
    QVERIFY(QFileInfo(b.root() + "/renamed").isDir());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);

    // Cancel: nothing renamed, nothing refilled.
    b.select(1, "renamed");
    answerNextPrompt("other", false);
    b.dlg.OnRename1();
    QVERIFY(exists(b.root() + "/renamed"));
    QCOMPARE(b.dlg.Column(1).GetItemText(b.dlg.SelectedRow(1)), QStringLiteral("renamed"));
}

void TestFileCommands::renameNeverReplacesAnExistingEntry() {
    Browser b;
    makeFile(b.root() + "/src.txt", "source");
    makeFile(b.root() + "/taken.txt", "taken");
    makeFolder(b.root() + "/emptydir");
    b.dlg.RefillColumnsFrom(1);
    for (const QString& target : {QStringLiteral("taken.txt"), QStringLiteral("emptydir")}) {
        b.select(1, "src.txt");
        QString message;
        answerNextPrompt(target);
        closeNextMessageBox(&message);
        b.dlg.OnRename1();
        QVERIFY2(message.contains("src.txt"), qPrintable(message));
        QFile source(b.root() + "/src.txt");
        QVERIFY(source.open(QIODevice::ReadOnly));
        QCOMPARE(source.readAll(), QByteArray("source"));
    }
    QFile taken(b.root() + "/taken.txt");
    QVERIFY(taken.open(QIODevice::ReadOnly));
    QCOMPARE(taken.readAll(), QByteArray("taken"));
    QVERIFY(QFileInfo(b.root() + "/emptydir").isDir());

    // An empty name is refused with a message, and the entry keeps its name.
    b.select(1, "src.txt");
    QString message;
    answerNextPrompt(QString());
    closeNextMessageBox(&message);
    b.dlg.OnRename1();
    QVERIFY(!message.isEmpty());
    QVERIFY(exists(b.root() + "/src.txt"));
}

void TestFileCommands::commandsInColumnFourRefillOnlyColumnFour() {
    ScopedDataHome data;
    Browser b;
    makeFile(b.root() + "/l1/l2/l3/x.txt");
    makeFile(b.root() + "/l1/l2/l3/y.txt");
    b.dlg.RefillColumnsFrom(1);
    b.select(1, "l1");
    b.select(2, "l2");
    b.select(3, "l3");
    b.select(4, "x.txt");
    b.dlg.OnDelete4();
    QCOMPARE(b.sortedRows(4), QStringList({"y.txt"}));
    QCOMPARE(b.dlg.Column(3).GetItemText(b.dlg.SelectedRow(3)), QStringLiteral("l3"));
    b.select(4, "y.txt");
    answerNextPrompt("z.txt");
    b.dlg.OnCommandId(ID_RENAME4);
    QCOMPARE(b.sortedRows(4), QStringList({"z.txt"}));
    answerNextPrompt("new");
    b.dlg.OnCommandId(ID_NEWFOLDER4);
    QCOMPARE(b.sortedRows(4), QStringList({"new", "z.txt"}));
    for (int c = 0; c < 4; ++c) {
        QVERIFY(b.dlg.SelectedRow(c) >= 0);
    }
}

void TestFileCommands::staleColumnIsRefilledInsteadOfActedOn() {
    ScopedDataHome data;
    // Two work directories holding entries of the same name.
    QTemporaryDir other;
    makeFile(other.path() + "/same.txt", "other");
    TestWorkspace workspace({other.path()});
    makeFile(workspace.root() + "/same.txt", "first");
    CDirquillDlg dlg;
    dlg.Create();
    dlg.Column(0).SelectRow(1);
    dlg.RefillColumnsFrom(1);
    dlg.Column(1).SelectRow(rowTexts(dlg.Column(1)).indexOf("same.txt"));
    // The selection in column 0 moves (as the keyboard does) without a refill.
    dlg.Column(0).SelectRow(dlg.Column(0).GetItemCount() - 1);
    dlg.OnDelete1();
    answerNextPrompt("renamed.txt");
    dlg.OnRename1();
    cancelPendingAnswers();
    QVERIFY(exists(other.path() + "/same.txt"));
    QVERIFY(exists(workspace.root() + "/same.txt"));
    // The column now shows the folder that is really selected.
    QCOMPARE(rowTexts(dlg.Column(1)), QStringList({"same.txt"}));
    QCOMPARE(dlg.Column(1).ListedFrom(), std::optional<QString>(other.path()));
    // Now it is current, and the command acts.
    dlg.Column(1).SelectRow(0);
    dlg.OnDelete1();
    QVERIFY(!exists(other.path() + "/same.txt"));
    QVERIFY(exists(workspace.root() + "/same.txt"));
}

void TestFileCommands::headingAndBlankRowsAreNoFolders() {
    TestWorkspace workspace;
    QTemporaryDir cwd;
    ScopedCurrentDir here(cwd.path());
    CDirquillDlg dlg;
    dlg.Create();
    const QStringList rows = rowTexts(dlg.Column(0));
    for (int row :
         {0, static_cast<int>(rows.indexOf(QString())), static_cast<int>(rows.size() - 1)}) {
        dlg.Column(0).SelectRow(row);
        dlg.RefillColumnsFrom(1);
        dlg.OnNewFolder1();
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }
    QVERIFY(QDir(cwd.path()).isEmpty());
}

void TestFileCommands::commandsRunFromTheRealContextMenu() {
    ScopedDataHome data;
    Browser b;
    makeFile(b.root() + "/victim.txt");
    QVERIFY(QTest::qWaitForWindowExposed(&b.dlg));
    clickRow(&b.dlg.Column(0), 1);
    const int row = rowTexts(b.dlg.Column(1)).indexOf("victim.txt");
    chooseFromNextMenu(u("删除"));
    rightClickRow(&b.dlg.Column(1), row);
    QVERIFY(!exists(b.root() + "/victim.txt"));
    QVERIFY(exists(data.trashFiles() + "/victim.txt"));

    answerNextPrompt(u("从菜单"));
    chooseFromNextMenu(u("新建文件夹"));
    rightClickRow(&b.dlg.Column(1), -1);
    QVERIFY(QFileInfo(b.root() + u("/从菜单")).isDir());
}

void TestFileCommands::gbkNamesReadAsChineseAndCommandsUseTheirBytes() {
    // 照片 and 新建文本文档.txt in GBK, as a Windows-made zip archive leaves them.
    const QByteArray folder("\xD5\xD5\xC6\xAC");
    const QByteArray file("\xD0\xC2\xBD\xA8\xCE\xC4\xB1\xBE\xCE\xC4\xB5\xB5.txt");
    ScopedDataHome data;
    Browser b;
    const QByteArray root = QFile::encodeName(b.root());
    const QByteArray trash = QFile::encodeName(data.path()) + "/Trash/";
    // QTemporaryDir cannot remove names that are not UTF-8.
    const auto cleanUp = qScopeGuard([&] {
        removeTreeRaw(root + '/' + folder);
        removeTreeRaw(trash);
    });
    QCOMPARE(::mkdir(root + '/' + folder, 0755), 0);
    const int fd = ::open(root + '/' + folder + '/' + file, O_WRONLY | O_CREAT | O_EXCL, 0644);
    QVERIFY(fd >= 0 && ::close(fd) == 0);
    QVERIFY(QTest::qWaitForWindowExposed(&b.dlg));

    clickRow(&b.dlg.Column(0), 1);
    CColumnList& first = b.dlg.Column(1);
    QCOMPARE(first.GetItemCount(), 2);
    QCOMPARE(first.model()->index(1, 0).data().toString(), u("照片"));
    clickRow(&first, 1);
    CColumnList& second = b.dlg.Column(2);
    QCOMPARE(second.GetItemCount(), 1);
    QCOMPARE(second.model()->index(0, 0).data().toString(), u("新建文本文档.txt"));

    OpenRecorder recorder;
    doubleClickRow(&second, 0);
    QCOMPARE(recorder.urls.size(), 1);
    QCOMPARE(recorder.urls.at(0).toEncoded(),
             "file://" + (root + '/' + folder + '/' + file).toPercentEncoding("/"));

    // The prompt shows the Chinese text; OK on it leaves the entry as it is.
    QString shown;
    onNextModal([&shown](QWidget* prompt) {
        shown = prompt->findChild<QLineEdit*>()->text();
        QTest::keyClick(prompt, Qt::Key_Return);
    });
    b.dlg.OnRename2();
    QCOMPARE(shown, u("新建文本文档.txt"));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QVERIFY(existsRaw(root + '/' + folder + '/' + file));

    // A new name is written in UTF-8.
    b.select(2, 0);
    answerNextPrompt(u("新名字.txt"));
    b.dlg.OnRename2();
    QVERIFY(!existsRaw(root + '/' + folder + '/' + file));
    QVERIFY(existsRaw(root + '/' + folder + '/' + u("新名字.txt").toUtf8()));

    // A refusal names the entry as its column shows it.
    b.select(1, 1);
    QString message;
    answerNextPrompt("config.mdb");
    closeNextMessageBox(&message);
    b.dlg.OnRename1();
    QVERIFY2(message.contains(u("/照片”")), qPrintable(message));

    // The trash takes the folder under its own bytes and records where it came from.
    b.select(1, 1);
    b.dlg.OnDelete1();
    QVERIFY(!existsRaw(root + '/' + folder));
    QVERIFY(existsRaw(trash + "files/" + folder));
    const QByteArray info = contentOfRaw(trash + "info/" + folder + ".trashinfo");
    QVERIFY2(info.contains("\nPath=" + (root + '/' + folder).toPercentEncoding("/") + '\n'),
             info.constData());
}

void TestFileCommands::hiddenCharactersShowAsStandInsAndCommandsUseTheRealName() {
    // A program passing for a picture: with the override obeyed it reads
    // "invoiceexe.jpg"; the work directory holds one too.
    const QString name = QStringView(u"invoice\u202Egpj.exe").toString();
    const QString nameShown = QStringLiteral("invoice<U+202E>gpj.exe");
    ScopedDataHome data;
    Browser b;
    const QString dir = b.root() + QStringView(u"/工作\u202Efdp").toString();
    const QString dirShown = b.root() + u("/工作<U+202E>fdp");
    makeFile(dir + "/" + name);
    makeFile(dir + "/taken");
    answerNextPrompt(dir);
    b.dlg.OnAddWorkDir();
    CColumnList& root = b.dlg.Column(0);
    const int dirRow = root.GetItemCount() - 1;
    QCOMPARE(root.GetItemText(dirRow), dir);
    QCOMPARE(root.model()->index(dirRow, 0).data().toString(), dirShown);
    QVERIFY(QTest::qWaitForWindowExposed(&b.dlg));

    // Listed from the real path; row, tip and what a screen reader reads show the stand-in.
    clickRow(&root, dirRow);
    CColumnList& first = b.dlg.Column(1);
    QCOMPARE(first.GetItemCount(), 2);
    const QModelIndex row = first.model()->index(0, 0);
    QCOMPARE(row.data(Qt::DisplayRole).toString(), nameShown);
    QCOMPARE(row.data(Qt::ToolTipRole).toString(), nameShown);
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&first);
    QVERIFY(table != nullptr && table->tableInterface() != nullptr);
    QAccessibleInterface* cell = table->tableInterface()->cellAt(0, 0);
    QVERIFY(cell != nullptr);
    QCOMPARE(cell->text(QAccessible::Name), nameShown);

    // The rename prompt holds the real name, and OK on it changes nothing.
    QString prefilled;
    onNextModal([&prefilled](QWidget* prompt) {
        prefilled = prompt->findChild<QLineEdit*>()->text();
        QTest::keyClick(prompt, Qt::Key_Return);
    });
    QVERIFY(b.select(1, name));
    b.dlg.OnRename1();
    QCOMPARE(prefilled, name);
    QVERIFY(exists(dir + "/" + name));

    // A refusal names the entry with its stand-ins, work directory included.
    QVERIFY(b.select(1, name));
    QString message;
    answerNextPrompt("taken");
    closeNextMessageBox(&message);
    b.dlg.OnRename1();
    QVERIFY2(message.contains(dirShown + "/" + nameShown), qPrintable(message));
    QVERIFY(!message.contains(QChar(0x202E)));

    // The trash takes the entry by its real name.
    QVERIFY(b.select(1, name));
    b.dlg.OnDelete1();
    QVERIFY(!exists(dir + "/" + name));
    QVERIFY(exists(data.path() + "/Trash/files/" + name));
}

void TestFileCommands::tipsAndMessagesShowNamesAsPlainText() {
    // Taken as markup, this name shows a bold "invoice", then a real right-to-left
    // override: "invoiceexe.jpg"; a real override shows its stand-in, markup or not.
    const QString markup = QStringLiteral("<b>invoice&#8238;gpj.exe");
    const QString overridden = QStringView(u"<b>invoice\u202Egpj.exe").toString();
    ScopedDataHome data;
    Browser b;
    const QString dir = b.root() + "/docs";
    makeFile(dir + "/" + markup);
    makeFile(dir + "/" + overridden);
    makeFile(dir + "/taken");
    answerNextPrompt(dir);
    b.dlg.OnAddWorkDir();
    QVERIFY(QTest::qWaitForWindowExposed(&b.dlg));
    clickRow(&b.dlg.Column(0), b.dlg.Column(0).GetItemCount() - 1);
    CColumnList& first = b.dlg.Column(1);
    QCOMPARE(first.GetItemCount(), 3);

    QCOMPARE(shownTip(first, first.model()->index(0, 0)), markup);
    QCOMPARE(shownTip(first, first.model()->index(1, 0)), u("<b>invoice<U+202E>gpj.exe"));

    for (const QString& name : {markup, overridden}) {
        QVERIFY(b.select(1, name));
        QString message;
        answerNextPrompt("taken");
        closeNextMessageBox(&message);
        b.dlg.OnRename1();
        QVERIFY2(
            message.startsWith(u("无法重命名“") + dir + "/" + names::visibleText(name) + u("”")),
            qPrintable(message));
    }
}

void TestFileCommands::helperThatCannotStartIsToldOnceUntilOneStarts() {
    Browser b;
    makeFile(b.root() + "/a.txt");
    auto restore = qScopeGuard([] { platform::setHelperProgram({}); });
    platform::setHelperProgram(b.root() + "/missing-helper");
    const QString told =
        u("无法启动文件助手 dirquill-io：找不到该文件或文件夹，它可能已被移动或删除。");

    // The listing that needed it tells, and its column stays empty; the next click is
    // silent.
    QString message;
    closeNextMessageBox(&message);
    b.select(0, 1);
    QCOMPARE(message, told);
    QVERIFY(b.rows(1).isEmpty());
    QString again;
    closeNextMessageBox(&again);
    b.select(0, 1);
    QVERIFY(b.rows(1).isEmpty());
    QVERIFY(again.isEmpty());
    cancelPendingAnswers();

    // Repaired, the next click lists; broken again, a new folder tells it.
    platform::setHelperProgram({});
    b.select(0, 1);
    QVERIFY(b.rows(1).contains("a.txt"));
    platform::setHelperProgram(b.root() + "/missing-helper");
    QString fromNewFolder;
    answerNextPrompt("b");
    closeNextMessageBox(&fromNewFolder);
    b.dlg.OnNewFolder1();
    QCOMPARE(fromNewFolder, told);
    QVERIFY(!exists(b.root() + "/b"));
}

QTEST_MAIN(TestFileCommands)
#include "tst_file_commands.moc"
