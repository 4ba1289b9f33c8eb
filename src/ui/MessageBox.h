#pragma once

#include <QString>

// Shows `text` in a modal message box with an OK button only, titled with the program
// file's base name.
void AfxMessageBox(const QString& text);
