#pragma once

#include <QColor>
#include <QPalette>

namespace talvek {

// The colours the program chooses itself, chosen against the palette's
// roles so that they read in a light and a dark palette alike: text on
// them keeps a contrast of at least 4.5:1 (contrastRatio, DisplayText.h).

// Whether the palette's base (where tables and charts draw) is dark.
bool isDarkPalette(const QPalette& palette);

// What marks a table row.
enum class RowMark
{
    Differs, // a value that differs: amber
    Failed, // a value that could not be read: red
};

// A marked row's background and its text: the base tinted towards the mark's
// hue, the text the palette's text colour, the tint lessened until the text
// reads at 4.5:1.
struct MarkColours
{
    QColor background;
    QColor text;
};
MarkColours markColours(const QPalette& palette, RowMark mark);

// A line's colour on the palette's base: the hue given, made lighter on a
// dark base or darker on a light one until it stands out at 4.5:1.
QColor lineColour(const QPalette& palette, const QColor& hue);

// A colour with its transparency as drawn on a background (a palette's
// placeholder text is often its text half transparent): opaque.
QColor opaqueOn(const QColor& colour, const QColor& background);

// A grid's colour: between the base and the text, a quarter of the way.
QColor gridColour(const QPalette& palette);

} // namespace talvek
