#include "windows/DisplayText.h"

#include "base/BasicText.h"

#include <QColor>
#include <QLabel>
#include <QPalette>
#include <algorithm>
#include <cmath>
#include <limits>

namespace talvek {

QString groupedCount(qint64 value)
{
    return groupedNumber(value);
}

QString groupedCount(const QString& value)
{
    const double rounded = std::nearbyint(Val(value));
    // Val never gives more than a double holds; the limits keep the
    // conversion defined for numbers no controller sends.
    constexpr double top = 9.2e18;
    const qint64 whole = rounded >= top ? std::numeric_limits<qint64>::max()
        : rounded <= -top               ? std::numeric_limits<qint64>::min()
                                        : qint64(rounded);
    return groupedNumber(whole);
}

void setLabelText(QLabel* label, const QString& text)
{
    if (label->text() != text)
        label->setText(text);
}

namespace {

double channelLuminance(double c)
{
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c)
{
    return 0.2126 * channelLuminance(c.redF()) + 0.7152 * channelLuminance(c.greenF())
        + 0.0722 * channelLuminance(c.blueF());
}

QColor mixed(const QColor& from, const QColor& to, double share)
{
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * share),
        float(from.greenF() + (to.greenF() - from.greenF()) * share),
        float(from.blueF() + (to.blueF() - from.blueF()) * share));
}

constexpr double kReadableContrast = 4.5;

} // namespace

double contrastRatio(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableColor(const QColor& preferred, const QColor& background)
{
    if (contrastRatio(preferred, background) >= kReadableContrast)
        return preferred;
    const QColor towards = luminance(background) < 0.18 ? QColor(Qt::white) : QColor(Qt::black);
    for (int step = 1; step <= 20; ++step) {
        const QColor candidate = mixed(preferred, towards, step / 20.0);
        if (contrastRatio(candidate, background) >= kReadableContrast)
            return candidate.toRgb();
    }
    return towards;
}

void setLabelColor(QLabel* label, const QColor& color)
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
