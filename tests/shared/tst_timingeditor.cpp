// The machine timing editor without its window, on the in-process
// simulator's PLS board with its refresh loop stepped by hand: what goes on
// the wire, the state it publishes, what it keeps in CurrentData, and a link
// that dies under it.

#include "../shared/PlsRig.h"
#include "shared/MachineData.h"
#include "shared/modUtility.h"
#include "shared/TimingEditor.h"

#include <QSignalSpy>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

using Channel = K7700Sim::PLSChannel;

const QString kNoComm = QStringLiteral("Cannot Communicate with Target Board.\rVerify RS-232 Cable is "
                                       "Connected Between\rCOMM Port and PROG Port.");

struct EditorRig : PlsRig
{
    TimingEditor editor { prompter, rs };
    RefreshLoop loop { editor, rs, mode };
    QSignalSpy published { &editor, &TimingEditor::stateChanged };

    EditorRig()
    {
        editor.setRefreshLoop(loop);
        loop.setAutoStep(false);
    }
    const TimingState& state() const { return editor.state(); }
    // The loop starts; its first cycle presents the mode and runs a pass.
    void start()
    {
        loop.start();
        cycle();
    }
    // Online, with the presentation and one live status pass done.
    bool startOnline()
    {
        mode.setMode(true);
        start();
        return state().onlinePresentationDone;
    }
    void cycle() { loop.runCycle(); }
    QString text(int i) const { return state().channelTexts[size_t(i)]; }
    QString panel(int n) const { return state().panelTexts[size_t(n - 1)]; }
    // The state the window was given last.
    TimingState lastPublished() const { return published.last().at(0).value<TimingState>(); }
};

} // namespace

class tst_TimingEditor : public QObject
{
    Q_OBJECT

private slots:
    // ---- the wire ----
    void liveStatusPass_data();
    void liveStatusPass();
    void failedStatusReadIsNoReading();
    void resetPLSConfig();
    void runningPressIsAskedAgain();
    // ---- the state published ----
    void offsetFollowsTheResolverStanding();
    void recallShowsWhatTheBoardHolds();
    void setpointEntries();
    // ---- CurrentData ----
    void timingDownloadRecallsTheGrid();
    void clearChannel_data();
    void clearChannel();
    // ---- the dying link ----
    void commErrorTakesTheEditorOffline();
};

// ---- the wire ----

void tst_TimingEditor::liveStatusPass_data()
{
    QTest::addColumn<int>("rpm");
    QTest::addColumn<QString>("position");
    QTest::newRow("standing") << 0 << QStringLiteral("Position: 113");
    QTest::newRow("50 shows the position") << 50 << QStringLiteral("Position: 113");
    QTest::newRow("51 hides it") << 51 << QStringLiteral("Position: 888");
}

void tst_TimingEditor::liveStatusPass()
{
    QFETCH(int, rpm);
    QFETCH(QString, position);
    EditorRig r;
    r.sim.setWord(K7700Sim::PositionWord, 123);
    r.sim.setPLSOffset(10);
    r.sim.setWord(K7700Sim::SpeedWord, quint16(rpm));
    r.sim.setRunning(rpm > 0);
    QVERIFY(r.startOnline());
    QCOMPARE(int(r.sim.plsPosition()), 113); // the fake clock stands still
    QCOMPARE(r.panel(1), QStringLiteral("RPM: %1").arg(rpm));
    QCOMPARE(r.panel(2), position);
    QCOMPARE(r.panel(3), QStringLiteral("Offset: 10"));
    QCOMPARE(r.panel(4), QStringLiteral("Scale: 360"));
    QVERIFY(r.state().statusBarEnabled);
    // The next pass reads speed, speed again, position (up to 50), offset,
    // scale; the grid is not polled.
    const qsizetype m = r.mark();
    r.cycle();
    const QList<int> expected
        = rpm <= 50 ? QList<int>({ 88, 88, 72, 40, 24 }) : QList<int>({ 88, 88, 40, 24 });
    QCOMPARE(r.commandsSince(m), expected);
}

