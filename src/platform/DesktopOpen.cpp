#include "platform/DesktopOpen.h"

#include "names/NameCodec.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace platform {

bool openWithDesktop(const QString& path) {
    // The opening program would end a path at a NUL and open its folder instead.
    if (path.isEmpty() || path.contains(QChar(u'\0'))) {
        return false;
    }
    // Collapsing separators matters: a URL path starting with "//" would name a host.
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    // Built from the name's bytes, so that a name that is not valid UTF-8 reaches the
    // opening program unchanged.
    const QByteArray encoded = names::encodeName(absolute).toPercentEncoding("/");
    const QUrl url = QUrl::fromEncoded("file://" + encoded, QUrl::StrictMode);
    return QDesktopServices::openUrl(url);
}

} // namespace platform
