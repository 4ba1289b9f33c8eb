#include "platform/FileSystem.h"

#include "names/VisibleText.h"
#include "res/Texts.h"

#include <algorithm>
#include <cerrno>

namespace platform {

QString describeError(int error) {
    return QString::fromUtf8(texts::errnoText(error));
}

bool refusedByWindowsVolumes(const QString& name) {
    // Names no file system takes are invalid everywhere, not refused by these volumes.
    if (name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QChar(u'\0'))) {
        return false;
    }
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' '))) {
        return true;
    }
    return std::any_of(name.begin(), name.end(), [](QChar c) {
        return c.unicode() < 0x20 || QStringView(u"\\:*?\"<>|").contains(c);
    });
}

QString describeNameError(int error, const QString& name) {
    if (error == EINVAL && refusedByWindowsVolumes(name)) {
        return QString::fromUtf8(texts::kNameRefusedByWindowsVolume);
    }
    return describeError(error);
}

QString describeMountFailure(const QString& shownRow, const QString& serviceMessage) {
    return QString::fromUtf8(texts::kVolumeFailed).arg(shownRow) +
           names::visibleText(serviceMessage);
}

} // namespace platform
