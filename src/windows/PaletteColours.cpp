#include "windows/PaletteColours.h"

#include "windows/DisplayText.h"

#include <cmath>

namespace talvek {

namespace {

constexpr double kTextContrast = 4.5;

QColor mix(const QColor& a, const QColor& b, double share)
{
    const auto part = [share](int x, int y) { return int(std::lround(x + (y - x) * share)); };
    return QColor(part(a.red(), b.red()), part(a.green(), b.green()), part(a.blue(), b.blue()));
}

} // namespace

bool isDarkPalette(const QPalette& palette)
{
    return palette.color(QPalette::Base).toRgb().lightnessF() < 0.5;
}

MarkColours markColours(const QPalette& palette, RowMark mark)
{
    const QColor base = palette.color(QPalette::Base).toRgb();
    const QColor text = palette.color(QPalette::Text).toRgb();
    const bool dark = isDarkPalette(palette);
    const QColor hue = mark == RowMark::Differs ? (dark ? QColor(150, 110, 0) : QColor(255, 200, 40))
                                                : (dark ? QColor(160, 30, 30) : QColor(255, 120, 120));
    // As much of the hue as the text allows: a pale amber row in a light
    // palette, a dark amber one in a dark palette.
    for (double share = 0.5; share > 0.04; share -= 0.05) {
        const QColor background = mix(base, hue, share);
        if (contrastRatio(background, text) >= kTextContrast)
            return { background, text };
    }
    // A text that does not read on the base itself: the tint kept, the text
    // made to read on it.
    const QColor background = mix(base, hue, 0.3);
    return { background, readableColor(text, background) };
}

QColor lineColour(const QPalette& palette, const QColor& hue)
{
    return readableColor(hue, palette.color(QPalette::Base));
}

QColor opaqueOn(const QColor& colour, const QColor& background)
{
    const QColor c = colour.toRgb();
    return mix(background.toRgb(), QColor(c.red(), c.green(), c.blue()), c.alphaF());
}

QColor gridColour(const QPalette& palette)
{
    return mix(palette.color(QPalette::Base).toRgb(), palette.color(QPalette::Text).toRgb(), 0.25);
}

} // namespace talvek
