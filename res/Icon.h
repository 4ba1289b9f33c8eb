#pragma once

#include <QIcon>

namespace res {
// Icon 128: the program's 48 x 48 icon, for its windows and the About box.
QIcon appIcon();
} // namespace res
