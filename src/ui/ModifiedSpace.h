#pragma once

namespace ui {

// Makes Space pressed with Ctrl, Alt or Meta press no button anywhere in the program.
// Qt's buttons take Space with any modifier as a click, and Ctrl+Space is how an input
// method is switched on: the first key a user gives a prompt must not answer it. Plain
// Space still presses the focused button, and Enter the default one. Installed once per
// application; every dialog and message box calls it.
void keepModifiedSpaceFromButtons();

} // namespace ui
