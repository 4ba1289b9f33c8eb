#pragma once

class QWidget;

namespace ui {

// The window a dialog or message box opening now belongs to: the active window, or, while
// the program is in the background, the modal window it runs (the main window, or the
// agreement dialog), else the main window. Null when no window of the program is
// showing, as before the main window. Owned, a dialog stays above that window on every desktop and
// opens centred over it.
QWidget* dialogOwner();

} // namespace ui