// A PLS value that could not be read shows as failed, never as a number
// (-9999 once stood in the status bar as the speed).
void tst_TimingEditor::failedStatusReadIsNoReading()
{
    EditorRig r;
    r.sim.setWord(K7700Sim::SpeedWord, 20);
    r.sim.setRunning(true);
    QVERIFY(r.startOnline());
    QCOMPARE(r.panel(1), QStringLiteral("RPM: 20"));
    // The speed's first poll is lost; its reply comes after the
    // resynchronisation and is no value.
    r.sim.silenceNext(1, 2);
    r.cycle();
    QCOMPARE(r.panel(1), QStringLiteral("RPM: ---"));
    QVERIFY(!r.rs.CommError);
    // The next pass reads it again.
    r.cycle();
    QCOMPARE(r.panel(1), QStringLiteral("RPM: 20"));
}

void tst_TimingEditor::resetPLSConfig()
{
    EditorRig r;
    CurrentData.PlsProgram = 2;
    CurrentData.PlsChannelCount = 8;
    for (int i = 0; i < 8; ++i)
        CurrentData.SpeedCompensation[size_t(i)] = qint16(i + 1);
    CurrentData.PlsScaleFactor = 720;
    // The PLS holds 16 channels, program 0, 12 ms on CH00 and CH01, scale 360.
    std::array<quint8, K7700Sim::PLSConfigTableSize> table {};
    table[0] = 16;
    table[2] = table[3] = 12;
    r.sim.setPLSConfigTable(table);
    r.sim.setPLSScaleFactor(360);
    QVERIFY(r.startOnline());

    // It asks first, naming what it sends beside what the PLS holds; No
    // sends nothing.
    r.prompter.answerMsg(MsgResult::No);
    qsizetype m = r.mark();
    r.editor.resetPLSConfigCommand();
    QCOMPARE(r.prompter.messages().size(), 1);
    const PromptCall asked = r.prompter.messages().at(0);
    QCOMPARE(asked.text,
        QStringLiteral("You are about to Reset the PLS Configuration: it sends the working data's values to the "
                       "PLS.\r\n\r\nNumber of PLS Channels: sends 8, the PLS holds 16\r\nPLS Program: sends 2, "
                       "the PLS holds 0\r\nScale: sends 720, the PLS holds 360\r\nSpeed Compensation CH00 "
                       "(msec): sends 1, the PLS holds 12\r\nSpeed Compensation CH01 (msec): sends 2, the PLS "
                       "holds 12\r\nSpeed Compensation CH02 (msec): sends 3, the PLS holds 0\r\nSpeed "
                       "Compensation CH03 (msec): sends 4, the PLS holds 0\r\nSpeed Compensation CH04 (msec): "
                       "sends 5, the PLS holds 0\r\nSpeed Compensation CH05 (msec): sends 6, the PLS holds "
                       "0\r\nSpeed Compensation CH06 (msec): sends 7, the PLS holds 0\r\nSpeed Compensation CH07 "
                       "(msec): sends 8, the PLS holds 0\r\n\r\n11 values differ.\r\n\r\nDo you wish to "
                       "continue?"));
    QCOMPARE(asked.title, QStringLiteral("Reset PLS Config"));
    QCOMPARE(asked.icon, MsgIcon::Question);
    QCOMPARE(asked.buttons, MsgButtons::YesNo);
    QCOMPARE(asked.defaultButton, MsgDefault::Button2);
    QCOMPARE(r.sim.plsConfigTable(), table);
    QCOMPARE(int(r.sim.plsScaleFactor()), 360);
    QVERIFY(!r.commandsSince(m).contains(91)); // nothing written

    r.prompter.clear();
    r.prompter.answerMsg(MsgResult::Yes);
    r.editor.resetPLSConfigCommand();
    const std::array<quint8, 24> params { 2, 1, 2, 3, 4, 0, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0,
        0 };
    QCOMPARE(r.sim.plsConfigParams(), params);
    QCOMPARE(int(r.sim.plsScaleFactor()), 720);
    const QStringList shown { "8", "2", "1", "2", "3", "4", "5", "6", "7", "8" };
    for (int i = 0; i < 10; ++i)
        QCOMPARE(r.state().configTexts[size_t(i)], shown[i]);
    QCOMPARE(r.prompter.calls().size(), 1);

    // Refused: Retry sends the whole list again; Cancel shows "---".
    r.prompter.clear();
    r.prompter.answerMsg(MsgResult::Yes);
    r.sim.rejectNextPLSWrite();
    r.prompter.answerMsg(MsgResult::Retry);
    r.prompter.answerMsg(MsgResult::Cancel);
    // The retry (after the question, then the first refusal) gets blocks 0
    // and 1 through.
    r.prompter.duringNextMsg({});
    r.prompter.duringNextMsg([&r] { r.sim.rejectNextPLSWrite(2); });
    m = r.mark();
    r.editor.resetPLSConfigCommand();
    QCOMPARE(r.prompter.messages().size(), 3);
    QVERIFY(r.prompter.messages().at(0).text.endsWith(
        QStringLiteral("The PLS holds these values already.\r\n\r\nDo you wish to continue?")));
    QCOMPARE(
        r.prompter.messages().at(1).text, QStringLiteral("Unable to Reset PLS Configuration Parameters"));
    QCOMPARE(r.prompter.messages().at(1).title, QStringLiteral("PLS Config Download"));
    QCOMPARE(r.prompter.messages().at(1).icon, MsgIcon::Question);
    QCOMPARE(r.prompter.messages().at(1).buttons, MsgButtons::RetryCancel);
    // The question reads the configuration (12) and the scale (24); the speed
    // is read next (the press stands: nothing more is asked).
    QCOMPARE(r.commandsSince(m), QList<int>({ 12, 24, 1, 59, 59, 0x38, 75, 0x38, 91 }));
    for (const QString& text : r.state().configTexts)
        QCOMPARE(text, QStringLiteral("---"));
}

