#include "ui/PlainText.h"

#include <QLabel>
#include <QMessageBox>
#include <QToolTip>

void SetPlainText(QLabel& label, const QString& text) {
    label.setTextFormat(Qt::PlainText);
    label.setText(text);
}

void SetPlainText(QMessageBox& box, const QString& text) {
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
}

void ShowPlainTip(const QPoint& globalPos, const QString& text, QWidget* widget,
                  const QRect& rect) {
    if (text.isEmpty()) {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(
        globalPos, QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(text.toHtmlEscaped()),
        widget, rect);
}
