#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <functional>

class QWidget;

namespace testsupport {

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

// Schedules `action` for the next modal widget (dialog, message box) that becomes
// active, polling from a timer for up to `timeoutMs`. Call it before the code that opens
// the modal widget.
void onNextModal(std::function<void(QWidget*)> action, int timeoutMs = 5000);

// Schedules closing the next message box, storing its text in *text when given.
void closeNextMessageBox(QString* text = nullptr);

} // namespace testsupport
