#pragma once

#include <QChar>
#include <QString>

class QLabel;
class QColor;

namespace talvek {

// The degree sign the displays append to positions and brake responses.
inline constexpr QChar DegreeSign { 0xB0 };

// A count as a whole number with the system's digit grouping ("1,234,567").
QString GroupedCount(qint64 value);
// A value read from the controller, as a whole number with the system's
// digit grouping: its leading number, rounded (ties to the even number).
QString GroupedCount(const QString& value);

// Sets a label's text only when it changes (the refresh loops set the same
// text many times a second).
void SetLabelText(QLabel* label, const QString& text);

// Sets a label's text colour for the enabled states only, so that a
// disabled label still looks disabled. Nothing is done when it already has it.
void SetLabelColor(QLabel* label, const QColor& color);

} // namespace talvek
