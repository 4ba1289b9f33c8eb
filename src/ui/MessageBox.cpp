#include "ui/MessageBox.h"

#include "ui/DialogOwner.h"
#include "ui/ModifiedSpace.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

void AfxMessageBox(const QString& text) {
    const QString title = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    ui::keepModifiedSpaceFromButtons();
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, ui::dialogOwner());
    box.setAccessibleName(title);
    box.exec();
}
