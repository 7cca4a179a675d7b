#include "DisplayText.h"

#include "BasicText.h"

#include <QColor>
#include <QLabel>
#include <QPalette>
#include <cmath>
#include <limits>

namespace talvek {

QString GroupedCount(qint64 value)
{
    return GroupedNumber(value);
}

QString GroupedCount(const QString& value)
{
    const double rounded = std::nearbyint(Val(value));
    // Val never gives more than a double holds; the limits keep the
    // conversion defined for numbers no controller sends.
    constexpr double top = 9.2e18;
    const qint64 whole = rounded >= top ? std::numeric_limits<qint64>::max()
        : rounded <= -top               ? std::numeric_limits<qint64>::min()
                                        : qint64(rounded);
    return GroupedNumber(whole);
}

void SetLabelText(QLabel* label, const QString& text)
{
    if (label->text() != text)
        label->setText(text);
}

void SetLabelColor(QLabel* label, const QColor& color)
{
    // A label on a Base background draws its text in the Text role.
    const QPalette::ColorRole role = label->foregroundRole();
    QPalette palette = label->palette();
    if (palette.color(QPalette::Active, role) == color && palette.color(QPalette::Inactive, role) == color)
        return;
    palette.setColor(QPalette::Active, role, color);
    palette.setColor(QPalette::Inactive, role, color);
    label->setPalette(palette);
}

} // namespace talvek
