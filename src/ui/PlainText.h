#pragma once

#include <QString>

class QLabel;
class QMessageBox;
class QPoint;
class QRect;
class QWidget;

// The one way text reaches a label, a message box or a tip: as plain text. A name or a
// message can hold anything, "<b>" or "&#8238;" included; taken as markup, it would
// show other characters than its own (a real right-to-left override), or a link.
void SetPlainText(QLabel& label, const QString& text);
void SetPlainText(QMessageBox& box, const QString& text);

// Shows `text` as the tip of `rect` in `widget` at `globalPos`, as plain text; an empty
// text hides the tip. Tips have no plain format, so the text goes as escaped markup that
// keeps its spaces.
void ShowPlainTip(const QPoint& globalPos, const QString& text, QWidget* widget, const QRect& rect);
