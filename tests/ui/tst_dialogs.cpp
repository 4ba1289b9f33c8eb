// The prompts, the agreement dialog and the About box, as built from their templates.

#include "TestSupport.h"

#include "browser/CColumnList.h"
#include "res/resource.h"
#include "ui/CAboutDlg.h"
#include "ui/CAgreementDlg.h"
#include "ui/CDirquillDlg.h"
#include "ui/CRenameDlg.h"
#include "ui/CWorkDirDlg.h"
#include "ui/DialogUnits.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
