// The machine timing editor on the in-process simulator's PLS board, driven
// with real key and mouse events and its refresh loop stepped by hand: the
// presentations, the live status pass, the setpoint fields, the four command
// buttons and the way back to OFFLINE.

#include "../shared/PlsRig.h"
#include "LiveRig.h"
#include "shared/MachineData.h"
#include "shared/modUtility.h"
#include "windows/frmTiming.h"
#include "windows/NumericField.h"
#include "windows/TimingDiagramView.h"
#include "windows/UpDown.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QToolButton>

using namespace talvek;
using namespace talvek::test;

namespace {

using Channel = K7700Sim::PLSChannel;

struct TimingRig : PlsRig
{
    std::unique_ptr<frmTiming> w;

    TimingRig()
    {
        w = std::make_unique<frmTiming>(prompter, rs, mode);
        w->refreshLoop().setAutoStep(false);
        w->resize(1000, 560);
    }
    ~TimingRig() { w.reset(); }
    bool show()
    {
        w->show();
        w->activateWindow();
        return QTest::qWaitForWindowActive(w.get());
    }
    // Online, with the presentation and one live status pass done.
    bool showOnline()
    {
        mode.setMode(true);
        if (!show())
            return false;
        cycle();
        return w->onlinePresentationDone();
    }
    void cycle() { w->refreshLoop().runCycle(); }
    QLineEdit* txt(int i) { return w->txtChannel[size_t(i)]; }
    QString text(int i) { return txt(i)->text(); }
    QString panel(int n) { return w->panel(n)->text(); }
};

void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
}

void typeInto(QLineEdit* box, const QString& keys)
{
    QTest::mouseClick(box, Qt::LeftButton);
    if (!keys.isEmpty())
        QTest::keyClicks(box, keys);
}

const QList<int> kSetpointCommands { 24, 27, 0x38, 27, 0x38 }; // scale, clear record, set record
const QString kEqual = QStringLiteral("ON Setpoint cannot Equal OFF Setpoint");
const QString kRange = QStringLiteral("Only a Number Between 0 and 359 can be Entered");

} // namespace

class tst_frmTiming : public QObject
{
    Q_OBJECT

private slots:
    void controls();
    void onlinePresentationOneOperationPerStep();
    void typedSetpoint_data();
    void typedSetpoint();
    void markerTexts();
    void aSetpointBesideAPlaceholderIsHeld();
    void setpointFailureMessages();
    void spinnerRefusesEqualSetpoints();
    void recallChangesOnlyTheDisplay();
    void setOffset_data();
    void setOffset();
    void offlinePresentationAndEditing();
    void machineTimingFromTheWindowMenu();
    void arrowOnAPlaceholderDoesNothing();
    void keyboardPageChangeChecksTheEntry();
    void recallAllReadsThePlsAgain();
    void diagramFollowsASetpoint();
};

