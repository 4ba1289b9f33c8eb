#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

class QAbstractItemView;
class QLabel;
class QModelIndex;
class QWidget;

namespace testsupport {

// Text from a UTF-8 literal.
inline QString u(const char* text) {
    return QString::fromUtf8(text);
}

// Creates an empty file (and its missing parent folders); returns its path.
QString makeFile(const QString& path, const QByteArray& content = {});

// Creates a folder and its missing parents; returns its path.
QString makeFolder(const QString& path);

// Points XDG_DATA_HOME at a fresh temporary folder for the life of the object, so that
// the trash used by a test is a real one of its own.
class ScopedDataHome {
public:
    ScopedDataHome();
    ~ScopedDataHome();
    ScopedDataHome(const ScopedDataHome&) = delete;
    ScopedDataHome& operator=(const ScopedDataHome&) = delete;
    [[nodiscard]] QString path() const { return dir_.path(); }
    [[nodiscard]] QString trashFiles() const { return dir_.path() + "/Trash/files"; }
    [[nodiscard]] QString trashInfo() const { return dir_.path() + "/Trash/info"; }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};

// Makes the current folder `path` for the life of the object.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const QString& path);
    ~ScopedCurrentDir();
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

private:
    QString previous_;
};

// Runs a program to its end (at most a minute) and returns its output, standard error
// included; `ok` says whether it ended with status 0. `input` is its standard input.
QString runProgram(const QString& program, const QStringList& arguments, bool* ok = nullptr,
                   const QByteArray& input = {});

// Starts the FUSE daemon `program` with `arguments` and waits until `mountPoint` shows in
// the mount table; `daemon` gets its process id. Whether it was mounted.
bool startFuseDaemon(const QString& program, const QStringList& arguments,
                     const QString& mountPoint, qint64& daemon);
// Kills the daemon, which fails every waiting call, then unmounts lazily.
void stopFuseDaemon(qint64 daemon, const QString& mountPoint);

// A real FUSE file system over a backing folder (tests/support/slowfs.cpp), mounted for
// the life of the object. Below its mount point, names starting with "stuck" are folders
// that never open, "dead" entries answer no call at all, and "slow" folders open after two
// seconds. Ending it kills the daemon, which fails every waiting call, and unmounts.
class SlowMount {
public:
    // `options`: "--statfs=never", "--statfs=zero", "-o", "fsname=host:/x,subtype=nfs"...
    explicit SlowMount(const QStringList& options = {});
    ~SlowMount();
    SlowMount(const SlowMount&) = delete;
    SlowMount& operator=(const SlowMount&) = delete;

    [[nodiscard]] bool mounted() const { return mounted_; }
    // Whether this machine can mount FUSE file systems at all (it has /dev/fuse).
    static bool available();
    // The mounted folder, and the folder behind it that the test may fill directly.
    [[nodiscard]] QString path() const { return dir_.path() + "/mount"; }
    [[nodiscard]] QString backing() const { return dir_.path() + "/backing"; }

private:
    QTemporaryDir dir_;
    qint64 daemon_ = -1;
    bool mounted_ = false;
};

// Skips the test calling it on a machine that cannot mount FUSE file systems.
#define SKIP_WITHOUT_FUSE()                                                                        \
    do {                                                                                           \
        if (!testsupport::SlowMount::available()) {                                                \
            QSKIP("this machine cannot mount FUSE file systems (no /dev/fuse)");                   \
        }                                                                                          \
    } while (false)

// Schedules `action` for the next modal widget (dialog, message box) that becomes
// active, polling from a timer for up to `timeoutMs`. Call it before the code that opens
// the modal widget.
void onNextModal(std::function<void(QWidget*)> action, int timeoutMs = 5000);

// Drops every answer scheduled above that found nothing to answer yet.
void cancelPendingAnswers();

// Schedules closing the next message box, storing the text it shows in *text when given.
void closeNextMessageBox(QString* text = nullptr);

// The text a label shows: its text, or what its text reads as markup when the label
// takes it as markup.
QString shownText(const QLabel& label);

// The text of the tip a view shows for `index`, asked for as the mouse asks for it.
QString shownTip(QAbstractItemView& view, const QModelIndex& index);

} // namespace testsupport

#include <QList>
#include <QObject>
#include <QUrl>

namespace testsupport {

// Receives the desktop's "open" requests for file URLs instead of the desktop, for the
// life of the object.
class OpenRecorder : public QObject {
    Q_OBJECT
public:
    OpenRecorder();
    ~OpenRecorder() override;
    OpenRecorder(const OpenRecorder&) = delete;
    OpenRecorder& operator=(const OpenRecorder&) = delete;

    QList<QUrl> urls;

public slots:
    void open(const QUrl& url);
};

// A real workspace database `config.mdb` in a temporary folder, opened as the
// application's connection for the life of the object. The mount list is replaced by the
// given drive roots (default: the temporary folder itself, as "<dir>/").
class TestWorkspace {
public:
    explicit TestWorkspace(const QStringList& workDirs = {});
    ~TestWorkspace();
    TestWorkspace(const TestWorkspace&) = delete;
    TestWorkspace& operator=(const TestWorkspace&) = delete;

    [[nodiscard]] QString root() const { return dir_.path(); }
    [[nodiscard]] QString databasePath() const { return dir_.path() + "/config.mdb"; }
    // The drive row that stands for root(): the folder followed by a separator.
    [[nodiscard]] QString driveRow() const { return dir_.path() + "/"; }
    // Every stored text, in the database's order.
    [[nodiscard]] QStringList storedWorkDirs() const;
    void setDriveRoots(const QStringList& roots);

private:
    QTemporaryDir dir_;
};

} // namespace testsupport

class CColumnList;
#include "ui/CDirquillDlg.h"

namespace testsupport {

// Real pointer input through the window, as a user gives it. `row` < 0 means the empty
// space below the rows.
void clickRow(CColumnList* list, int row);
void doubleClickRow(CColumnList* list, int row);
void rightClickRow(CColumnList* list, int row);

// Schedules choosing the item `itemText` of the next popup menu; an empty text closes
// the menu with Escape. *shownItems receives the texts of the items it had.
void chooseFromNextMenu(const QString& itemText, QStringList* shownItems = nullptr);

// The texts of all rows of a column.
QStringList rowTexts(const CColumnList& list);

// Schedules typing `text` into the next modal prompt's line edit, then pressing its OK
// (accept == true) or Cancel button.
void answerNextPrompt(const QString& text, bool accept = true);

} // namespace testsupport

namespace testsupport {

// A main window over a test workspace whose drive row (column 0, row 1) is selected, so
// that column 1 lists the workspace's folder.
struct Browser {
    TestWorkspace workspace;
    CDirquillDlg dlg;
    explicit Browser(const QStringList& workDirs = {});
    // Selects a row and lists the columns after it, as a click does.
    void select(int column, int row);
    // Selects the row with this text; false when there is none.
    bool select(int column, const QString& name);
    [[nodiscard]] QStringList rows(int column) const;
    [[nodiscard]] QStringList sortedRows(int column) const;
    [[nodiscard]] QString root() const { return workspace.root(); }
};

} // namespace testsupport
