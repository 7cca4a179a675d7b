// The timing diagram's model without a window: which channels become bars
// and where, the channels drawn without one, the scale factor, and when the
// machine position is drawn.

#include "shared/TimingDiagram.h"
#include "shared/TimingEditor.h"

#include <QTest>

using namespace talvek;

namespace {

using Kind = DiagramChannel::Kind;

// Channel 0 with the given texts, the others empty; scale 360, stopped at 0.
TimingDiagramInput oneChannel(const QString& on, const QString& off, const QString& scale = QStringLiteral("360"))
{
    TimingDiagramInput in;
    in.onTexts.fill(QStringLiteral("****"));
    in.offTexts.fill(QStringLiteral("****"));
    in.onTexts[0] = on;
    in.offTexts[0] = off;
    in.scaleText = scale;
    in.rpmText = QStringLiteral("0");
    in.positionText = QStringLiteral("0");
    return in;
}

DiagramChannel channel0(const QString& on, const QString& off, const QString& scale = QStringLiteral("360"))
{
    return buildTimingDiagram(oneChannel(on, off, scale)).channels.at(0);
}

TimingDiagramInput moving(const QString& rpm, const QString& position, const QString& scale = QStringLiteral("360"))
{
    TimingDiagramInput in = oneChannel(QStringLiteral("10"), QStringLiteral("20"), scale);
    in.rpmText = rpm;
    in.positionText = position;
    return in;
}

} // namespace

class tst_TimingDiagram : public QObject
{
    Q_OBJECT

private slots:
    // ---- bars ----
    void windowIsOneBarFromOnToOff()
    {
        const DiagramChannel c = channel0(QStringLiteral("30"), QStringLiteral("120"));
        QCOMPARE(c.kind, Kind::Window);
        QCOMPARE(c.spans, (QList<DiagramSpan> { { 30.0, 120.0 } }));
        QCOMPARE(c.lengthDegrees, 90.0);
        QCOMPARE(c.on.value_or(-1), 30);
        QCOMPARE(c.off.value_or(-1), 120);
        QCOMPARE(c.label, QStringLiteral("BDC (High) Timing (CH00)"));
    }
    void windowPastTheEndOfTheCycleIsTwoPieces()
    {
        const DiagramChannel c = channel0(QStringLiteral("300"), QStringLiteral("40"));
        QCOMPARE(c.kind, Kind::Window);
        QCOMPARE(c.spans, (QList<DiagramSpan> { { 300.0, 360.0 }, { 0.0, 40.0 } }));
        QCOMPARE(c.lengthDegrees, 100.0);
        // Ending exactly at 0 leaves nothing to draw after the wrap.
        const DiagramChannel toZero = channel0(QStringLiteral("350"), QStringLiteral("0"));
        QCOMPARE(toZero.spans, (QList<DiagramSpan> { { 350.0, 360.0 } }));
        QCOMPARE(toZero.lengthDegrees, 10.0);
        // Starting at 0 is not a wrap.
        QCOMPARE(channel0(QStringLiteral("0"), QStringLiteral("359")).spans, (QList<DiagramSpan> { { 0.0, 359.0 } }));
    }
    void setpointsAreDivisionsOfTheScaleFactor()
    {
        // 720 divisions: half a degree each.
        const DiagramChannel fine = channel0(QStringLiteral("100"), QStringLiteral("700"), QStringLiteral("720"));
        QCOMPARE(fine.spans, (QList<DiagramSpan> { { 50.0, 350.0 } }));
        QCOMPARE(fine.lengthDegrees, 300.0);
        // 180 divisions, wrapping: 2 degrees each.
        const DiagramChannel coarse = channel0(QStringLiteral("170"), QStringLiteral("5"), QStringLiteral("180"));
        QCOMPARE(coarse.spans, (QList<DiagramSpan> { { 340.0, 360.0 }, { 0.0, 10.0 } }));
        QCOMPARE(coarse.lengthDegrees, 30.0);
        QCOMPARE(divisionsToDegrees(1, 1000), 0.36);
    }
    void setpointBeyondTheScaleFactorIsMarkedNotDrawn()
    {
        // The grid takes 0..359, a scale of 180 reaches 179.
        const DiagramChannel c = channel0(QStringLiteral("10"), QStringLiteral("300"), QStringLiteral("180"));
        QCOMPARE(c.kind, Kind::BeyondScale);
        QVERIFY(c.spans.isEmpty());
        QCOMPARE(c.note, QStringLiteral("beyond scale factor 180"));
        QCOMPARE(channel0(QStringLiteral("180"), QStringLiteral("10"), QStringLiteral("180")).kind, Kind::BeyondScale);
        QCOMPARE(channel0(QStringLiteral("179"), QStringLiteral("10"), QStringLiteral("180")).kind, Kind::Window);
        QCOMPARE(channel0(QStringLiteral("-5"), QStringLiteral("10")).kind, Kind::BeyondScale);
    }

