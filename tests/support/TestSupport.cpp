#include "TestSupport.h"

#include "platform/RawTree.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTextDocument>
#include <QTimer>
#include <QWidget>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <memory>
#include <sys/mount.h>
#include <sys/wait.h>

namespace testsupport {

QString makeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(content);
    }
    return path;
}

QString makeFolder(const QString& path) {
    QDir().mkpath(path);
    return path;
}

ScopedDataHome::ScopedDataHome() {
    hadPrevious_ = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    previous_ = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir_.path()));
}

ScopedDataHome::~ScopedDataHome() {
    if (hadPrevious_) {
        qputenv("XDG_DATA_HOME", previous_);
    } else {
        qunsetenv("XDG_DATA_HOME");
    }
    // The trash may hold names that are not UTF-8, which QTemporaryDir cannot remove.
    removeTreeRaw(QFile::encodeName(dir_.path()));
}

ScopedCurrentDir::ScopedCurrentDir(const QString& path) : previous_(QDir::currentPath()) {
    QDir::setCurrent(path);
}

ScopedCurrentDir::~ScopedCurrentDir() {
    QDir::setCurrent(previous_);
}

namespace {
bool listedAsMount(const QString& path) {
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray field = ' ' + QFile::encodeName(path) + ' ';
    return table.readAll().contains(field);
}
} // namespace

bool SlowMount::available() {
    return QFileInfo::exists(QStringLiteral("/dev/fuse"));
}

QString runProgram(const QString& program, const QStringList& arguments, bool* ok,
                   const QByteArray& input) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    const bool done = process.waitForFinished(60000) &&
                      process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (ok != nullptr) {
        *ok = done;
    }
    return QString::fromUtf8(process.readAll());
}

bool startFuseDaemon(const QString& program, const QStringList& arguments,
                     const QString& mountPoint, qint64& daemon) {
    if (!QProcess::startDetached(program, arguments, {}, &daemon)) {
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (!listedAsMount(mountPoint) && waited.elapsed() < 5000) {
        QThread::msleep(10);
    }
    return listedAsMount(mountPoint);
}

void stopFuseDaemon(qint64 daemon, const QString& mountPoint) {
    if (daemon > 0) {
        ::kill(static_cast<pid_t>(daemon), SIGKILL);
    }
    ::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH);
}

SlowMount::SlowMount(const QStringList& options) {
    QDir().mkpath(backing());
    QDir().mkpath(path());
    mounted_ = startFuseDaemon(QStringLiteral(DIRQUILL_SLOWFS),
                               QStringList{backing(), path()} + options, path(), daemon_);
}

SlowMount::~SlowMount() {
    stopFuseDaemon(daemon_, path());
}

namespace {
// Polls from a timer until `ready` finds its widget, then runs `action` on it.
void pollFor(std::function<QWidget*()> ready, std::function<void(QWidget*)> action, int timeoutMs) {
    auto* timer = new QTimer(qApp);
    timer->setObjectName(QStringLiteral("testsupport-poll"));
    auto remaining = std::make_shared<int>(timeoutMs / 10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, remaining, ready, action] {
        if (QWidget* widget = ready()) {
            timer->stop();
            timer->deleteLater();
            action(widget);
        } else if (--*remaining <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}
} // namespace

void cancelPendingAnswers() {
    for (QTimer* timer : qApp->findChildren<QTimer*>(QStringLiteral("testsupport-poll"),
                                                     Qt::FindDirectChildrenOnly)) {
        timer->stop();
        timer->deleteLater();
    }
}

void onNextModal(std::function<void(QWidget*)> action, int timeoutMs) {
    pollFor(
        [] {
            QWidget* modal = QApplication::activeModalWidget();
            return modal != nullptr && modal->isVisible() ? modal : nullptr;
        },
        std::move(action), timeoutMs);
}

void closeNextMessageBox(QString* text) {
    pollFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
            [text](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                if (text != nullptr) {
                    *text = shownText(*box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")));
                }
                box->accept();
            },
            10000);
}

QString shownText(const QLabel& label) {
    if (label.textFormat() == Qt::PlainText ||
        (label.textFormat() == Qt::AutoText && !Qt::mightBeRichText(label.text()))) {
        return label.text();
    }
    QTextDocument document;
    document.setHtml(label.text());
    return document.toRawText();
}

QString shownTip(QAbstractItemView& view, const QModelIndex& index) {
    const QPoint pos = view.visualRect(index).center();
    QHelpEvent help(QEvent::ToolTip, pos, view.viewport()->mapToGlobal(pos));
    QApplication::sendEvent(view.viewport(), &help);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("QTipLabel") && widget->isVisible()) {
            return shownText(*qobject_cast<QLabel*>(widget));
        }
    }
    return {};
}

} // namespace testsupport

#include "app/CDirquillApp.h"
#include "platform/FileSystem.h"
#include "store/CWorkspaceStore.h"

#include <QDesktopServices>

#include <sqlite3.h>

