#include "res/Icon.h"

namespace res {
QIcon appIcon() {
    return QIcon(QStringLiteral(":/icons/dirquill-48.png"));
}
} // namespace res