void tst_frmTiming::controls()
{
    TimingRig r;
    frmTiming& w = *r.w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Machine Timing"));
    QCOMPARE(w.tbsTiming->tabText(0), QStringLiteral("&Timing Channels"));
    QCOMPARE(w.tbsTiming->tabText(1), QStringLiteral("&PLS Configuration"));
    const QStringList groups { "Timing Channels", "Resolver &Offset", "P&LS Channel", "Speed Compensation",
        "PLS Configuration" };
    for (int g = 0; g < 5; ++g) {
        QCOMPARE(w.fraTmg[size_t(g)]->title(), groups[g]);
        QVERIFY(w.fraTiming[g <= 2 ? 0 : 1]->isAncestorOf(w.fraTmg[size_t(g)]));
    }
    const QStringList names { "BDC (High) Timing (CH0&0):", "BDC (Low) Timing (CH0&1):",
        "Short Can Check Timing (CH0&2):", "Sensor Check Timing (CH0&3):", "Cupfeed Timing (CH0&4):",
        "Air Strip (Low) Timing (CH0&5):", "Air Strip (High) Timing (CH0&6):", "PLC Timing (CH0&7):" };
    for (int ch = 0; ch < 8; ++ch) {
        QCOMPARE(w.lblChannel[size_t(ch)]->text(), names[ch]);
        QCOMPARE(w.lblChannel[size_t(ch)]->buddy(), static_cast<QWidget*>(r.txt(ch)));
        for (const int i : { ch, ch + 16 }) {
            QCOMPARE(r.txt(i)->objectName(), QStringLiteral("txtChannel_%1").arg(i));
            QCOMPARE(w.updChannel[size_t(i)]->Min(), 0);
            QCOMPARE(w.updChannel[size_t(i)]->Max(), 359);
            QCOMPARE(w.channelField(i).entry().options().title, QStringLiteral("Set-up"));
        }
        QVERIFY(!w.txtChannel[size_t(ch + 8)]);
        // The grid runs ON, OFF, next channel.
        QCOMPARE(w.updChannel[size_t(ch)]->nextInFocusChain(), static_cast<QWidget*>(r.txt(ch + 16)));
    }
    QCOMPARE(w.lblChannel[8]->text(), QStringLiteral("ON"));
    QCOMPARE(w.lblChannel[9]->text(), QStringLiteral("OFF"));
    QCOMPARE(w.updTmg[0]->Max(), 359);
    QCOMPARE(w.updTmg[1]->Max(), 7);
    QCOMPARE(w.tmgField(0).entry().options().title, QStringLiteral("Resolver Offset"));
    QCOMPARE(w.cmdRecallChan->text(), QStringLiteral("&Recall Channel"));
    QCOMPARE(w.cmdClearChan->text(), QStringLiteral("&Clear Channel"));
    QCOMPARE(w.cmdSetOffset->text(), QStringLiteral("&Set Offset"));
    QCOMPARE(w.cmdResetPLSConfig->text(), QStringLiteral("&Reset PLS Config"));
    QCOMPARE(w.lblCfgDescription[0]->text(), QStringLiteral("Number of PLS Channels:"));
    QCOMPARE(w.lblCfgDescription[1]->text(), QStringLiteral("PLS Program:"));
    QCOMPARE(w.lblCfgDescription[9]->text(), QStringLiteral("CH07 (msec):"));
    QVERIFY(w.fraTmg[3]->isAncestorOf(w.lblPLSCfg[2]));
    const QStringList tips { "Resolver RPM:", "Machine Position", "Resolver Offset", "PLS Scale Factor" };
    for (int n = 1; n <= 4; ++n)
        QCOMPARE(w.panel(n)->toolTip(), tips[n - 1]);

    // Activation shows the first tab; a tab click shows the other container.
    OfflineEditing = true;
    QVERIFY(r.show());
    QVERIFY(w.fraTiming[0]->isVisible());
    QVERIFY(!w.fraTiming[1]->isVisible());
    QTest::keyClick(&w, Qt::Key_3, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.txt(3)));
    QTest::mouseClick(w.tbsTiming, Qt::LeftButton, {}, w.tbsTiming->tabRect(1).center());
    QVERIFY(!w.fraTiming[0]->isVisible());
    QVERIFY(w.fraTiming[1]->isVisible());
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_frmTiming::onlinePresentationOneOperationPerStep()
{
    TimingRig r;
    std::array<quint8, 19> table {};
    for (int i = 0; i < 19; ++i)
        table[size_t(i)] = quint8(10 + i);
    r.sim.setPLSConfigTable(table);
    r.sim.setPLSChannel(0, TimingRig::setpoints(100, 120)); // not what CurrentData holds
    r.mode.setMode(true);
    const qsizetype opened = r.mark(); // the attention byte of the open
    QVERIFY(r.show()); // activation applies the online presentation at once
    frmTiming& w = *r.w;
    RefreshLoop& loop = w.refreshLoop();
    QCOMPARE(r.mark(), opened);
    for (const int i : { 0, 7, 16, 23 }) {
        QCOMPARE(r.text(i), QStringLiteral("-"));
        QVERIFY(r.txt(i)->isEnabled());
    }
    QVERIFY(!w.cmdRecallChan->isEnabled()); // until the grid is read
    // The focus is in the first field (not on the focus sink), not entered.
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.txt(0)));

    qsizetype m = r.mark();
    loop.step(); // cycle start: no operation
    loop.step(); // the configuration
    QCOMPARE(r.commandsSince(m), QList<int>({ 12 }));
    for (int i = 0; i < 10; ++i)
        QCOMPARE(w.lblPLSCfg[size_t(i)]->text(), QString::number(10 + i));
    // Two recalls per channel, one a step; an empty channel needs one.
    QList<int> perStep;
    for (int s = 0; s < 15; ++s) {
        m = r.mark();
        loop.step();
        perStep.append(int(r.commandsSince(m).size()));
    }
    QCOMPARE(perStep, QList<int>(15, 1));
    QCOMPARE(r.text(0), QStringLiteral("100"));
    QCOMPARE(r.text(16), QStringLiteral("120"));
    QCOMPARE(r.text(2), QStringLiteral("****"));
    QCOMPARE(r.text(18), QStringLiteral("****"));
    QCOMPARE(r.text(7), QStringLiteral("0"));
    QCOMPARE(r.text(23), QStringLiteral("20"));
    QVERIFY(w.onlinePresentationDone());
    QVERIFY(w.cmdRecallChan->isEnabled());
    QVERIFY(w.cmdClearChan->isEnabled());
    QVERIFY(w.cmdResetPLSConfig->isEnabled());
    QVERIFY(!w.fraTmg[1]->isEnabled());
    QVERIFY(!w.cmdSetOffset->isEnabled());
    m = r.mark();
    loop.step(); // the live status pass begins
    QCOMPARE(r.commandsSince(m), QList<int>({ 88 }));
    // What the PLS holds is shown; the working data keeps its own.
    QCOMPARE(int(CurrentData.OnSetpoint[0]), 150);
    QCOMPARE(int(CurrentData.OnSetpoint[2]), 155);
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_frmTiming::typedSetpoint_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("keys"); // empty: leave the field as it is
    QTest::addColumn<QString>("message"); // empty: accepted
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("programmed");

    // Channel 0 holds ON 150, OFF 170; channel 3 ON 110, OFF 130.
    QTest::newRow("new OFF") << 16 << "200" << QString() << "200" << true;
    QTest::newRow("new ON") << 0 << "100" << QString() << "100" << true;
    QTest::newRow("12.6 becomes 13") << 3 << "12.6" << QString() << "13" << true;
    QTest::newRow("Max") << 19 << "359" << QString() << "359" << true;
    QTest::newRow("untouched") << 0 << QString() << QString() << "150" << false;
    QTest::newRow("same value typed again") << 16 << "170.2" << QString() << "170" << false;
    QTest::newRow("OFF equal to ON") << 16 << "150" << kEqual << "170" << false;
    QTest::newRow("ON equal to OFF") << 0 << "170" << kEqual << "150" << false;
    QTest::newRow("equal once rounded") << 19 << "109.6" << kEqual << "130" << false;
    QTest::newRow("Max+1") << 0 << "360" << kRange << "150" << false;
    QTest::newRow("Min-1") << 16 << "-1" << kRange << "170" << false;
    QTest::newRow("a word") << 3 << "abc" << kRange << "110" << false;
    QTest::newRow("empty") << 3 << "\b" << kRange << "110" << false;
}