// Clear Channel and Reset PLS Config on a running press: after their own
// question a second one names the speed, default No; No
// sends nothing. A speed read that fails ends the command quietly.
void tst_TimingEditor::runningPressIsAskedAgain()
{
    EditorRig r;
    r.sim.setPLSChannel(3, PlsRig::setpoints(110, 130));
    r.sim.setWord(K7700Sim::SpeedWord, 250);
    r.sim.setRunning(true);
    QVERIFY(r.startOnline());
    const Channel programmed = r.sim.plsChannel(3);
    r.editor.setParameterText(TimingState::kChannelNumberField, QStringLiteral("3"));

    r.prompter.answerMsg(MsgResult::Yes);
    r.prompter.answerMsg(MsgResult::No);
    qsizetype m = r.mark();
    r.editor.clearChannelCommand();
    QCOMPARE(r.prompter.messages().size(), 2);
    const PromptCall running = r.prompter.messages().at(1);
    QCOMPARE(running.text,
        QStringLiteral("The press is running at 250 SPM.\r\n\r\nClearing channel CH03 turns its output off."
                       "\r\n\r\nDo you wish to continue?"));
    QCOMPARE(running.title, QStringLiteral("Clear Channel"));
    QCOMPARE(running.icon, MsgIcon::Exclamation);
    QCOMPARE(running.buttons, MsgButtons::YesNo);
    QCOMPARE(running.defaultButton, MsgDefault::Button2);
    QCOMPARE(r.commandsSince(m), QList<int>({ 1 })); // the speed read, nothing for the PLS
    QCOMPARE(r.sim.plsChannel(3), programmed);

    r.prompter.clear();
    r.prompter.answerMsg(MsgResult::Yes);
    r.prompter.answerMsg(MsgResult::Yes);
    r.editor.clearChannelCommand();
    QCOMPARE(r.sim.plsChannel(3).kind, Channel::Kind::Empty);

    r.prompter.clear();
    r.prompter.answerMsg(MsgResult::Yes);
    r.prompter.answerMsg(MsgResult::No);
    m = r.mark();
    r.editor.resetPLSConfigCommand();
    QCOMPARE(r.prompter.messages().size(), 2);
    QCOMPARE(r.prompter.messages().at(1).text,
        QStringLiteral("The press is running at 250 SPM.\r\n\r\nResetting the PLS configuration reprograms "
                       "the PLS of the running press.\r\n\r\nDo you wish to continue?"));
    QCOMPARE(r.prompter.messages().at(1).title, QStringLiteral("Reset PLS Config"));
    QCOMPARE(r.prompter.messages().at(1).defaultButton, MsgDefault::Button2);
    QCOMPARE(r.commandsSince(m), QList<int>({ 12, 24, 1 })); // reads only

    // The link dies on the speed read: the link's own box, nothing else.
    r.prompter.clear();
    r.sim.setPLSChannel(3, programmed);
    r.prompter.answerMsg(MsgResult::Yes);
    r.sim.setDroppedOut(true);
    r.prompter.answerMsg(MsgResult::Cancel);
    r.editor.clearChannelCommand();
    QCOMPARE(r.prompter.messages().size(), 2);
    QCOMPARE(r.prompter.messages().at(1).text, kNoComm);
    QCOMPARE(r.sim.plsChannel(3), programmed);
}

