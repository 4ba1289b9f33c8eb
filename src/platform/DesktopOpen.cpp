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
    // Nothing else is undone: "link/.." is where the link's target has its parent, which
    // only the kernel can tell.
    // (Done by hand: a name that is not UTF-8 holds lone surrogates, which a regular
    // expression refuses to match in.)
    QString absolute;
    for (const QChar c : QDir::current().absoluteFilePath(path)) {
        if (c != QLatin1Char('/') || !absolute.endsWith(QLatin1Char('/'))) {
            absolute.append(c);
        }
    }
    if (absolute.size() > 1 && absolute.endsWith(QLatin1Char('/'))) {
        absolute.chop(1);
    }
    // Built from the name's bytes, so that a name that is not valid UTF-8 reaches the
    // opening program unchanged.
    const QByteArray encoded = names::encodeName(absolute).toPercentEncoding("/");
    const QUrl url = QUrl::fromEncoded("file://" + encoded, QUrl::StrictMode);
    return QDesktopServices::openUrl(url);
}

} // namespace platform
