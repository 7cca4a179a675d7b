// The I/O states display over the simulator: the fourteen items in polling
// order, ON / off with their colours, the bit groups, captions and tool tips,
// the offline presentation, and a link that dies while it is open.

#include "LiveRig.h"
#include "windows/DisplayText.h"
#include "windows/frmDisplayIO.h"
#include "windows/frmMain.h"

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

QColor textColor(const QLabel* label)
{
    // The colour the label's text is drawn in.
    return label->palette().color(QPalette::Active, label->foregroundRole());
}

// Whether the label, as drawn, shows pixels of that colour.
bool drawnIn(QLabel* label, const QColor& color)
{
    const QImage image = label->grab().toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).rgb() == color.rgb())
                return true;
        }
    }
    return false;
}

QList<QLabel*> allLabels(frmDisplayIO* w)
{
    QList<QLabel*> labels;
    for (int i = 0; i < frmDisplayIO::kK7700Count; ++i)
        labels << w->lblk7710[i] << w->lblk7710State[i];
    for (int b = 0; b < frmDisplayIO::kBitCount; ++b) {
        labels << w->lblTmgChannel[b] << w->lblTmgChannelState[b] << w->lblSlot00[b] << w->lblSlot00State[b]
               << w->lblSlot01[b] << w->lblSlot01State[b];
    }
    return labels;
}

QList<QLabel*> stateLabels(frmDisplayIO* w)
{
    QList<QLabel*> labels;
    for (QLabel* l : w->lblk7710State)
        labels << l;
    for (int b = 0; b < frmDisplayIO::kBitCount; ++b)
        labels << w->lblTmgChannelState[b] << w->lblSlot00State[b] << w->lblSlot01State[b];
    return labels;
}

// Checks the whole offline (or fresh online) presentation.
void checkPresentation(frmDisplayIO* w, bool enabled)
{
    for (QGroupBox* frame : w->fraBMIO)
        QCOMPARE(frame->isEnabled(), enabled);
    for (QLabel* label : allLabels(w))
        QVERIFY2(label->isEnabled() == enabled, qPrintable(label->objectName()));
    for (QLabel* label : stateLabels(w))
        QVERIFY2(label->text() == QLatin1String("-"), qPrintable(label->objectName()));
    for (int b = 0; b < frmDisplayIO::kBitCount; ++b) {
        QCOMPARE(textColor(w->lblTmgChannelState[b]), QColor(0, 0, 255));
        QCOMPARE(textColor(w->lblSlot00State[b]), QColor(0, 0, 255));
        QCOMPARE(textColor(w->lblSlot01State[b]), QColor(0, 0, 255));
    }
}

void checkBits(const std::array<QLabel*, 16>& labels, quint16 word)
{
    for (int b = 0; b < 16; ++b) {
        const bool on = word & (1u << b);
        QVERIFY2(labels[b]->text() == (on ? QLatin1String("ON") : QLatin1String("off")),
            qPrintable(labels[b]->objectName() + QLatin1Char('=') + labels[b]->text()));
        QCOMPARE(textColor(labels[b]), on ? QColor(0, 0, 255) : QColor(192, 0, 0));
    }
}

} // namespace

