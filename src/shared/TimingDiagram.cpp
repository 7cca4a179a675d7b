#include "shared/TimingDiagram.h"

#include "base/Placeholders.h"
#include "shared/MachineData.h"
#include "shared/TimingEditor.h"

namespace talvek {

namespace {

using Kind = DiagramChannel::Kind;

// The value of a status bar panel: its text after the caption's colon.
QString panelValue(const QString& panel)
{
    const qsizetype colon = panel.indexOf(QLatin1Char(':'));
    return (colon < 0 ? panel : panel.mid(colon + 1)).trimmed();
}

// What a setpoint text that is not a number stands for; a text that is a
// number gives nothing.
std::optional<Kind> placeholderKind(const QString& text)
{
    const QString t = text.trimmed();
    if (t == placeholder::kFailedValue)
        return Kind::Failed;
    if (t == placeholder::kEmptyChannel)
        return Kind::Empty;
    if (t.isEmpty() || t == placeholder::kNoValue)
        return Kind::NoValue;
    if (!wholeNumber(t))
        return Kind::Unreadable;
    return std::nullopt;
}

// The channel's kind when one of its texts is not a number: a failure
// outweighs a cleared channel, which outweighs a value not read yet.
Kind worseOf(std::optional<Kind> a, std::optional<Kind> b)
{
    for (const Kind k : { Kind::Failed, Kind::Empty, Kind::Unreadable, Kind::NoValue }) {
        if (a == k || b == k)
            return k;
    }
    return Kind::NoValue;
}

QString noteOf(Kind kind)
{
    switch (kind) {
    case Kind::Empty: return QStringLiteral("empty channel");
    case Kind::NoWindow: return QStringLiteral("no window");
    case Kind::NoValue: return QStringLiteral("not read yet");
    case Kind::Failed: return QStringLiteral("recall failed");
    case Kind::PulseTrain: return QStringLiteral("pulse train");
    case Kind::Unreadable: return QStringLiteral("not a setpoint");
    case Kind::Window:
    case Kind::BeyondScale: break;
    }
    return QString();
}

void shapeWindow(DiagramChannel& c, int scale)
{
    const int on = *c.on;
    const int off = *c.off;
    if (on < 0 || off < 0 || on >= scale || off >= scale) {
        c.kind = Kind::BeyondScale;
        c.note = QStringLiteral("beyond scale factor %1").arg(scale);
        return;
    }
    if (on == off) {
        c.kind = Kind::NoWindow;
        c.note = on == 0 ? QStringLiteral("no window (0/0)") : QStringLiteral("no window (ON = OFF)");
        return;
    }
    c.kind = Kind::Window;
    const double from = divisionsToDegrees(on, scale);
    const double to = divisionsToDegrees(off, scale);
    if (on < off) {
        c.spans = { { from, to } };
    } else {
        // Past the end of the cycle the window goes on from 0.
        c.spans = { { from, 360.0 } };
        if (off > 0)
            c.spans.append({ 0.0, to });
    }
    c.lengthDegrees = divisionsToDegrees((off - on + scale) % scale, scale);
}

DiagramPosition positionOf(const TimingDiagramInput& in, int scale, bool scaleKnown)
{
    DiagramPosition p;
    const std::optional<int> rpm = wholeNumber(in.rpmText);
    if (rpm && *rpm > kMaxPositionRpm) {
        p.reason = QStringLiteral("Position not shown above %1 RPM (RPM: %2)").arg(kMaxPositionRpm).arg(*rpm);
        return p;
    }
    const std::optional<int> pos = wholeNumber(in.positionText);
    // The status bar's "888" is a real position only where the scale factor
    // reaches it; elsewhere the speed rose past the limit between readings.
    if (in.positionText.trimmed() == placeholder::kPositionHidden && (!scaleKnown || scale <= *pos)) {
        p.reason = QStringLiteral("Position not shown above %1 RPM").arg(kMaxPositionRpm);
        return p;
    }
    if (!pos) {
        p.reason = in.positionText.trimmed() == placeholder::kFailedValue
            ? QStringLiteral("Position could not be read")
            : QStringLiteral("No machine position (offline or not read yet)");
        return p;
    }
    if (!scaleKnown) {
        p.reason = QStringLiteral("Position %1 not drawn: no scale factor").arg(*pos);
        return p;
    }
    if (*pos < 0 || *pos >= scale) {
        p.reason = QStringLiteral("Position %1 outside the scale factor %2").arg(*pos).arg(scale);
        return p;
    }
    p.shown = true;
    p.value = *pos;
    p.degrees = divisionsToDegrees(*pos, scale);
    return p;
}

} // namespace

double divisionsToDegrees(int divisions, int scale)
{
    return scale > 0 ? double(divisions) * 360.0 / double(scale) : double(divisions);
}

std::optional<int> wholeNumber(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

QString TimingDiagram::caption() const
{
    QString text = position.shown
        ? QStringLiteral("Position: %1 (%2°)").arg(position.value).arg(position.degrees, 0, 'f', 1)
        : position.reason;
    text += scaleKnown ? QStringLiteral("   Scale: %1").arg(scale)
                       : QStringLiteral("   Scale not read: setpoints drawn as degrees");
    return text;
}

TimingDiagramInput diagramInputOf(const TimingState& state)
{
    TimingDiagramInput in;
    for (int ch = 0; ch < TimingDiagramInput::kChannelCount; ++ch) {
        in.onTexts[size_t(ch)] = state.channelTexts[size_t(ch)];
        in.offTexts[size_t(ch)] = state.channelTexts[size_t(ch + TimingState::kOffField)];
    }
    in.rpmText = panelValue(state.panelTexts[0]);
    in.positionText = panelValue(state.panelTexts[1]);
    in.scaleText = panelValue(state.panelTexts[3]);
    return in;
}

TimingDiagram buildTimingDiagram(const TimingDiagramInput& in)
{
    TimingDiagram d;
    const std::optional<int> scale = wholeNumber(in.scaleText);
    d.scaleKnown = scale && *scale > 0;
    d.scale = d.scaleKnown ? *scale : 360;
    for (int ch = 0; ch < TimingDiagramInput::kChannelCount; ++ch) {
        DiagramChannel c;
        c.channel = ch;
        c.label = timingChannelName(ch) + QStringLiteral(" (CH0") + QString::number(ch) + QLatin1Char(')');
        c.onText = in.onTexts[size_t(ch)];
        c.offText = in.offTexts[size_t(ch)];
        const std::optional<Kind> onKind = placeholderKind(c.onText);
        const std::optional<Kind> offKind = placeholderKind(c.offText);
        if (!onKind)
            c.on = wholeNumber(c.onText);
        if (!offKind)
            c.off = wholeNumber(c.offText);
        if (in.pulseTrain[size_t(ch)])
            c.kind = Kind::PulseTrain;
        else if (onKind || offKind)
            c.kind = worseOf(onKind, offKind);
        if (c.kind == Kind::PulseTrain || onKind || offKind)
            c.note = noteOf(c.kind);
        else
            shapeWindow(c, d.scale);
        d.channels.append(c);
    }
    d.position = positionOf(in, d.scale, d.scaleKnown);
    return d;
}

} // namespace talvek
