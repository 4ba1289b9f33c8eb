#pragma once

#include <span>

// Dialog templates: every dialog's caption, font, size and controls, in dialog units.
// The windows are built from these tables (see src/ui/CDialog.cpp).
namespace res {

enum class ControlKind {
    DefPushButton, // the dialog's default button (answers Enter)
    PushButton,
    FlatPushButton,
    Static,    // one line or several lines of text
    IconImage, // the application icon
    Edit,      // one-line edit field
    ListView,  // a browser column
};

// Window and control style bits (only those the program uses).
enum Style : unsigned {
    kTabStop = 1U << 0,
    kGroup = 1U << 1,
    kNoPrefix = 1U << 2,
    kBorder = 1U << 3,
    kAutoHScroll = 1U << 4,
    kSysMenu = 1U << 5,
    kMinimizeBox = 1U << 6,
    kMaximizeBox = 1U << 7,
    kAppWindow = 1U << 8,
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;
    unsigned style;
};

struct DialogTemplate {
    int id;
    const char* caption;
    int cx, cy;
    const char* fontFace;
    int pointSize;
    unsigned style;
    std::span<const ControlTemplate> controls;
};

// The template with this id; every id of res/resource.h that names a dialog has one.
const DialogTemplate& dialogTemplate(int id);

} // namespace res