// ---- the state published ----

void tst_TimingEditor::offsetFollowsTheResolverStanding()
{
    EditorRig r;
    r.sim.setWord(K7700Sim::SpeedWord, 120);
    r.sim.setRunning(true);
    QVERIFY(r.startOnline());
    auto offsetEnabled = [&r] {
        return r.state().groupsEnabled[TimingState::ResolverOffset] && r.state().parameterEnabled[TimingState::kOffsetField]
            && r.state().commandEnabled[TimingState::SetOffset];
    };
    QVERIFY(!offsetEnabled());
    r.cycle();
    QVERIFY(!offsetEnabled());
    r.sim.setRunning(false);
    r.cycle();
    QCOMPARE(r.panel(1), QStringLiteral("RPM: 0"));
    QVERIFY(offsetEnabled());
    r.cycle();
    QVERIFY(offsetEnabled());
    r.sim.setRunning(true);
    r.cycle();
    QVERIFY(!offsetEnabled());
}

// One channel recall per setpoint: state 1 is the ON setpoint, 0 the OFF one,
// anything else (an empty channel, a pulse train) shows as an empty channel.
// The working data keeps its own values.
void tst_TimingEditor::recallShowsWhatTheBoardHolds()
{
    EditorRig r;
    Channel train;
    train.kind = Channel::Kind::PulseTrain;
    train.on = 4;
    train.onDivisions = 10;
    train.offDivisions = 10;
    r.sim.setPLSChannel(6, train);
    r.sim.setPLSChannel(5, EditorRig::setpoints(10, 20));
    r.mode.setMode(true);
    QVERIFY(r.rs.RecallChannel(5)); // channel 5 now gives its OFF setpoint first
    r.start();
    QVERIFY(r.state().onlinePresentationDone);
    QCOMPARE(r.text(5), QStringLiteral("10"));
    QCOMPARE(r.text(21), QStringLiteral("20"));
    QCOMPARE(r.text(6), QStringLiteral("****"));
    QCOMPARE(r.text(22), QStringLiteral("****"));

    // Texts typed but not taken are replaced by what the board holds.
    r.editor.setChannelText(5, QStringLiteral("77"));
    r.editor.setChannelText(21, QStringLiteral("88"));
    r.editor.setParameterText(TimingState::kChannelNumberField, QStringLiteral("5"));
    r.editor.recallChannelCommand();
    QCOMPARE(int(r.state().recallState), 1); // OFF first, then ON
    QCOMPARE(int(r.state().recallPos), 10);
    r.editor.setParameterText(TimingState::kChannelNumberField, QStringLiteral("6"));
    const qsizetype m = r.mark();
    r.editor.recallChannelCommand();
    QCOMPARE(r.commandsSince(m), QList<int>({ 9 })); // no second recall of a pulse train
    QCOMPARE(int(r.state().recallState), 3);
    const TimingState shown = r.lastPublished();
    QCOMPARE(shown.channelTexts[5], QStringLiteral("10"));
    QCOMPARE(shown.channelTexts[21], QStringLiteral("20"));
    QCOMPARE(shown.channelTexts[6], QStringLiteral("****"));
    QCOMPARE(shown.parameterTexts[1], QStringLiteral("6"));
    QCOMPARE(int(CurrentData.OnSetpoint[5]), 150);
    QCOMPARE(int(CurrentData.OnSetpoint[6]), 120);
    QVERIFY(r.prompter.calls().isEmpty());

    // Offline a recall fails without contacting the controller.
    r.mode.setMode(false);
    r.cycle();
    const qsizetype offline = r.mark();
    r.editor.recallChannelCommand();
    QCOMPARE(r.mark(), offline);
    QCOMPARE(r.prompter.messages().size(), 1);
    QCOMPARE(r.prompter.messages().at(0).text, QStringLiteral("Unable to Recall Channel ch6"));
    QCOMPARE(r.prompter.messages().at(0).title, QStringLiteral("Channel Recall"));
    QCOMPARE(r.lastPublished().channelTexts[22], QStringLiteral("---"));
}

