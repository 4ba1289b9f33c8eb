#pragma once

#include <QRect>

namespace ui {

// The frame (title bar and borders included) of a window whose frame is `frame`, made to
// fit `available`: the same size where that fits, else as large as `available` allows,
// and moved no further than it must to lie inside it.
QRect frameInside(const QRect& frame, const QRect& available);

} // namespace ui