void tst_frmTiming::typedSetpoint()
{
    QFETCH(int, field);
    QFETCH(QString, keys);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QFETCH(bool, programmed);

    TimingRig r;
    QVERIFY(r.showOnline());
    const int ch = field % 16;
    const MachineData before = CurrentData;
    const Channel plsBefore = r.sim.plsChannel(ch);
    const qsizetype m = r.mark();
    typeInto(r.txt(field), keys);
    QTest::keyClick(r.txt(field), Qt::Key_Tab);
    settle();

    QCOMPARE(r.text(field), shown);
    if (message.isEmpty()) {
        QVERIFY(r.prompter.calls().isEmpty());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.w->updChannel[size_t(field)]));
    } else {
        QCOMPARE(r.prompter.messages().size(), 1);
        const PromptCall call = r.prompter.messages().at(0);
        QCOMPARE(call.text, message);
        QCOMPARE(call.title, QStringLiteral("Set-up"));
        QCOMPARE(call.icon, MsgIcon::Information);
        QCOMPARE(call.buttons, MsgButtons::OK);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.txt(field)));
        QCOMPARE(r.txt(field)->selectedText(), shown);
    }
    if (programmed) {
        const int value = shown.toInt();
        QCOMPARE(int(field < 16 ? CurrentData.OnSetpoint[ch] : CurrentData.OffSetpoint[ch]), value);
        QCOMPARE(r.commandsSince(m), kSetpointCommands);
        const int on = field < 16 ? value : plsBefore.on;
        const int off = field < 16 ? plsBefore.off : value;
        QCOMPARE(r.sim.plsChannel(ch), TimingRig::setpoints(on, off));
    } else {
        QCOMPARE(CurrentData, before);
        QCOMPARE(r.mark(), m);
    }
}

void tst_frmTiming::markerTexts()
{
    TimingRig r;
    r.mode.setMode(true);
    QVERIFY(r.show());
    // "-" before the grid is read: a field left untouched is no entry.
    qsizetype m = r.mark();
    typeInto(r.txt(1), QString());
    QTest::keyClick(r.txt(1), Qt::Key_Tab);
    settle();
    QVERIFY(r.prompter.calls().isEmpty());
    QCOMPARE(r.text(1), QStringLiteral("-"));
    QCOMPARE(r.mark(), m);
    r.cycle();

    // "****" (channel 2 is empty) is tabbed through without any check.
    QCOMPARE(r.text(2), QStringLiteral("****"));
    m = r.mark();
    typeInto(r.txt(2), QString());
    QTest::keyClick(r.txt(2), Qt::Key_Tab);
    QTest::keyClick(r.w->updChannel[2], Qt::Key_Tab);
    QTest::keyClick(r.txt(18), Qt::Key_Tab);
    settle();
    QCOMPARE(r.text(2), QStringLiteral("****"));
    QVERIFY(r.prompter.calls().isEmpty());
    QCOMPARE(r.mark(), m);

    // A placeholder erased and left empty is an entry, and refused.
    typeInto(r.txt(2), QStringLiteral("\b"));
    QTest::keyClick(r.txt(2), Qt::Key_Tab);
    settle();
    QCOMPARE(r.prompter.messages().size(), 1);
    QCOMPARE(r.prompter.messages().at(0).text, kRange);
    QCOMPARE(r.text(2), QStringLiteral("****")); // the placeholder back, never a 0 made of it
    QCOMPARE(r.mark(), m);
}

