#include "ui/MessageBox.h"

#include "ui/DialogOwner.h"
#include "ui/ModifiedSpace.h"
#include "ui/PlainText.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

void AfxMessageBox(const QString& text) {
    const QString title = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    ui::keepModifiedSpaceFromButtons();
    QMessageBox box(QMessageBox::Warning, title, {}, QMessageBox::Ok, ui::dialogOwner());
    SetPlainText(box, text);
    box.setAccessibleName(title);
    box.exec();
}