    // ---- channels drawn without a bar ----
    void placeholdersAreNeverBars_data()
    {
        QTest::addColumn<QString>("on");
        QTest::addColumn<QString>("off");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("note");
        QTest::newRow("cleared") << "****" << "****" << Kind::Empty << "empty channel";
        QTest::newRow("not read") << "-" << "-" << Kind::NoValue << "not read yet";
        QTest::newRow("failed") << "---" << "---" << Kind::Failed << "recall failed";
        QTest::newRow("ON read, OFF not yet") << "10" << "-" << Kind::NoValue << "not read yet";
        QTest::newRow("failure outweighs empty") << "****" << "---" << Kind::Failed << "recall failed";
        QTest::newRow("empty outweighs not read") << "-" << "****" << Kind::Empty << "empty channel";
        QTest::newRow("blank") << "" << "20" << Kind::NoValue << "not read yet";
        QTest::newRow("being typed") << "1x" << "20" << Kind::Unreadable << "not a setpoint";
        QTest::newRow("0/0") << "0" << "0" << Kind::NoWindow << "no window (0/0)";
        QTest::newRow("ON = OFF") << "45" << "45" << Kind::NoWindow << "no window (ON = OFF)";
    }
    void placeholdersAreNeverBars()
    {
        QFETCH(QString, on);
        QFETCH(QString, off);
        QFETCH(Kind, kind);
        QFETCH(QString, note);
        const DiagramChannel c = channel0(on, off);
        QCOMPARE(c.kind, kind);
        QCOMPARE(c.note, note);
        QVERIFY(!c.isBar());
        QVERIFY(c.spans.isEmpty());
        QCOMPARE(c.lengthDegrees, 0.0);
    }
    void pulseTrainIsNotABar()
    {
        TimingDiagramInput in = oneChannel(QStringLiteral("10"), QStringLiteral("20"));
        in.pulseTrain[0] = true;
        const DiagramChannel c = buildTimingDiagram(in).channels.at(0);
        QCOMPARE(c.kind, Kind::PulseTrain);
        QCOMPARE(c.note, QStringLiteral("pulse train"));
        QVERIFY(c.spans.isEmpty());
    }
    void unknownScaleDrawsSetpointsAsDegrees()
    {
        for (const QString& scale : { QStringLiteral(""), QStringLiteral("---"), QStringLiteral("0") }) {
            const TimingDiagram d = buildTimingDiagram(oneChannel(QStringLiteral("90"), QStringLiteral("180"), scale));
            QVERIFY(!d.scaleKnown);
            QCOMPARE(d.scale, 360);
            QCOMPARE(d.channels.at(0).spans, (QList<DiagramSpan> { { 90.0, 180.0 } }));
            QVERIFY(!d.position.shown);
            QCOMPARE(d.position.reason, QStringLiteral("Position 0 not drawn: no scale factor"));
        }
    }