// A setpoint is sent only as a pair of two values: one typed beside a
// placeholder ("****" empty, "-" not read, "---" failed) is held, unsent and
// marked, and the operator told what is missing, until the other one comes.
void tst_frmTiming::aSetpointBesideAPlaceholderIsHeld()
{
    TimingRig r;
    r.sim.setPLSChannel(7, {});
    QVERIFY(r.showOnline());
    QCOMPARE(r.text(23), QStringLiteral("****"));
    const MachineData before = CurrentData;
    qsizetype m = r.mark();
    typeInto(r.txt(7), QStringLiteral("300"));
    QTest::keyClick(r.txt(7), Qt::Key_Return);
    settle();
    QCOMPARE(r.mark(), m);
    QCOMPARE(r.sim.plsChannel(7).kind, Channel::Kind::Empty);
    QCOMPARE(CurrentData, before);
    QCOMPARE(r.text(7), QStringLiteral("300"));
    QCOMPARE(r.text(23), QStringLiteral("****"));
    QVERIFY(r.txt(7)->property("pending").toBool());
    QCOMPARE(r.prompter.messages().size(), 1);
    const PromptCall told = r.prompter.messages().at(0);
    QCOMPARE(told.text,
        QStringLiteral("Channel CH07 has no OFF Setpoint.\r\n\r\nThe ON Setpoint 300 is held here, not stored or sent, "
                       "until the OFF Setpoint is entered."));
    QCOMPARE(told.title, QStringLiteral("Channel Setpoint"));
    QCOMPARE(told.icon, MsgIcon::Information);

    // The OFF setpoint completes the pair: the two go together, once.
    r.prompter.clear();
    m = r.mark();
    typeInto(r.txt(23), QStringLiteral("320"));
    QTest::keyClick(r.txt(23), Qt::Key_Tab);
    settle();
    QCOMPARE(r.commandsSince(m), kSetpointCommands);
    QCOMPARE(r.sim.plsChannel(7), TimingRig::setpoints(300, 320));
    QCOMPARE(int(CurrentData.OnSetpoint[7]), 300);
    QCOMPARE(int(CurrentData.OffSetpoint[7]), 320);
    QVERIFY(!r.txt(7)->property("pending").toBool());
    QVERIFY(!r.txt(23)->property("pending").toBool());
    QVERIFY(r.prompter.calls().isEmpty());

    // "-" before the grid is read, and "---" after a recall that failed.
    TimingRig early;
    early.mode.setMode(true);
    QVERIFY(early.show());
    const Channel held = early.sim.plsChannel(1);
    m = early.mark();
    typeInto(early.txt(17), QStringLiteral("210"));
    QTest::keyClick(early.txt(17), Qt::Key_Tab);
    settle();
    QCOMPARE(early.mark(), m);
    QCOMPARE(early.sim.plsChannel(1), held);
    QCOMPARE(early.prompter.messages().size(), 1);
    QVERIFY(early.prompter.messages().at(0).text.startsWith(QStringLiteral("Channel CH01 has no ON Setpoint.")));
    early.prompter.clear();
    early.cycle(); // the grid is read: the PLS's pair replaces the held value
    QCOMPARE(early.text(17), QStringLiteral("200"));
    QVERIFY(!early.txt(17)->property("pending").toBool());
    early.w->txtTmg[1]->setText(QStringLiteral("5"));
    early.sim.rejectNextPLSWrite();
    early.prompter.answerMsg(MsgResult::Yes);
    early.prompter.answerMsg(MsgResult::Cancel);
    QTest::mouseClick(early.w->cmdClearChan, Qt::LeftButton);
    QCOMPARE(early.text(21), QStringLiteral("---"));
    early.prompter.clear();
    m = early.mark();
    typeInto(early.txt(5), QStringLiteral("100"));
    QTest::keyClick(early.txt(5), Qt::Key_Tab);
    settle();
    QCOMPARE(early.mark(), m);
    QCOMPARE(early.prompter.messages().size(), 1);
}

