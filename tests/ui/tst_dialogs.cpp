// The prompts, the agreement dialog and the About box, as built from their templates.

#include "TestSupport.h"

#include "app/CDirquillApp.h"
#include "browser/CColumnList.h"
#include "res/resource.h"
#include "ui/CAboutDlg.h"
#include "ui/CAgreementDlg.h"
#include "ui/CDirquillDlg.h"
#include "ui/CRenameDlg.h"
#include "ui/CWorkDirDlg.h"
#include "ui/DialogUnits.h"
#include "ui/MessageBox.h"

#include <QAccessible>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

using namespace testsupport;

namespace {

// The next control that the Tab key reaches from `widget`.
QWidget* nextTabStop(QWidget* widget) {
    QWidget* next = widget->nextInFocusChain();
    while (next != widget && (next->focusPolicy() & Qt::TabFocus) == 0) {
        next = next->nextInFocusChain();
    }
    return next;
}

QPushButton* button(const CDialog& dialog, int id) {
    return qobject_cast<QPushButton*>(dialog.GetDlgItem(id));
}

// The main window active and column 1 listing the drive's folder, as after a click.
void activate(Browser& b) {
    b.dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&b.dlg));
    b.select(0, 1);
}

// Opens, through the main window's menus, the prompt of each command that asks for a
// name, and runs `answer` on it: the work directory of column 0, then a new folder and
// the rename of "a.txt" in column 1 (the drive's folder).
void throughEachPrompt(Browser& b, const std::function<void(QWidget*)>& answer) {
    const QString commands[] = {u("增加工作目录"), u("新建文件夹"), u("重命名")};
    for (const QString& command : commands) {
        const bool workDir = command == commands[0];
        activate(b);
        const int row = workDir ? b.rows(0).indexOf(u("----------自定义目录---------"))
                                : b.rows(1).indexOf(QStringLiteral("a.txt"));
        chooseFromNextMenu(command);
        onNextModal(answer);
        rightClickRow(&b.dlg.Column(workDir ? 0 : 1), row);
        QTRY_COMPARE(QApplication::activeModalWidget(), nullptr);
    }
}

// Space with each of Ctrl, Alt and Meta on the focused button of `modal`: whether the
// window is still open after all of them.
bool survivesModifiedSpace(QWidget* modal) {
    for (const Qt::KeyboardModifier held :
         {Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier}) {
        QTest::keyClick(modal->focusWidget(), Qt::Key_Space, held);
    }
    return modal->isVisible();
}
} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void controlsStandWhereTheTemplateSays();
    void renamePromptExchangesItsName();
    void workDirPromptStartsEmptyAndFocusesOk();
    void agreementAnswersEnterAndEscape();
    void documentButtonsAskTheDesktopEachTime();
    void aboutBoxClosesEveryWay();
    void everyControlHasAnAccessibleNameAndRole();
    void modifiedSpacePressesNoButton();
    void everyDialogBelongsToTheWindowThatOpensIt();
};

void TestDialogs::controlsStandWhereTheTemplateSays() {
    CRenameDlg dlg;
    const DialogUnits units(dlg.font());
    QCOMPARE(dlg.size(), QSize(units.toPixelsX(300), units.toPixelsY(150)));
    QCOMPARE(dlg.GetDlgItem(IDOK)->geometry(), units.toPixels(233, 117, 50, 14));
    QCOMPARE(dlg.GetDlgItem(IDCANCEL)->geometry(), units.toPixels(176, 117, 50, 14));
    QCOMPARE(dlg.GetDlgItem(IDC_EDIT_NAME)->geometry(), units.toPixels(64, 27, 184, 14));
    QCOMPARE(dlg.GetDlgItem(IDC_EDIT_NAME)->accessibleName(), u("文件名"));
    // Tab order: OK, Cancel, then the edit field.
    QCOMPARE(nextTabStop(dlg.GetDlgItem(IDOK)), dlg.GetDlgItem(IDCANCEL));
    QCOMPARE(nextTabStop(dlg.GetDlgItem(IDCANCEL)), dlg.GetDlgItem(IDC_EDIT_NAME));
    QVERIFY(button(dlg, IDOK)->isDefault());

    CAgreementDlg agreement;
    QCOMPARE(agreement.size(), QSize(units.toPixelsX(253), units.toPixelsY(232)));
    QCOMPARE(button(agreement, IDC_AGREEMENT_DOC)->text(),
             u("澄枫文件助手V1.0软件最终用户授权使用许可协议"));
    QVERIFY(button(agreement, IDC_AGREEMENT_DOC)->isFlat());
    QCOMPARE(button(agreement, IDC_HELP_DOC)->geometry(), units.toPixels(22, 157, 202, 19));
    QCOMPARE(nextTabStop(agreement.GetDlgItem(IDCANCEL)), agreement.GetDlgItem(IDC_AGREEMENT_DOC));
    bool hasStory = false;
    for (const QLabel* label : agreement.findChildren<QLabel*>()) {
        hasStory = hasStory || label->text().startsWith(u("    大硬盘大数据时代"));
    }
    QVERIFY(hasStory);
}