    // ---- the machine position ----
    void positionIsDrawnUpTo50Rpm()
    {
        const TimingDiagram d = buildTimingDiagram(moving(QStringLiteral("50"), QStringLiteral("90"), QStringLiteral("720")));
        QVERIFY(d.position.shown);
        QCOMPARE(d.position.value, 90);
        QCOMPARE(d.position.degrees, 45.0);
        QVERIFY(d.position.reason.isEmpty());
        QCOMPARE(d.caption(), QStringLiteral("Position: 90 (45.0°)   Scale: 720"));
    }
    void positionIsHiddenAbove50Rpm()
    {
        const TimingDiagram d = buildTimingDiagram(moving(QStringLiteral("51"), QStringLiteral("888")));
        QVERIFY(!d.position.shown);
        QCOMPARE(d.position.reason, QStringLiteral("Position not shown above 50 RPM (RPM: 51)"));
        QCOMPARE(d.caption(), QStringLiteral("Position not shown above 50 RPM (RPM: 51)   Scale: 360"));
        // A number read before the speed rose is not drawn either.
        QVERIFY(!buildTimingDiagram(moving(QStringLiteral("250"), QStringLiteral("12"))).position.shown);
    }
    void position888IsHiddenUnlessTheScaleReachesIt()
    {
        // The speed rose past 50 between the RPM and the position readings.
        const TimingDiagram d = buildTimingDiagram(moving(QStringLiteral("40"), QStringLiteral("888")));
        QVERIFY(!d.position.shown);
        QCOMPARE(d.position.reason, QStringLiteral("Position not shown above 50 RPM"));
        const TimingDiagram fine = buildTimingDiagram(moving(QStringLiteral("40"), QStringLiteral("888"), QStringLiteral("1000")));
        QVERIFY(fine.position.shown);
        QCOMPARE(fine.position.degrees, 319.68);
    }
    void positionWithoutAReading()
    {
        QCOMPARE(buildTimingDiagram(moving(QStringLiteral("-"), QStringLiteral("-"))).position.reason,
            QStringLiteral("No machine position (offline or not read yet)"));
        QCOMPARE(buildTimingDiagram(moving(QStringLiteral("0"), QStringLiteral("---"))).position.reason,
            QStringLiteral("Position could not be read"));
        QCOMPARE(buildTimingDiagram(moving(QStringLiteral("0"), QStringLiteral("360"))).position.reason,
            QStringLiteral("Position 360 outside the scale factor 360"));
    }

    // ---- from what the window publishes ----
    void inputIsTakenFromTheWindowsState()
    {
        TimingState s;
        s.channelTexts[3] = QStringLiteral("200");
        s.channelTexts[3 + TimingState::kOffField] = QStringLiteral("20");
        s.channelTexts[5] = QStringLiteral("****");
        s.panelTexts = { QStringLiteral("RPM: 12"), QStringLiteral("Position: 45"), QStringLiteral("Offset: 3"),
            QStringLiteral("Scale: 720") };
        const TimingDiagramInput in = diagramInputOf(s);
        QCOMPARE(in.onTexts[3], QStringLiteral("200"));
        QCOMPARE(in.offTexts[3], QStringLiteral("20"));
        QCOMPARE(in.onTexts[5], QStringLiteral("****"));
        QCOMPARE(in.rpmText, QStringLiteral("12"));
        QCOMPARE(in.positionText, QStringLiteral("45"));
        QCOMPARE(in.scaleText, QStringLiteral("720"));
        const TimingDiagram d = buildTimingDiagram(in);
        QCOMPARE(d.channels.size(), 8);
        QCOMPARE(d.channels.at(3).spans, (QList<DiagramSpan> { { 100.0, 360.0 }, { 0.0, 10.0 } }));
        QCOMPARE(d.channels.at(3).label, QStringLiteral("Sensor Check Timing (CH03)"));
        QCOMPARE(d.position.degrees, 22.5);
        // The captions alone, before the first reading: nothing is known.
        TimingState fresh;
        fresh.panelTexts = { QStringLiteral("RPM:"), QStringLiteral("Position:"), QStringLiteral("Offset:"),
            QStringLiteral("Scale:") };
        const TimingDiagram none = buildTimingDiagram(diagramInputOf(fresh));
        QVERIFY(!none.scaleKnown);
        QVERIFY(!none.position.shown);
        QCOMPARE(none.channels.at(0).kind, Kind::NoValue);
    }
};

QTEST_GUILESS_MAIN(tst_TimingDiagram)
#include "tst_timingdiagram.moc"