class tst_frmDisplayIO : public QObject
{
    Q_OBJECT

private slots:
    void captionsAndToolTips_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("IN0") << "lblk7710_0"
                             << "IN0:"
                             << "Short Can Sensor";
        QTest::newRow("IN1") << "lblk7710_1"
                             << "IN1:"
                             << "";
        QTest::newRow("analog in 1") << "lblk7710_3"
                                     << "Analog Input 1:"
                                     << "";
        QTest::newRow("analog out 0") << "lblk7710_4"
                                      << "Analog Output 0:"
                                      << "";
        QTest::newRow("resolver period") << "lblk7710_8"
                                         << "Resolver Period:"
                                         << "";
        QTest::newRow("offset") << "lblk7710_10"
                                << "Offset:"
                                << "";
        QTest::newRow("CH00") << "lblTmgChannel_0"
                              << "CH00:"
                              << "BDC (High) Timing";
        QTest::newRow("CH07") << "lblTmgChannel_7"
                              << "CH07:"
                              << "PLC Timing";
        QTest::newRow("CH10") << "lblTmgChannel_8"
                              << "CH10:"
                              << "Motion (On for 30, Off for 30)";
        QTest::newRow("CH17") << "lblTmgChannel_15"
                              << "CH17:"
                              << "Spare";
        QTest::newRow("B100.0") << "lblSlot00_0"
                                << "(B100.0)    0:"
                                << "Clutch On #1";
        QTest::newRow("B100.5") << "lblSlot00_5"
                                << "(B100.5)    5:"
                                << "~Immediate Stop";
        QTest::newRow("B110.0") << "lblSlot00_8"
                                << "(B110.0)  10:"
                                << "Main Clutch Solenoid";
        QTest::newRow("B110.7") << "lblSlot00_15"
                                << "(B110.7)  17:"
                                << "PLC Timing";
        QTest::newRow("B101.0") << "lblSlot01_0"
                                << "(B101.0)    0:"
                                << "Clutch Solenoid 1A";
        QTest::newRow("B101.5") << "lblSlot01_5"
                                << "(B101.5)    5:"
                                << "End of Shift";
        QTest::newRow("B111.7") << "lblSlot01_15"
                                << "(B111.7)  17:"
                                << "Remote Display Point";
        QTest::newRow("timing bit 0") << "lblTmgChannelState_0"
                                      << "-"
                                      << "B170.0";
        QTest::newRow("timing bit 7") << "lblTmgChannelState_7"
                                      << "-"
                                      << "B170.7";
        QTest::newRow("timing bit 8") << "lblTmgChannelState_8"
                                      << "-"
                                      << "B171.0";
        QTest::newRow("timing bit 15") << "lblTmgChannelState_15"
                                       << "-"
                                       << "B171.7";
    }

    void captionsAndToolTips()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, toolTip);
        LiveRig rig;
        auto* w = rig.show<frmDisplayIO>(5);
        QVERIFY(w);
        auto* label = w->findChild<QLabel*>(name);
        QVERIFY(label);
        QCOMPARE(label->text(), caption);
        QCOMPARE(label->toolTip(), toolTip);
    }

    void groupsAndTitle()
    {
        LiveRig rig;
        auto* w = rig.show<frmDisplayIO>(5);
        QCOMPARE(w->windowTitle(), QStringLiteral("I/O Status"));
        QStringList groups;
        for (const QGroupBox* g : w->fraBMIO)
            groups << g->title();
        QCOMPARE(groups, QStringList({ "K7700", "Timing", "Slot0-0", "Slot0-1" }));
    }

    void offlineShowsDashesAndReadsNothing()
    {
        LiveRig rig;
        auto* w = rig.show<frmDisplayIO>(5);
        checkPresentation(w, false);
        w->refreshLoop().runCycle();
        w->refreshLoop().runCycle();
        checkPresentation(w, false);
        QCOMPARE(rig.port.openCount(), 0);
        QVERIFY(rig.port.exchanges().isEmpty());
    }

    void onlinePassReadsFourteenItemsInOrder()
    {
        LiveRig rig;
        auto* w = rig.show<frmDisplayIO>(5);
        rig.sim.setFlag(80, true);
        rig.sim.setFlag(81, false);
        rig.sim.setWord(162, 1234);
        rig.sim.setWord(164, 0);
        rig.sim.setByte(166, 200);
        rig.sim.setByte(167, 7);
        rig.sim.setWord(180, 359);
        rig.sim.setWord(182, 250);
        rig.sim.setWord(184, 240);
        rig.sim.setWord(186, 360);
        rig.sim.setWord(188, 65535);
        rig.sim.setWord(170, 0x8001); // bit 15 set: still shown ON
        rig.sim.setWord(100, 0x5AA5);
        rig.sim.setWord(110, 0xFFFF);
        rig.online();
        w->refreshLoop().step(); // cycle start: ONLINE presentation
        checkPresentation(w, true);
        const qsizetype mark = rig.mark();
        int steps = 0;
        while (w->refreshLoop().inPass()) {
            w->refreshLoop().step();
            ++steps;
        }
        QCOMPARE(steps, 14); // one read per step
        const int f80 = 32 + 80 / 8;
        const QList<int> bytes = QList<int>({ f80, f80 }) + wordBytes(162) + wordBytes(164)
            + QList<int>({ 166, 167 }) + wordBytes(180) + wordBytes(182) + wordBytes(184) + wordBytes(186)
            + wordBytes(188) + wordBytes(170) + wordBytes(100) + wordBytes(110);
        QCOMPARE(rig.readsSince(mark), bytes);

        QCOMPARE(w->lblk7710State[0]->text(), QStringLiteral("ON"));
        QCOMPARE(textColor(w->lblk7710State[0]), QColor(0, 0, 255));
        QCOMPARE(w->lblk7710State[1]->text(), QStringLiteral("off"));
        QCOMPARE(textColor(w->lblk7710State[1]), QColor(192, 0, 0));
        QVERIFY(drawnIn(w->lblk7710State[0], QColor(0, 0, 255)));
        QVERIFY(drawnIn(w->lblk7710State[1], QColor(192, 0, 0)));
        QVERIFY(!drawnIn(w->lblk7710State[1], QColor(0, 0, 255)));
        QStringList values;
        for (int i = 2; i < frmDisplayIO::kK7700Count; ++i)
            values << w->lblk7710State[i]->text();
        QCOMPARE(values, QStringList({ "1234", "0", "200", "7", "359", "250", "240", "360", "65535" }));
        checkBits(w->lblTmgChannelState, 0x8001);
        checkBits(w->lblSlot00State, 0x5AA5);
        checkBits(w->lblSlot01State, 0xFFFF);
        QVERIFY(rig.writesSince(0).isEmpty());

        // The next pass follows the controller.
        rig.sim.setFlag(80, false);
        rig.sim.setWord(110, 0);
        w->refreshLoop().runCycle();
        QCOMPARE(w->lblk7710State[0]->text(), QStringLiteral("off"));
        checkBits(w->lblSlot01State, 0);
    }

    void backOfflineShowsDashesAgain()
    {
        LiveRig rig;
        auto* w = rig.show<frmDisplayIO>(5);
        rig.sim.setWord(170, 0xFFFF);
        rig.online();
        w->refreshLoop().runCycle();
        checkBits(w->lblTmgChannelState, 0xFFFF);
        rig.w->mnuViewOffline->trigger();
        const qsizetype mark = rig.mark();
        w->refreshLoop().runCycle();
        checkPresentation(w, false);
        QCOMPARE(rig.mark(), mark);
    }

    void openedWhileOnlineStartsOnline()
    {
        LiveRig rig;
        rig.online();
        auto* w = rig.show<frmDisplayIO>(5);
        checkPresentation(w, true); // presented at load
        w->refreshLoop().runCycle();
        QCOMPARE(w->lblk7710State[0]->text(), QStringLiteral("off"));
    }

    void readableInADarkPalette()
    {
        const QPalette light = QApplication::palette();
        QPalette dark;
        for (const auto role : { QPalette::Window, QPalette::Button })
            dark.setColor(role, QColor(0x35, 0x35, 0x35));
        dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
        for (const auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
            dark.setColor(role, QColor(0xe8, 0xe8, 0xe8));
        QApplication::setPalette(dark);
        {
            LiveRig rig;
            rig.sim.setWord(170, 0x00FF);
            auto* display = qobject_cast<frmMain*>(rig.w->currentChild());
            QVERIFY(display);
            const auto readable = [](const QWidget* wgt, QPalette::ColorRole text) {
                const QPalette p = wgt->palette();
                const QPalette::ColorRole back
                    = qobject_cast<const QPlainTextEdit*>(wgt) ? QPalette::Base : wgt->backgroundRole();
                return contrastRatio(p.color(QPalette::Active, text), p.color(QPalette::Active, back)) >= 4.5;
            };
            // The main display's readings and alarm messages follow the palette.
            QVERIFY(readable(display->lblDisplay[0], display->lblDisplay[0]->foregroundRole()));
            QVERIFY(readable(display->txtMessageDisplay, QPalette::Text));
            auto* w = rig.show<frmDisplayIO>(5);
            rig.online();
            w->refreshLoop().runCycle();
            for (int b = 0; b < frmDisplayIO::kBitCount; ++b) {
                QLabel* state = w->lblTmgChannelState[b];
                QVERIFY2(readable(state, state->foregroundRole()), qPrintable(state->objectName()));
                // Still blue for ON and red for off, only lighter.
                const QColor c = textColor(state);
                if (b < 8)
                    QVERIFY(c.blue() > c.red() && c.blue() > c.green());
                else
                    QVERIFY(c.red() > c.blue() && c.red() > c.green());
            }
        }
        QApplication::setPalette(light);
        QCOMPARE(readableColor(frmDisplayIO::kOnColor, Qt::white), frmDisplayIO::kOnColor);
        QCOMPARE(readableColor(frmDisplayIO::kOffColor, Qt::white), frmDisplayIO::kOffColor);
    }

    void linkDiesWhileOpen()
    {
        LiveRig rig;
        auto* w = rig.show<frmDisplayIO>(5);
        rig.online();
        w->refreshLoop().runCycle();
        rig.killLink();
        w->refreshLoop().runCycle();
        QVERIFY(rig.rs().CommError);
        w->refreshLoop().runCycle();
        QVERIFY(!rig.rs().OnlineMode);
        QVERIFY(!rig.port.isOpen());
        QCOMPARE(rig.panel(2), QStringLiteral("OFFLINE"));
        checkPresentation(w, false);
        rig.tick();
        QCOMPARE(rig.panel(1), QStringLiteral("System Message:  Comm Fault with K7700"));
        rig.onlyTheLinksBox();
    }

    void loopEndsWhenUnloaded()
    {
        LiveRig rig;
        QPointer<frmDisplayIO> w = rig.show<frmDisplayIO>(5);
        QVERIFY(w->refreshLoop().isRunning());
        rig.w->ShowChildForm(0);
        QVERIFY(!w->refreshLoop().isRunning());
        flushDeletes();
        QVERIFY(!w);
    }
};

QTEST_MAIN(tst_frmDisplayIO)
#include "tst_frmdisplayio.moc"
