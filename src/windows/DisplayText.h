#pragma once

#include <QChar>
#include <QString>

class QLabel;
class QColor;

namespace talvek {

// The degree sign the displays append to positions and brake responses.
inline constexpr QChar kDegreeSign { 0xB0 };

// A count as a whole number with the system's digit grouping ("1,234,567").
QString groupedCount(qint64 value);
// A value read from the controller, as a whole number with the system's
// digit grouping: its leading number, rounded (ties to the even number).
QString groupedCount(const QString& value);

// Sets a label's text only when it changes (the refresh loops set the same
// text many times a second).
void setLabelText(QLabel* label, const QString& text);

// Sets a label's text colour for the enabled states only, so that a
// disabled label still looks disabled. Nothing is done when it already has it.
void setLabelColor(QLabel* label, const QColor& color);

// The contrast ratio of two colours (1 to 21), from their relative
// luminance as the accessibility guidelines define it.
double contrastRatio(const QColor& a, const QColor& b);

// A text colour for `background`: `preferred` itself when it stands out at
// least 4.5:1 against it, else `preferred` mixed toward white (on a dark
// background) or black (on a light one) just far enough to do so, so that
// blue stays blue and red stays red in a dark palette too.
QColor readableColor(const QColor& preferred, const QColor& background);

} // namespace talvek