// What the editor makes of a setpoint the operator entered: ON = OFF is
// refused (a stepped one with its message), a changed value is stored, and
// online programmed.
void tst_TimingEditor::setpointEntries()
{
    EditorRig r;
    OfflineEditing = true;
    r.start();
    using Result = TimingEditor::SetpointResult;
    // Channel 3 holds ON 110, OFF 130.
    r.editor.setChannelText(19, QStringLiteral("110"));
    QCOMPARE(r.editor.steppedSetpoint(19, 110), Result::Refused);
    QCOMPARE(r.prompter.messages().size(), 1);
    QCOMPARE(r.prompter.messages().at(0).text, QStringLiteral("ON Setpoint cannot Equal OFF Setpoint"));
    r.editor.setChannelText(19, QStringLiteral("130"));
    QCOMPARE(r.editor.typedSetpoint(3, 130), Result::Refused);
    QCOMPARE(r.prompter.messages().size(), 1); // the window shows this one
    QCOMPARE(int(CurrentData.OnSetpoint[3]), 110);
    QCOMPARE(r.editor.typedSetpoint(3, 110), Result::Accepted); // unchanged
    QCOMPARE(r.editor.typedSetpoint(3, 12), Result::Accepted);
    QCOMPARE(r.lastPublished().channelTexts[3], QStringLiteral("12"));
    QCOMPARE(int(CurrentData.OnSetpoint[3]), 12);
    QCOMPARE(r.mark(), 0);

    QVERIFY(r.startOnline());
    r.editor.setChannelText(19, QStringLiteral("131"));
    const qsizetype m = r.mark();
    QCOMPARE(r.editor.steppedSetpoint(19, 131), Result::Programmed);
    QCOMPARE(r.commandsSince(m), QList<int>({ 24, 27, 0x38, 27, 0x38 }));
    QCOMPARE(r.sim.plsChannel(3), EditorRig::setpoints(110, 131));
    QCOMPARE(int(CurrentData.OffSetpoint[3]), 131);
}

// ---- CurrentData ----

void tst_TimingEditor::timingDownloadRecallsTheGrid()
{
    EditorRig r;
    QVERIFY(r.startOnline());
    r.sim.setPLSChannel(4, EditorRig::setpoints(11, 22));
    r.sim.setPLSChannel(7, {});
    TimingDownloaded = true;
    r.cycle();
    QVERIFY(!TimingDownloaded);
    QCOMPARE(r.text(4), QStringLiteral("11"));
    QCOMPARE(r.text(20), QStringLiteral("22"));
    QCOMPARE(r.text(7), QStringLiteral("****"));
    QCOMPARE(int(CurrentData.OnSetpoint[4]), 230);
    QCOMPARE(r.panel(4), QStringLiteral("Scale: 360")); // the pass went on to its end
}

void tst_TimingEditor::clearChannel_data()
{
    QTest::addColumn<bool>("online");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<int>("rejects"); // clear records the PLS refuses
    QTest::addColumn<QList<int>>("answers"); // MsgResult, in order
    QTest::addColumn<QString>("shown"); // ON and OFF field of channel 3
    QTest::addColumn<bool>("cleared"); // in the PLS and CurrentData

    const int yes = int(MsgResult::Yes), no = int(MsgResult::No), retry = int(MsgResult::Retry),
              cancel = int(MsgResult::Cancel);
    QTest::newRow("online yes") << true << false << 0 << QList<int> { yes } << "****" << true;
    QTest::newRow("online no") << true << false << 0 << QList<int> { no } << "110" << false;
    QTest::newRow("online cancel") << true << false << 0 << QList<int> { cancel } << "110" << false;
    QTest::newRow("refused, retry, yes")
        << true << false << 1 << QList<int> { yes, retry, yes } << "****" << true;
    QTest::newRow("refused, retry, no")
        << true << false << 1 << QList<int> { yes, retry, no } << "110" << false;
    QTest::newRow("refused, cancel") << true << false << 1 << QList<int> { yes, cancel } << "---" << false;
    QTest::newRow("offline editing") << false << true << 0 << QList<int> { yes } << "****" << true;
    QTest::newRow("offline editing, no") << false << true << 0 << QList<int> { no } << "110" << false;
}

