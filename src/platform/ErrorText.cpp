#include "platform/FileSystem.h"

#include "res/Texts.h"

namespace platform {

QString describeError(int error) {
    return QString::fromUtf8(texts::errnoText(error));
}

} // namespace platform
