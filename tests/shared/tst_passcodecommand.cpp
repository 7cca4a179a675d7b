// The keypad's set-up passcode: the value proposed, what reaches the
// controller for each answer, and what a bad line leaves in its memory.

#include "ControllerState.h"
#include "LogicRig.h"
#include "Outcomes.h"
#include "shared/PasscodeCommand.h"

#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

// The read of W1038 as it goes out: the read-mode handshake, then the two
// bytes of the word (0x040E and 0x040F).
const QByteArray kPasscodeRead("\xFF\x01\x04\x0E\x04\x0F");

struct Rig : LogicLink
{
    Rig()
    {
        sim.setWord(1038, 1234);
        mode.setMode(true);
        port.clearRecord();
    }
    Status run(std::optional<QString> answer)
    {
        prompter.answerInput(std::move(answer));
        return PasscodeCommand(rs, prompter).run();
    }
    // The default text of the one input box shown.
    QString proposed() const
    {
        const auto calls = prompter.calls();
        for (const PromptCall& call : calls) {
            if (call.kind == PromptCall::Kind::Input)
                return call.defaultText;
        }
        return QStringLiteral("<no box>");
    }
};

} // namespace

class tst_PasscodeCommand : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void twiceFailedReadProposesNothing();
    void silentLineAtTheRead();
    void silentLineAtTheWrite();
    void linkAlreadyDown();
};

void tst_PasscodeCommand::answers_data()
{
    QTest::addColumn<std::optional<QString>>("entered");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("alert");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("new passcode") << std::optional<QString>(QStringLiteral("4321")) << 4321 << QString()
                                  << "done";
    QTest::newRow("as typed, cleaned by the link")
        << std::optional<QString>(QStringLiteral("1,000")) << 1000 << QString() << "done";
    QTest::newRow("70000 reaches the entry alert")
        << std::optional<QString>(QStringLiteral("70000")) << 1234
        << QStringLiteral("Error:\rEntry out of Range (0-65,535).") << "failed: EntryRefused";
    QTest::newRow("letters reach the entry alert")
        << std::optional<QString>(QStringLiteral("12ab")) << 1234
        << QStringLiteral("Error:\rOnly Numerical Data Allowed.") << "failed: EntryRefused";
    QTest::newRow("empty writes nothing")
        << std::optional<QString>(QString()) << 1234 << QString() << "failed: Cancelled";
    QTest::newRow("cancel writes nothing")
        << std::optional<QString>() << 1234 << QString() << "failed: Cancelled";
}

void tst_PasscodeCommand::answers()
{
    QFETCH(std::optional<QString>, entered);
    QFETCH(int, stored);
    QFETCH(QString, alert);
    QFETCH(QString, outcome);
    Rig rig;
    const ControllerState before = ControllerState::of(rig.sim);

    QCOMPARE(shown(rig.run(entered)), outcome);

    const auto calls = rig.prompter.calls();
    QVERIFY(!calls.isEmpty());
    QCOMPARE(calls[0].kind, PromptCall::Kind::Input);
    QCOMPARE(calls[0].title, QStringLiteral("Keypad Set-up Passcode"));
    QCOMPARE(calls[0].text, QStringLiteral("Please Enter New Passcode (0-65535)"));
    QCOMPARE(rig.proposed(), QStringLiteral("1234"));
    QCOMPARE(int(rig.sim.word(1038)), stored);

    const auto boxes = rig.prompter.messages();
    if (alert.isEmpty()) {
        QVERIFY(boxes.isEmpty());
    } else {
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, alert);
        QCOMPARE(boxes[0].title, QStringLiteral("ENTRY ALERT"));
    }
    const ControllerState after = ControllerState::of(rig.sim);
    if (stored == 1234) {
        // Only the read of the current value went out.
        QCOMPARE(rig.port.written(), kPasscodeRead);
        QVERIFY(after == before);
    } else {
        // The passcode's two bytes and nothing else.
        QCOMPARE(after.changedBytes(before), (QList<int> { 1038, 1039 }));
        QVERIFY(after.changedChannels(before).isEmpty());
    }
    QCOMPARE(rig.prompter.unexpected(), 0);
}

// The passcode read wrong twice on the line: no "0" is proposed, and OK on
// the empty box writes nothing.
void tst_PasscodeCommand::twiceFailedReadProposesNothing()
{
    Rig rig;
    rig.sim.corruptReplyTo(2);
    rig.sim.corruptReplyTo(6);
    const ControllerState before = ControllerState::of(rig.sim);
    QCOMPARE(shown(rig.run(QString())), QStringLiteral("failed: Cancelled"));
    QCOMPARE(rig.proposed(), QString());
    // The read, its retry, and nothing after them.
    QCOMPARE(rig.port.written(), QByteArray("\xFF\x01\x04\xFF\xFF\x01\x04", 7));
    QVERIFY(ControllerState::of(rig.sim) == before);
    QVERIFY(!rig.rs.CommError);
    QVERIFY(rig.prompter.messages().isEmpty());
}

// The board silent from the start: the link's box is given up, nothing is
// proposed and what the operator types then is not sent.
void tst_PasscodeCommand::silentLineAtTheRead()
{
    Rig rig;
    const ControllerState before = ControllerState::of(rig.sim);
    rig.killLink();
    QCOMPARE(shown(rig.run(QStringLiteral("55"))), QStringLiteral("failed: LinkDown"));
    QCOMPARE(rig.proposed(), QString());
    QVERIFY(rig.rs.CommError);
    rig.onlyTheLinksBox();
    rig.sim.setDroppedOut(false);
    QVERIFY(ControllerState::of(rig.sim) == before);
}

// The board goes silent after the read, as the new passcode is written: the
// failure comes back, and the controller still holds the old passcode.
void tst_PasscodeCommand::silentLineAtTheWrite()
{
    Rig rig;
    const ControllerState before = ControllerState::of(rig.sim);
    rig.sim.dropOutAfter(kPasscodeRead.size());
    rig.prompter.answerMsg(MsgResult::Cancel);
    QCOMPARE(shown(rig.run(QStringLiteral("4321"))), QStringLiteral("failed: SilentLine"));
    QCOMPARE(rig.proposed(), QStringLiteral("1234"));
    QVERIFY(rig.rs.CommError);
    rig.onlyTheLinksBox();
    rig.sim.setDroppedOut(false);
    QVERIFY(ControllerState::of(rig.sim) == before);
}

// CommError already standing: no read, an empty proposal, and nothing written
// (not even tried on the port).
void tst_PasscodeCommand::linkAlreadyDown()
{
    Rig rig;
    rig.rs.CommError = true;
    const ControllerState before = ControllerState::of(rig.sim);
    QCOMPARE(shown(rig.run(QStringLiteral("55"))), QStringLiteral("failed: LinkDown"));
    QCOMPARE(rig.proposed(), QString());
    QVERIFY(rig.port.written().isEmpty());
    QVERIFY(ControllerState::of(rig.sim) == before);
    QVERIFY(rig.prompter.messages().isEmpty());
}

QTEST_GUILESS_MAIN(tst_PasscodeCommand)
#include "tst_passcodecommand.moc"
