#include "ui/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

void AfxMessageBox(const QString& text) {
    const QString title = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok);
    box.setAccessibleName(title);
    box.exec();
}