void tst_frmTiming::setpointFailureMessages()
{
    TimingRig r;
    // The working data hold other setpoints than the PLS (a file opened
    // before going ONLINE): a refused edit leaves them as they were.
    CurrentData.OnSetpoint[0] = 50;
    CurrentData.OffSetpoint[0] = 55;
    CurrentData.OnSetpoint[1] = 60;
    CurrentData.OffSetpoint[1] = 65;
    CurrentData.OffSetpoint[3] = 99;
    QVERIFY(r.showOnline());
    const MachineData before = CurrentData;
    // The PLS takes the channel's clear, then refuses its record: typed and
    // clicked report it differently, and each time the grid shows what the
    // PLS holds (the cleared channel) while the working data keeps its value.
    r.sim.rejectNextPLSWrite(1);
    typeInto(r.txt(17), QStringLiteral("210"));
    QTest::keyClick(r.txt(17), Qt::Key_Tab);
    settle();
    QCOMPARE(r.sim.plsChannel(1).kind, Channel::Kind::Empty);
    QCOMPARE(r.text(1), QStringLiteral("****"));
    QCOMPARE(r.text(17), QStringLiteral("****"));
    r.sim.rejectNextPLSWrite(1);
    QTest::mouseClick(r.w->updChannel[19]->upButton(), Qt::LeftButton);
    QCOMPARE(r.text(3), QStringLiteral("****"));
    QCOMPARE(r.text(19), QStringLiteral("****"));
    // A setpoint beyond the scale factor: the link's warning, then ours; the
    // PLS was not touched and the grid shows its setpoints again.
    r.sim.setPLSScaleFactor(200);
    typeInto(r.txt(16), QStringLiteral("300"));
    QTest::keyClick(r.txt(16), Qt::Key_Tab);
    settle();
    QCOMPARE(r.text(16), QStringLiteral("170"));
    QCOMPARE(r.text(0), QStringLiteral("150"));

    const auto boxes = r.prompter.messages();
    QCOMPARE(boxes.size(), 4);
    QCOMPARE(boxes[0].text, QStringLiteral("Unable to Successfully Program Setpoint for Channel CH01."));
    QCOMPARE(boxes[1].text, QStringLiteral("Unable to Successfully Program Setpoint for Channel CH3."));
    QCOMPARE(boxes[2].title, QStringLiteral("PLS Single Setpoint"));
    QCOMPARE(boxes[3].text, QStringLiteral("Unable to Successfully Program Setpoint for Channel CH00."));
    for (const int b : { 0, 1, 3 }) {
        QCOMPARE(boxes[b].title, QStringLiteral("Channel Setpoint"));
        QCOMPARE(boxes[b].icon, MsgIcon::Critical);
        QCOMPARE(boxes[b].buttons, MsgButtons::OK);
    }
    // Nothing the PLS refused was kept.
    QCOMPARE(CurrentData, before);
    QVERIFY(!r.rs.CommError);
}

void tst_frmTiming::spinnerRefusesEqualSetpoints()
{
    TimingRig r;
    r.sim.setPLSChannel(0, TimingRig::setpoints(150, 151));
    QVERIFY(r.showOnline());
    // Typing in another field is validated and programmed first; the click
    // that would make OFF equal ON is then refused as a typed one is.
    typeInto(r.txt(3), QStringLiteral("115"));
    const qsizetype m = r.mark();
    const qint16 offBefore = CurrentData.OffSetpoint[0];
    QTest::mouseClick(r.w->updChannel[16]->downButton(), Qt::LeftButton);
    settle();
    QCOMPARE(int(CurrentData.OnSetpoint[3]), 115);
    QCOMPARE(r.commandsSince(m), kSetpointCommands);
    QCOMPARE(r.text(16), QStringLiteral("151"));
    QCOMPARE(CurrentData.OffSetpoint[0], offBefore);
    QCOMPARE(r.sim.plsChannel(0), TimingRig::setpoints(150, 151));
    QCOMPARE(r.prompter.messages().size(), 1);
    const PromptCall box = r.prompter.messages().at(0);
    QCOMPARE(box.text, kEqual);
    QCOMPARE(box.title, QStringLiteral("Set-up"));
    QCOMPARE(box.icon, MsgIcon::Information);
    QCOMPARE(box.buttons, MsgButtons::OK);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.w->cmdDefault));

    // The next click steps on from the value kept and is programmed.
    r.prompter.clear();
    const qsizetype m2 = r.mark();
    QTest::mouseClick(r.w->updChannel[16]->upButton(), Qt::LeftButton);
    QCOMPARE(r.text(16), QStringLiteral("152"));
    QCOMPARE(int(CurrentData.OffSetpoint[0]), 152);
    QCOMPARE(r.commandsSince(m2), kSetpointCommands);
    QCOMPARE(r.sim.plsChannel(0), TimingRig::setpoints(150, 152));
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_frmTiming::recallChangesOnlyTheDisplay()
{
    TimingRig r;
    QVERIFY(r.showOnline());
    r.sim.setPLSChannel(5, TimingRig::setpoints(10, 20));
    typeInto(r.w->txtTmg[1], QStringLiteral("5"));
    QTest::mouseClick(r.w->cmdRecallChan, Qt::LeftButton);
    QCOMPARE(r.text(5), QStringLiteral("10"));
    QCOMPARE(r.text(21), QStringLiteral("20"));
    QCOMPARE(int(r.w->lastRecallState()), 0);
    QCOMPARE(int(r.w->lastRecallPos()), 20);
    QCOMPARE(int(CurrentData.OnSetpoint[5]), 150);
    QCOMPARE(int(CurrentData.OffSetpoint[5]), 200);
    QVERIFY(!HasUnsavedChanges());
    // A refused channel number keeps the focus: the click does not happen.
    const qsizetype m = r.mark();
    typeInto(r.w->txtTmg[1], QStringLiteral("9"));
    QTest::mouseClick(r.w->cmdRecallChan, Qt::LeftButton);
    settle();
    QCOMPARE(r.mark(), m);
    QCOMPARE(r.prompter.messages().size(), 1);
    QCOMPARE(
        r.prompter.messages().at(0).text, QStringLiteral("Only a Number Between 0 and 7 can be Entered"));
    QCOMPARE(r.prompter.messages().at(0).title, QStringLiteral("Resolver Offset"));
    QCOMPARE(r.w->txtTmg[1]->text(), QStringLiteral("5"));
}

