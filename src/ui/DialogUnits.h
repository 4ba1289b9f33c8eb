#pragma once

#include <QFont>
#include <QRect>

namespace res {
struct DialogTemplate;
}

// Converts dialog units to pixels the way dialog templates define them: a horizontal
// unit is a quarter of the font's average Latin letter width, a vertical unit an eighth
// of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    [[nodiscard]] int toPixelsX(int units) const;
    [[nodiscard]] int toPixelsY(int units) const;
    [[nodiscard]] QRect toPixels(int x, int y, int cx, int cy) const;
    [[nodiscard]] int baseX() const { return baseX_; }
    [[nodiscard]] int baseY() const { return baseY_; }

private:
    int baseX_;
    int baseY_;
};

// The font a template asks for: its face at its point size. Where the face is missing,
// fontconfig chooses a CJK font for it.
QFont templateFont(const res::DialogTemplate& dialog);