namespace testsupport {

OpenRecorder::OpenRecorder() {
    QDesktopServices::setUrlHandler("file", this, "open");
}

OpenRecorder::~OpenRecorder() {
    QDesktopServices::unsetUrlHandler("file");
}

void OpenRecorder::open(const QUrl& url) {
    urls.append(url);
}

TestWorkspace::TestWorkspace(const QStringList& workDirs) {
    sqlite3* db = nullptr;
    const QByteArray file = QFile::encodeName(databasePath());
    sqlite3_open(file.constData(), &db);
    sqlite3_exec(db, "CREATE TABLE workspace (id INTEGER PRIMARY KEY, workspace TEXT)", nullptr,
                 nullptr, nullptr);
    for (const QString& dir : workDirs) {
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO workspace(workspace) VALUES(?1)", -1, &insert, nullptr);
        const QByteArray text = dir.toUtf8();
        sqlite3_bind_text(insert, 1, text.constData(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_finalize(insert);
    }
    sqlite3_close(db);

    theApp.m_pConnection = std::make_shared<CConnection>();
    theApp.m_pConnection->SetConnectionTimeout(1);
    theApp.m_pConnection->Open(QStringLiteral("Data Source=%1;").arg(databasePath()));
    setDriveRoots({driveRow()});
}

TestWorkspace::~TestWorkspace() {
    theApp.m_pConnection.reset();
    platform::setDriveRootSource({});
}

QStringList TestWorkspace::storedWorkDirs() const {
    QStringList dirs;
    CWorkspaceStore(theApp.m_pConnection).LoadWorkDirs([&dirs](const QString& d) {
        dirs.append(d);
    });
    return dirs;
}

void TestWorkspace::setDriveRoots(const QStringList& roots) {
    platform::setDriveRootSource([roots] { return roots; });
}

} // namespace testsupport

#include "browser/CColumnList.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace testsupport {

namespace {
QPoint rowPoint(CColumnList* list, int row) {
    if (row < 0) {
        const QRect area = list->viewport()->rect();
        return {area.left() + 10, area.bottom() - 5};
    }
    return list->visualRect(list->model()->index(row, 0)).center();
}

QWindow* windowOf(CColumnList* list, QPoint* pos, int row) {
    QWidget* top = list->window();
    *pos = list->viewport()->mapTo(top, rowPoint(list, row));
    return top->windowHandle();
}
} // namespace

void clickRow(CColumnList* list, int row) {
    QPoint pos;
    QWindow* window = windowOf(list, &pos, row);
    QTest::mouseClick(window, Qt::LeftButton, {}, pos);
}

void doubleClickRow(CColumnList* list, int row) {
    QPoint pos;
    QWindow* window = windowOf(list, &pos, row);
    QTest::mouseDClick(window, Qt::LeftButton, {}, pos);
}

void rightClickRow(CColumnList* list, int row) {
    QPoint pos;
    QWindow* window = windowOf(list, &pos, row);
    QTest::mouseClick(window, Qt::RightButton, {}, pos);
}

void chooseFromNextMenu(const QString& itemText, QStringList* shownItems) {
    auto* timer = new QTimer(qApp);
    timer->setObjectName(QStringLiteral("testsupport-poll"));
    auto remaining = std::make_shared<int>(500);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) {
            if (--*remaining <= 0) {
                timer->stop();
                timer->deleteLater();
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        QAction* target = nullptr;
        for (QAction* action : menu->actions()) {
            if (shownItems != nullptr) {
                shownItems->append(action->isSeparator() ? QStringLiteral("-") : action->text());
            }
            if (!action->isSeparator() && action->text() == itemText) {
                target = action;
            }
        }
        if (target == nullptr) {
            QTest::keyClick(menu, Qt::Key_Escape);
            return;
        }
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(target).center());
    });
    timer->start(10);
}

QStringList rowTexts(const CColumnList& list) {
    QStringList texts;
    for (int r = 0; r < list.GetItemCount(); ++r) {
        texts.append(list.GetItemText(r));
    }
    return texts;
}

void answerNextPrompt(const QString& text, bool accept) {
    onNextModal([text, accept](QWidget* modal) {
        if (auto* edit = modal->findChild<QLineEdit*>()) {
            edit->setText(text);
        }
        const QString wanted = accept ? QStringLiteral("OK") : QStringLiteral("Cancel");
        for (QPushButton* button : modal->findChildren<QPushButton*>()) {
            if (button->text() == wanted) {
                button->click();
                return;
            }
        }
    });
}

} // namespace testsupport

namespace testsupport {

Browser::Browser(const QStringList& workDirs) : workspace(workDirs) {
    dlg.Create();
    select(0, 1);
}

void Browser::select(int column, int row) {
    dlg.Column(column).SelectRow(row);
    if (column < CDirquillDlg::kColumnCount - 1) {
        dlg.RefillColumnsFrom(column + 1);
    }
}

bool Browser::select(int column, const QString& name) {
    const int row = static_cast<int>(rowTexts(dlg.Column(column)).indexOf(name));
    if (row < 0) {
        return false;
    }
    select(column, row);
    return true;
}

QStringList Browser::rows(int column) const {
    return rowTexts(dlg.Column(column));
}

QStringList Browser::sortedRows(int column) const {
    QStringList names = rows(column);
    names.sort();
    return names;
}

} // namespace testsupport