void tst_frmTiming::setOffset_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("field"); // afterwards
    QTest::addColumn<int>("plsOffset");
    QTest::addColumn<int>("stored"); // PlsOffset of CurrentData

    // The resolver stands at 100 with offset 10: position 90 reads as 5 once
    // the new offset 95 is written. The working data keeps the offset the
    // PLS reports, not the position typed.
    QTest::newRow("yes") << int(MsgResult::Yes) << false << "5" << 95 << 95;
    QTest::newRow("no") << int(MsgResult::No) << false << "0" << 10 << 0;
    QTest::newRow("cancel") << int(MsgResult::Cancel) << false << "0" << 10 << 0;
    QTest::newRow("refused by the PLS") << int(MsgResult::Yes) << true << "0" << 10 << 0;
}

void tst_frmTiming::setOffset()
{
    QFETCH(int, answer);
    QFETCH(bool, refused);
    QFETCH(QString, field);
    QFETCH(int, plsOffset);
    QFETCH(int, stored);

    TimingRig r;
    r.sim.setWord(K7700Sim::PositionWord, 100);
    r.sim.setPLSOffset(10);
    QVERIFY(r.showOnline());
    QVERIFY(r.w->cmdSetOffset->isEnabled()); // standing
    if (refused)
        r.sim.rejectNextPLSWrite();
    r.prompter.answerMsg(MsgResult(answer));
    // Enter in the offset field leads to Set Offset; Enter there clicks it.
    typeInto(r.w->txtTmg[0], QStringLiteral("5.4"));
    QTest::keyClick(r.w->txtTmg[0], Qt::Key_Return);
    settle();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.w->cmdSetOffset));
    const qsizetype m = r.mark();
    QTest::keyClick(r.w->cmdSetOffset, Qt::Key_Return);

    QCOMPARE(r.w->txtTmg[0]->text(), field);
    QCOMPARE(int(r.sim.plsOffset()), plsOffset);
    QCOMPARE(int(CurrentData.PlsOffset), stored);
    const auto boxes = r.prompter.messages();
    QCOMPARE(boxes.at(0).text,
        QStringLiteral("You are about to Change the Resolver Offset.\r\n\r\nDo you wish to continue?"));
    QCOMPARE(boxes.at(0).title, QStringLiteral("Set Offset"));
    QCOMPARE(boxes.at(0).buttons, MsgButtons::YesNoCancel);
    QCOMPARE(boxes.at(0).defaultButton, MsgDefault::Button2);
    if (answer != int(MsgResult::Yes))
        QCOMPARE(r.mark(), m); // the PLS is not contacted
    if (refused) {
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.at(1).text, QStringLiteral("Unable to Successfully Set the Resolver Offset"));
        QCOMPARE(boxes.at(1).title, QStringLiteral("Resolver Offset"));
        QCOMPARE(boxes.at(1).icon, MsgIcon::Critical);
    } else {
        QCOMPARE(boxes.size(), 1);
    }
}