void TestDialogs::renamePromptExchangesItsName() {
    CRenameDlg dlg;
    dlg.SetName(u("旧 名字.txt"));
    QString shown;
    onNextModal([&shown](QWidget* modal) {
        auto* edit = modal->findChild<QLineEdit*>();
        shown = edit->text();
        edit->setText(u("新 名字.txt "));
        QTest::keyClick(modal, Qt::Key_Return);
    });
    QCOMPARE(dlg.DoModal(), IDOK);
    QCOMPARE(shown, u("旧 名字.txt"));
    QCOMPARE(dlg.GetName(), u("新 名字.txt "));

    CRenameDlg cancelled;
    cancelled.SetName("keep");
    answerNextPrompt("changed", false);
    QCOMPARE(cancelled.DoModal(), IDCANCEL);
    QCOMPARE(cancelled.GetName(), QStringLiteral("keep"));
}

void TestDialogs::workDirPromptStartsEmptyAndFocusesOk() {
    CWorkDirDlg dlg;
    QWidget* focused = nullptr;
    QString title;
    onNextModal([&](QWidget* modal) {
        focused = modal->focusWidget();
        title = modal->windowTitle();
        QTest::keyClick(modal, Qt::Key_Return);
    });
    QCOMPARE(dlg.DoModal(), IDOK);
    QCOMPARE(title, u("工作目录"));
    QCOMPARE(focused, dlg.GetDlgItem(IDOK));
    QCOMPARE(dlg.GetWorkDir(), QString());
}

void TestDialogs::agreementAnswersEnterAndEscape() {
    {
        CAgreementDlg dlg;
        onNextModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
        QCOMPARE(dlg.DoModal(), IDOK);
    }
    {
        CAgreementDlg dlg;
        onNextModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QCOMPARE(dlg.DoModal(), IDCANCEL);
    }
}

void TestDialogs::documentButtonsAskTheDesktopEachTime() {
    QTemporaryDir folder;
    ScopedCurrentDir here(folder.path());
    OpenRecorder opened;
    CAgreementDlg dlg;
    dlg.Create();
    button(dlg, IDC_AGREEMENT_DOC)->click();
    button(dlg, IDC_AGREEMENT_DOC)->click();
    button(dlg, IDC_HELP_DOC)->click();
    // The documents are missing here: no message, and the dialog stays open.
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QVERIFY(dlg.isVisible());
    QCOMPARE(opened.urls.size(), 3);
    QCOMPARE(QFileInfo(opened.urls[0].toLocalFile()).fileName(),
             u("澄枫文件助手V1.0软件最终用户授权使用许可协议.doc"));
    QCOMPARE(opened.urls[0], opened.urls[1]);
    QCOMPARE(opened.urls[2].toLocalFile(),
             QDir::current().absoluteFilePath(u("澄枫文件助手V1.0软件使用帮助.doc")));
}

void TestDialogs::aboutBoxClosesEveryWay() {
    const std::function<void(QWidget*)> ways[] = {
        [](QWidget* m) { QTest::keyClick(m, Qt::Key_Escape); },
        [](QWidget* m) { m->close(); },
        [](QWidget* m) {
            for (auto* b : m->findChildren<QPushButton*>()) {
                if (b->text() == u("确定")) {
                    b->click();
                }
            }
        },
    };
    for (const auto& way : ways) {
        CAboutDlg about;
        QString title;
        onNextModal([&title, way](QWidget* modal) {
            title = modal->windowTitle();
            way(modal);
        });
        about.DoModal();
        QCOMPARE(title, u("澄枫文件助手V1.0 属性"));
        QVERIFY(!about.isVisible());
    }
}

