// Start-up: the database first, then the agreement, then the main window.

#include "TestSupport.h"

#include "app/CDirquillApp.h"
#include "ui/CDirquillDlg.h"

#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace testsupport;

namespace {

// Records the title of every modal window that appears and answers it with `key`.
struct ModalLog {
    QStringList titles;
    QStringList texts;
    QTimer timer;
    explicit ModalLog(std::function<void(QWidget*)> answer) {
        QObject::connect(&timer, &QTimer::timeout, [this, answer] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || !modal->isVisible() ||
                (!titles.isEmpty() && modal->property("seen").toBool())) {
                return;
            }
            modal->setProperty("seen", true);
            titles.append(modal->windowTitle());
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                texts.append(box->text());
            }
            answer(modal);
        });
        timer.start(10);
    }
};
} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void missingDatabaseShowsOneMessageAndEnds();
    void databaseBesideTheProgramIsNotLookedFor();
    void decliningTheAgreementEndsWithoutTheMainWindow();
    void acceptingLeadsToTheMainWindow();
};

void TestStartup::missingDatabaseShowsOneMessageAndEnds() {
    QTemporaryDir empty;
    ScopedCurrentDir here(empty.path());
    ModalLog log([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
    CDirquillApp& app = theApp;
    QCOMPARE(app.InitInstance(), false);
    QCOMPARE(log.titles.size(), 1);
    QCOMPARE(log.texts.value(0), u("连接数据库失败!\r\n错误信息:系统找不到指定的文件。"));
    // The message box is titled with the program file's base name.
    QCOMPARE(log.titles.value(0), QStringLiteral("tst_startup"));
    QVERIFY(!QFileInfo::exists(empty.path() + "/config.mdb"));
}

void TestStartup::databaseBesideTheProgramIsNotLookedFor() {
    // A database in another folder than the current one does not count.
    TestWorkspace elsewhere;
    theApp.m_pConnection.reset();
    QTemporaryDir empty;
    ScopedCurrentDir here(empty.path());
    ModalLog log([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    CDirquillApp& app = theApp;
    QCOMPARE(app.InitInstance(), false);
    QCOMPARE(log.titles.size(), 1);
    QVERIFY(log.texts.value(0).startsWith(u("连接数据库失败!")));
}

void TestStartup::decliningTheAgreementEndsWithoutTheMainWindow() {
    TestWorkspace workspace;
    ScopedCurrentDir here(workspace.root());
    const auto decline = [](const std::function<void(QWidget*)>& how) {
        ModalLog log(how);
        CDirquillApp& app = theApp;
        QCOMPARE(app.InitInstance(), false);
        // The database was opened before the agreement was asked for.
        QVERIFY(app.m_pConnection != nullptr);
        QCOMPARE(log.titles, QStringList({u("澄枫文件助手V1.0软件最终用户授权使用许可协议")}));
        QCOMPARE(app.m_pMainWnd, nullptr);
    };
    decline([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    decline([](QWidget* modal) { modal->close(); });
    decline([](QWidget* modal) {
        for (auto* button : modal->findChildren<QPushButton*>()) {
            if (button->text() == u("不同意，退出")) {
                button->click();
            }
        }
    });
}

void TestStartup::acceptingLeadsToTheMainWindow() {
    TestWorkspace workspace({"/stored"});
    ScopedCurrentDir here(workspace.root());
    QStringList rootRows;
    ModalLog log([&rootRows](QWidget* modal) {
        if (auto* main = qobject_cast<CDirquillDlg*>(modal)) {
            rootRows = rowTexts(main->Column(0));
            QTest::keyClick(modal, Qt::Key_Escape);
        } else {
            // Enter accepts: "同意使用" is the default button and holds the focus.
            QTest::keyClick(modal, Qt::Key_Return);
        }
    });
    CDirquillApp& app = theApp;
    QCOMPARE(app.InitInstance(), false);
    QCOMPARE(log.titles, QStringList({u("澄枫文件助手V1.0软件最终用户授权使用许可协议"),
                                      u("澄枫文件助手V1.0")}));
    QCOMPARE(rootRows.last(), QStringLiteral("/stored"));
    QCOMPARE(app.m_pMainWnd, nullptr);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