void tst_frmTiming::offlinePresentationAndEditing()
{
    TimingRig r;
    CurrentData.OnSetpoint[1] = 33;
    CurrentData.PlsOffset = 7;
    CurrentData.PlsProgram = 4;
    QVERIFY(r.show());
    r.cycle();
    frmTiming& w = *r.w;
    QCOMPARE(r.text(1), QStringLiteral("33"));
    QCOMPARE(r.text(17), QStringLiteral("200"));
    QCOMPARE(w.lblPLSCfg[0]->text(), QStringLiteral("16"));
    QCOMPARE(w.lblPLSCfg[1]->text(), QStringLiteral("4"));
    const QStringList panels { "RPM: -", "Position: -", "Offset: 7", "Scale: 360" };
    for (int n = 1; n <= 4; ++n)
        QCOMPARE(r.panel(n), panels[n - 1]);
    QVERIFY(!w.sbrMachineTiming->isEnabled());
    auto editable = [&w] {
        return w.txtChannel[1]->isEnabled() && w.updChannel[17]->isEnabled() && w.lblChannel[9]->isEnabled()
            && w.cmdClearChan->isEnabled() && w.txtTmg[1]->isEnabled();
    };
    QVERIFY(!editable());
    for (QWidget* off : std::initializer_list<QWidget*> {
             w.cmdRecallChan, w.cmdSetOffset, w.txtTmg[0], w.cmdResetPLSConfig, w.lblPLSCfg[0], w.fraTmg[3] })
        QVERIFY(!off->isEnabled());

    // Offline editing is picked up within two cycles, both ways.
    OfflineEditing = true;
    r.cycle();
    r.cycle();
    QVERIFY(editable());
    QVERIFY(!w.cmdRecallChan->isEnabled());
    typeInto(r.txt(1), QStringLiteral("44"));
    QTest::keyClick(r.txt(1), Qt::Key_Tab);
    settle();
    QCOMPARE(int(CurrentData.OnSetpoint[1]), 44);
    QVERIFY(HasUnsavedChanges());
    QTest::mouseClick(w.updChannel[17]->upButton(), Qt::LeftButton);
    QCOMPARE(int(CurrentData.OffSetpoint[1]), 201);
    QCOMPARE(r.mark(), 0);

    // New data is shown again (and the flag taken down).
    CurrentData = DefaultData;
    DataReloaded = true;
    r.cycle();
    QVERIFY(!DataReloaded);
    QCOMPARE(r.text(1), QStringLiteral("180"));

    OfflineEditing = false;
    r.cycle();
    r.cycle();
    QVERIFY(!w.txtChannel[1]->isEnabled());
    QVERIFY(!w.cmdClearChan->isEnabled());
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_frmTiming::machineTimingFromTheWindowMenu()
{
    LiveRig rig;
    rig.w->mnuWindowForm[3]->trigger();
    flushDeletes();
    auto* timing = qobject_cast<frmTiming*>(rig.w->currentChild());
    QVERIFY(timing);
    timing->refreshLoop().setAutoStep(false);
    rig.sim.setPLSChannel(6, TimingRig::setpoints(12, 34));
    rig.online();
    timing->refreshLoop().runCycle();
    QVERIFY(timing->onlinePresentationDone());
    QCOMPARE(timing->txtChannel[6]->text(), QStringLiteral("12"));
    QCOMPARE(timing->txtChannel[22]->text(), QStringLiteral("34"));
    QCOMPARE(timing->panel(4)->text(), QStringLiteral("Scale: 360"));
    // Switching away ends its loop.
    rig.w->ShowChildForm(0);
    QVERIFY(!timing->refreshLoop().isRunning());
    QCOMPARE(rig.script().unexpected(), 0);
}

// An arrow click steps a field only from a value: on "-" (not read yet) or
// "****" (empty) it does nothing, so 0 + 1 never reaches the PLS.
void tst_frmTiming::arrowOnAPlaceholderDoesNothing()
{
    TimingRig r;
    r.sim.setPLSChannel(7, TimingRig::setpoints(40, 60));
    r.mode.setMode(true);
    QVERIFY(r.show()); // presented: every field shows "-" until the grid is read
    QCOMPARE(r.text(7), QStringLiteral("-"));
    const Channel before = r.sim.plsChannel(7);
    qsizetype m = r.mark();
    QTest::mouseClick(r.w->updChannel[7]->upButton(), Qt::LeftButton);
    QTest::mouseClick(r.w->updChannel[23]->downButton(), Qt::LeftButton);
    QVERIFY(r.commandsSince(m).isEmpty());
    QCOMPARE(r.text(7), QStringLiteral("-"));
    QCOMPARE(r.sim.plsChannel(7), before);
    r.cycle();
    QCOMPARE(r.text(2), QStringLiteral("****"));
    m = r.mark();
    QTest::mouseClick(r.w->updChannel[2]->upButton(), Qt::LeftButton);
    QVERIFY(r.commandsSince(m).isEmpty());
    QCOMPARE(r.text(2), QStringLiteral("****"));
    // From a value it steps and programs the channel.
    QCOMPARE(r.text(7), QStringLiteral("40"));
    QTest::mouseClick(r.w->updChannel[7]->upButton(), Qt::LeftButton);
    QCOMPARE(r.sim.plsChannel(7), TimingRig::setpoints(41, 60));
    QVERIFY(r.prompter.calls().isEmpty());
}

// Machine Timing inside the main window: a page changed by its access key
// checks and sends the entry being typed, or refuses it and keeps the page.
void tst_frmTiming::keyboardPageChangeChecksTheEntry()
{
    LiveRig rig;
    rig.showActive();
    rig.w->mnuWindowForm[3]->trigger();
    flushDeletes();
    auto* timing = qobject_cast<frmTiming*>(rig.w->currentChild());
    QVERIFY(timing);
    timing->refreshLoop().setAutoStep(false);
    rig.sim.setPLSChannel(1, TimingRig::setpoints(180, 200));
    rig.sim.setPLSChannel(5, TimingRig::setpoints(150, 200));
    rig.online();
    timing->refreshLoop().runCycle();
    QCOMPARE(timing->txtChannel[5]->text(), QStringLiteral("150"));
    auto key = [](Qt::Key k, Qt::KeyboardModifiers m = Qt::AltModifier) {
        QTest::keyClick(QApplication::focusWidget(), k, m);
    };

    typeInto(timing->txtChannel[1], QStringLiteral("400"));
    key(Qt::Key_P);
    QCOMPARE(rig.script().messages().size(), 1);
    QCOMPARE(rig.script().messages().at(0).text, kRange);
    QCOMPARE(timing->tbsTiming->currentIndex(), 0);
    QCOMPARE(timing->txtChannel[1]->text(), QStringLiteral("180"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(timing->txtChannel[1]));

    typeInto(timing->txtChannel[5], QStringLiteral("155"));
    key(Qt::Key_P);
    QCOMPARE(timing->tbsTiming->currentIndex(), 1);
    QCOMPARE(rig.sim.plsChannel(5), TimingRig::setpoints(155, 200));
    QCOMPARE(CurrentData.OnSetpoint[5], qint16(155));
    key(Qt::Key_T);
    QCOMPARE(timing->tbsTiming->currentIndex(), 0);
    QCOMPARE(timing->txtChannel[5]->text(), QStringLiteral("155"));
    QCOMPARE(rig.script().unexpected(), 0);
}

// F5 (and the button) reads the configuration and every channel again over
// the loop's next steps; the working data keeps what it held.
void tst_frmTiming::recallAllReadsThePlsAgain()
{
    LiveRig rig;
    rig.showActive();
    rig.w->mnuWindowForm[3]->trigger();
    flushDeletes();
    auto* timing = qobject_cast<frmTiming*>(rig.w->currentChild());
    QVERIFY(timing);
    timing->refreshLoop().setAutoStep(false);
    rig.online();
    timing->refreshLoop().runCycle();
    QVERIFY(timing->cmdRecallAll->isEnabled());
    QCOMPARE(timing->cmdRecallAll->text(), QStringLiteral("Recall &All Channels"));
    rig.sim.setPLSChannel(3, TimingRig::setpoints(11, 22)); // changed at the press's own panel
    rig.sim.setPLSConfigTable({ 8, 4 });
    const std::array<qint16, 16> kept = CurrentData.OnSetpoint;
    timing->refreshLoop().runCycle();
    QCOMPARE(timing->txtChannel[3]->text(), QStringLiteral("****")); // read only once so far
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
    timing->refreshLoop().runCycle();
    QCOMPARE(timing->txtChannel[3]->text(), QStringLiteral("11"));
    QCOMPARE(timing->txtChannel[19]->text(), QStringLiteral("22"));
    QCOMPARE(timing->lblPLSCfg[1]->text(), QStringLiteral("4"));
    QCOMPARE(CurrentData.OnSetpoint, kept);
    rig.sim.setPLSChannel(3, TimingRig::setpoints(12, 22));
    QTest::mouseClick(timing->cmdRecallAll, Qt::LeftButton);
    timing->refreshLoop().runCycle();
    QCOMPARE(timing->txtChannel[3]->text(), QStringLiteral("12"));
    QCOMPARE(rig.script().unexpected(), 0);
}


// The diagram page draws channel 2's bar from what the grid holds, and
// draws it again when a setpoint is typed; a click on the bar leads to the
// channel's ON field.
void tst_frmTiming::diagramFollowsASetpoint()
{
    TimingRig r;
    CurrentData.PlsScaleFactor = 360;
    CurrentData.OnSetpoint[2] = 30;
    CurrentData.OffSetpoint[2] = 60;
    OfflineEditing = true;
    frmTiming& w = *r.w;
    QVERIFY(r.show());
    r.cycle();
    QCOMPARE(w.tbsTiming->count(), 3);
    QCOMPARE(w.tbsTiming->tabText(2), QStringLiteral("Timing &Diagram"));
    TimingDiagramView* view = w.diagramView();
    const QColor bar = view->palette().color(QPalette::Highlight);
    const auto colourAt = [view](int ch, double degrees) {
        const QImage image = view->grab().toImage();
        return image.pixelColor(int(view->xOf(degrees)), view->rowRect(ch).center().y());
    };

    w.tbsTiming->setCurrentIndex(2);
    QVERIFY(w.diagramPage()->isVisible());
    QVERIFY(!w.fraTiming[0]->isVisible());
    QCOMPARE(colourAt(2, 45), bar);
    QVERIFY(colourAt(2, 150) != bar);
    QVERIFY(colourAt(2, 230) != bar);
    QVERIFY(colourAt(3, 45) != bar); // the row below keeps its own

    w.tbsTiming->setCurrentIndex(0);
    typeInto(r.txt(2 + frmTiming::kOffField), QStringLiteral("200"));
    QTest::keyClick(r.txt(2 + frmTiming::kOffField), Qt::Key_Tab);
    settle();
    QCOMPARE(int(CurrentData.OffSetpoint[2]), 200);
    w.tbsTiming->setCurrentIndex(2);
    QCOMPARE(colourAt(2, 45), bar);
    QCOMPARE(colourAt(2, 150), bar);
    QVERIFY(colourAt(2, 230) != bar);
    QCOMPARE(view->toolTipOf(2), QStringLiteral("Short Can Check Timing (CH02)\nON: 30 (30.0°)\nOFF: 200 (200.0°)\nLength: 170.0°"));

    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(int(view->xOf(100)), view->rowRect(2).center().y()));
    QCOMPARE(w.tbsTiming->currentIndex(), 0);
    QVERIFY(w.fraTiming[0]->isVisible());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.txt(2)));
    OfflineEditing = false;
}

QTEST_MAIN(tst_frmTiming)
#include "tst_frmtiming.moc"
