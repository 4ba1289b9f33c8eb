#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <memory>

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
}

ScopedCurrentDir::ScopedCurrentDir(const QString& path) : previous_(QDir::currentPath()) {
    QDir::setCurrent(path);
}

ScopedCurrentDir::~ScopedCurrentDir() { QDir::setCurrent(previous_); }

void onNextModal(std::function<void(QWidget*)> action, int timeoutMs) {
    auto* timer = new QTimer(qApp);
    auto remaining = std::make_shared<int>(timeoutMs / 10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, remaining, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        } else if (--*remaining <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

void closeNextMessageBox(QString* text) {
    onNextModal([text](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (text != nullptr) {
                *text = box->text();
            }
            box->accept();
        } else {
            modal->close();
        }
    });
}

} // namespace testsupport
