#include "ui/WindowFit.h"

#include <algorithm>

namespace ui {

QRect frameInside(const QRect& frame, const QRect& available) {
    if (available.isEmpty()) {
        return frame;
    }
    const int width = std::min(frame.width(), available.width());
    const int height = std::min(frame.height(), available.height());
    const int x = std::clamp(frame.x(), available.x(), available.x() + available.width() - width);
    const int y = std::clamp(frame.y(), available.y(), available.y() + available.height() - height);
    return {x, y, width, height};
}

} // namespace ui
