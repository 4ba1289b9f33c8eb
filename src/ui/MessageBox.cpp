#include "ui/MessageBox.h"

#include "ui/PlainText.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

void AfxMessageBox(const QString& text) {
    const QString title = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    QMessageBox box(QMessageBox::Warning, title, {}, QMessageBox::Ok);
    SetPlainText(box, text);
    box.setAccessibleName(title);
    box.exec();
}
