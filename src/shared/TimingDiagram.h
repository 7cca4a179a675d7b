#pragma once

#include <QList>
#include <QString>
#include <array>
#include <optional>

namespace talvek {

struct TimingState;

// What the timing diagram is drawn from: the texts of the channel grid and
// of the status bar panels, exactly as the machine timing window shows them.
struct TimingDiagramInput
{
    static constexpr int kChannelCount = 8;
    std::array<QString, kChannelCount> onTexts {};
    std::array<QString, kChannelCount> offTexts {};
    // A channel programmed as a pulse train has no ON / OFF window.
    std::array<bool, kChannelCount> pulseTrain {};
    // The values of the status bar panels, without their captions ("360",
    // "-", "---", or empty before the first reading).
    QString scaleText;
    QString rpmText;
    QString positionText;
};

// One piece of a bar, in degrees of the press cycle: 0 <= from < to <= 360.
struct DiagramSpan
{
    double from = 0;
    double to = 0;
    bool operator==(const DiagramSpan&) const = default;
};

struct DiagramChannel
{
    enum class Kind
    {
        Window, // a bar from ON to OFF (two pieces when it wraps past 359°)
        Empty, // "****": the channel is cleared
        NoWindow, // both setpoints 0, or ON = OFF: nothing switches
        NoValue, // "-": not read yet
        Failed, // "---": a recall or clear failed
        PulseTrain, // programmed as a pulse train, not as a window
        BeyondScale, // a setpoint the scale factor does not reach
        Unreadable, // a text that is not a whole number (being typed)
    };

    int channel = 0;
    // "BDC (High) Timing (CH00)", as the grid names it.
    QString label;
    Kind kind = Kind::NoValue;
    QString onText;
    QString offText;
    // The setpoints in scale-factor divisions, when they are numbers.
    std::optional<int> on;
    std::optional<int> off;
    // Window only: the bar's pieces and its length.
    QList<DiagramSpan> spans;
    double lengthDegrees = 0;
    // What the row says instead of (or beside) a bar.
    QString note;

    bool isBar() const { return kind == Kind::Window; }
};

struct DiagramPosition
{
    bool shown = false;
    int value = 0; // in divisions, when shown
    double degrees = 0;
    // Why no line is drawn (empty when it is).
    QString reason;
};

struct TimingDiagram
{
    // The scale factor the setpoints were converted with; 360 when none was
    // read (scaleKnown false), so that setpoints are drawn as degrees.
    int scale = 360;
    bool scaleKnown = false;
    QList<DiagramChannel> channels;
    DiagramPosition position;
    // One line under the diagram: the position or why it is not drawn, and
    // the scale factor.
    QString caption() const;
};

// The press only reports its position up to this speed; above it the status
// bar shows "Position: 888".
constexpr int kMaxPositionRpm = 50;

// A position or setpoint in scale-factor divisions, in degrees.
double divisionsToDegrees(int divisions, int scale);
// A text that is a whole number and nothing else.
std::optional<int> wholeNumber(const QString& text);

// The input of the diagram from what the machine timing window publishes.
TimingDiagramInput diagramInputOf(const TimingState& state);
TimingDiagram buildTimingDiagram(const TimingDiagramInput& input);

} // namespace talvek