void tst_TimingEditor::clearChannel()
{
    QFETCH(bool, online);
    QFETCH(bool, editing);
    QFETCH(int, rejects);
    QFETCH(QList<int>, answers);
    QFETCH(QString, shown);
    QFETCH(bool, cleared);

    EditorRig r;
    OfflineEditing = editing;
    if (online)
        QVERIFY(r.startOnline());
    else
        r.start();
    if (rejects)
        r.sim.rejectNextPLSWrite();
    for (const int a : answers)
        r.prompter.answerMsg(MsgResult(a));
    r.editor.setParameterText(TimingState::kChannelNumberField, QStringLiteral("2.6")); // rewritten as 3
    r.editor.clearChannelCommand();
    QCOMPARE(r.state().parameterTexts[1], QStringLiteral("3"));

    QVERIFY(r.prompter.allAnswersUsed());
    QCOMPARE(r.prompter.unexpected(), 0);
    const auto boxes = r.prompter.messages();
    const PromptCall& ask = boxes.at(0);
    QCOMPARE(
        ask.text, QStringLiteral("You are about to Clear Channel CH03.\r\n\r\nDo you wish to continue?"));
    QCOMPARE(ask.title, QStringLiteral("Clear Channel"));
    QCOMPARE(ask.icon, MsgIcon::Question);
    QCOMPARE(ask.buttons, MsgButtons::YesNoCancel);
    QCOMPARE(ask.defaultButton, MsgDefault::Button2); // Enter alone answers No
    if (rejects) {
        QCOMPARE(boxes.at(1).text, QStringLiteral("Unable to Clear Channel"));
        QCOMPARE(boxes.at(1).title, QStringLiteral("Clear Channel"));
        QCOMPARE(boxes.at(1).icon, MsgIcon::Question);
        QCOMPARE(boxes.at(1).buttons, MsgButtons::RetryCancel);
    }
    QCOMPARE(r.text(3), shown);
    QCOMPARE(r.text(19), shown == QStringLiteral("110") ? QStringLiteral("130") : shown);
    QCOMPARE(CurrentData.OnSetpoint[3] == 0 && CurrentData.OffSetpoint[3] == 0, cleared);
    if (online)
        QCOMPARE(r.sim.plsChannel(3) == Channel {}, cleared);
    else
        QCOMPARE(r.mark(), 0);
}

// ---- the dying link ----

void tst_TimingEditor::commErrorTakesTheEditorOffline()
{
    EditorRig r;
    QVERIFY(r.startOnline());
    r.sim.setDroppedOut(true);
    r.prompter.answerMsg(MsgResult::Cancel); // the link's own Retry/Cancel box
    r.cycle();
    QVERIFY(r.rs.CommError);
    r.cycle();
    QVERIFY(!r.rs.OnlineMode);
    QVERIFY(!r.port.isOpen());
    QCOMPARE(r.panel(1), QStringLiteral("RPM: -"));
    QCOMPARE(r.text(0), QStringLiteral("150"));
    QVERIFY(!r.state().gridEnabled);
    QCOMPARE(r.prompter.messages().size(), 1);
    QCOMPARE(r.prompter.messages().at(0).text, kNoComm);

    // A link that fails during the presentation's configuration read ends it
    // there, the commands still disabled.
    EditorRig s;
    s.mode.setMode(true);
    s.sim.setDroppedOut(true);
    s.prompter.answerMsg(MsgResult::Cancel);
    const qsizetype m = s.mark();
    s.start();
    QVERIFY(s.rs.CommError);
    QVERIFY(!s.state().onlinePresentationDone);
    QCOMPARE(s.commandsSince(m), QList<int>());
    QVERIFY(!s.state().commandEnabled[TimingState::RecallChan]);
    s.cycle();
    QVERIFY(!s.rs.OnlineMode);
    QCOMPARE(s.prompter.messages().size(), 2); // "Not able to Upload Configuration from PLS." and the link's
}

QTEST_GUILESS_MAIN(tst_TimingEditor)
#include "tst_timingeditor.moc"