void TestDialogs::everyControlHasAnAccessibleNameAndRole() {
    TestWorkspace workspace;
    CDirquillDlg main;
    CAgreementDlg agreement;
    CAboutDlg about;
    CWorkDirDlg workDir;
    CRenameDlg rename;
    for (CDialog* dialog :
         std::initializer_list<CDialog*>{&main, &agreement, &about, &workDir, &rename}) {
        dialog->Create();
        const QAccessibleInterface* window = QAccessible::queryAccessibleInterface(dialog);
        QCOMPARE(window->text(QAccessible::Name), dialog->windowTitle());
        for (QWidget* control : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QAccessibleInterface* item = QAccessible::queryAccessibleInterface(control);
            QVERIFY(item != nullptr);
            QVERIFY2(!item->text(QAccessible::Name).trimmed().isEmpty(),
                     qPrintable(dialog->windowTitle() + ": " + control->metaObject()->className()));
            QVERIFY(item->role() != QAccessible::NoRole);
        }
        dialog->hide();
    }
    QCOMPARE(QAccessible::queryAccessibleInterface(&main.Column(2))->role(), QAccessible::Table);
}

void TestDialogs::modifiedSpacePressesNoButton() {
    Browser b;
    makeFile(b.root() + "/a.txt");
    // Each prompt opens with the focus on OK. Held modifiers press nothing; then plain
    // Space presses OK in the work-directory and rename prompts, Enter in the other.
    QList<bool> survived;
    int prompt = 0;
    // What the commands change: the drive's folder and the stored work directories.
    const auto state = [&b] {
        return QDir(b.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot) +
               b.workspace.storedWorkDirs();
    };
    throughEachPrompt(b, [&](QWidget* modal) {
        const QStringList before = state();
        survived.append(survivesModifiedSpace(modal));
        survived.append(state() == before);
        auto* edit = modal->findChild<QLineEdit*>();
        if (prompt++ == 1) {
            QTest::keyClick(modal->focusWidget(), Qt::Key_Return);
            return;
        }
        edit->setText(edit->text().isEmpty() ? QStringLiteral("/srv/x") : QStringLiteral("b.txt"));
        QTest::keyClick(modal->focusWidget(), Qt::Key_Space);
    });
    QCOMPARE(survived, QList<bool>(6, true));
    QCOMPARE(b.workspace.storedWorkDirs(), QStringList{QStringLiteral("/srv/x")});
    QVERIFY(QFileInfo(b.root() + u("/新建文件夹")).isDir());
    QVERIFY(QFileInfo::exists(b.root() + "/b.txt"));

    // The message box and the About box alike.
    onNextModal([&survived](QWidget* box) {
        survived.append(survivesModifiedSpace(box));
        QTest::keyClick(box->focusWidget(), Qt::Key_Space);
    });
    AfxMessageBox(QStringLiteral("text"));
    onNextModal([&survived](QWidget* about) {
        survived.append(survivesModifiedSpace(about));
        QTest::keyClick(about, Qt::Key_Escape);
    });
    b.dlg.OnSysCommand(IDM_ABOUTBOX);
    QCOMPARE(survived, QList<bool>(8, true));
}

void TestDialogs::everyDialogBelongsToTheWindowThatOpensIt() {
    Browser b;
    makeFile(b.root() + "/a.txt");
    makeFile(b.root() + "/taken.txt");
    // The program's main window, as while it runs.
    theApp.m_pMainWnd = &b.dlg;
    const auto forget = qScopeGuard([] { theApp.m_pMainWnd = nullptr; });
    QList<const QWidget*> owners;
    const auto ownerOf = [&owners](QWidget* modal) {
        owners.append(modal->parentWidget());
        QTest::keyClick(modal, Qt::Key_Escape);
    };
    throughEachPrompt(b, ownerOf);
    activate(b);
    onNextModal(ownerOf);
    b.dlg.OnSysCommand(IDM_ABOUTBOX);
    activate(b);
    // A real message: the rename onto a taken name is refused.
    onNextModal([&ownerOf](QWidget* prompt) {
        prompt->findChild<QLineEdit*>()->setText(QStringLiteral("taken.txt"));
        onNextModal(ownerOf);
        QTest::keyClick(prompt, Qt::Key_Return);
    });
    chooseFromNextMenu(u("重命名"));
    rightClickRow(&b.dlg.Column(1), b.rows(1).indexOf(QStringLiteral("a.txt")));
    QTRY_COMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(owners, QList<const QWidget*>(5, &b.dlg));
    b.dlg.hide();

    // The agreement dialog owns its own messages; the main window that opens after it
    // closes belongs to nobody, though the agreement dialog still exists.
    CAgreementDlg agreement;
    onNextModal([&](QWidget* modal) {
        onNextModal(ownerOf);
        AfxMessageBox(QStringLiteral("text"));
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    agreement.DoModal();
    CDirquillDlg main;
    onNextModal([&owners](QWidget* modal) {
        owners.append(modal->parentWidget());
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    main.DoModal();
    QCOMPARE(owners.mid(5), (QList<const QWidget*>{&agreement, nullptr}));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
