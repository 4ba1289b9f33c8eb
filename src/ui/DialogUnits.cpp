#include "ui/DialogUnits.h"

#include "res/DialogTemplates.h"

#include <QFontMetrics>
#include <QStringList>

namespace {
// Rounds units * base / divisor to the nearest integer, halves away from zero.
int mulDiv(int units, int base, int divisor) {
    const long long product = static_cast<long long>(units) * base;
    const long long half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor : (product - half) / divisor);
}
} // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    static const QString kLetters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    // Average width of the 52 letters, rounded as the window system does it.
    baseX_ = (metrics.horizontalAdvance(kLetters) / 26 + 1) / 2;
    baseY_ = metrics.height();
}

int DialogUnits::toPixelsX(int units) const {
    return mulDiv(units, baseX_, 4);
}

int DialogUnits::toPixelsY(int units) const {
    return mulDiv(units, baseY_, 8);
}

QRect DialogUnits::toPixels(int x, int y, int cx, int cy) const {
    return {toPixelsX(x), toPixelsY(y), toPixelsX(cx), toPixelsY(cy)};
}

QFont templateFont(const res::DialogTemplate& dialog) {
    // Where the template's face is missing, Han characters come from a Simplified Chinese
    // Song-style face, whatever the locale would otherwise pick for them.
    static const QString kHanFallback = QStringLiteral("Noto Serif CJK SC");
    QFont font;
    font.setFamilies(QStringList{QString::fromUtf8(dialog.fontFace), kHanFallback});
    font.setPointSize(dialog.pointSize);
    return font;
}
