// The controller link against the in-process simulator on a fake clock:
// exact bytes on the wire, returned texts, flags and message boxes.

#include "Outcomes.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "K7700Sim.h"
#include "link/LinkMonitor.h"
#include "link/RSComm.h"
#include "ScriptedPrompter.h"
#include "SimPort.h"
#include "WireBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace talvek;
using namespace talvek::test;

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

const QString kNoComm = QStringLiteral(
    "Cannot Communicate with Target Board.\rVerify RS-232 Cable is Connected Between\rCOMM Port and PROG Port.");

} // namespace

class TestRSComm : public QObject
{
    Q_OBJECT

private:
    // A fresh link for each test, in a program folder of its own.
    struct Rig
    {
        QTemporaryDir dir;
        K7700Sim sim;
        FakeClock clock;
        ScriptedPrompter prompter;
        std::unique_ptr<ProgramFolder> folder;
        std::unique_ptr<SimPort> port;
        std::unique_ptr<RSComm> link;

        Rig()
        {
            folder = std::make_unique<ProgramFolder>(dir.path());
            port = std::make_unique<SimPort>(sim, clock);
            link = std::make_unique<RSComm>(*folder, clock, prompter);
        }
        // Opens the link and forgets the opening bytes.
        void openOnline()
        {
            link->OpenRSComm(port.get());
            QVERIFY(link->OnlineMode);
            port->clearRecord();
            prompter.clear();
        }
    };

private slots:
    void openingSendsAttentionAndGoesOnline()
    {
        Rig r;
        r.link->OpenRSComm(r.port.get());
        QVERIFY(r.link->OnlineMode);
        QVERIFY(!r.link->CommError);
        QVERIFY(!r.link->PortFailed());
        QCOMPARE(r.link->byteLink().CurrentMode, 0);
        QCOMPARE(r.port->written(), bytes({0xFF}));
        QCOMPARE(r.port->commPort(), 1);
        QCOMPARE(r.port->settings(), QStringLiteral("9600,n,8,1"));
        QCOMPARE(r.prompter.calls().size(), 0);
    }

    void silentControllerCostsFiveSecondsThenAsks()
    {
        Rig r;
        r.sim.setDroppedOut(true);
        r.prompter.answerMsg(MsgResult::Cancel);
        const qint64 start = r.clock.nowMs();
        r.link->OpenRSComm(r.port.get());

        QCOMPARE(r.clock.nowMs() - start, qint64(5000));
        // The opening attention byte and two resynchronisations.
        QCOMPARE(r.port->written(), bytes({0xFF, 0xFF, 0xFF}));
        const auto msgs = r.prompter.messages();
        QCOMPARE(msgs.size(), 1);
        QCOMPARE(msgs[0].text, kNoComm);
        QCOMPARE(msgs[0].title, QStringLiteral("WARNING - Communication Error!"));
        QCOMPARE(msgs[0].icon, MsgIcon::Critical);
        QCOMPARE(msgs[0].buttons, MsgButtons::RetryCancel);
        QVERIFY(!r.link->OnlineMode);
        QVERIFY(r.link->CommError);

        // Every further read fails at once, without touching the port.
        r.port->clearRecord();
        const qint64 before = r.clock.nowMs();
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("W180"))), QStringLiteral("failed: LinkDown"));
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("B166"))), QStringLiteral("failed: LinkDown"));
        QCOMPARE(r.port->written(), QByteArray());
        QCOMPARE(r.clock.nowMs(), before);
        QCOMPARE(r.prompter.messages().size(), 1);
    }

    void retryKeepsWaitingAndALateReplyIsReturned()
    {
        Rig r;
        r.sim.setDroppedOut(true);
        // Operator presses Retry; the cable is back by then.
        r.prompter.duringNextMsg([&] { r.sim.setDroppedOut(false); });
        r.prompter.answerMsg(MsgResult::Retry);
        r.link->OpenRSComm(r.port.get());
        // After Retry the deadline has passed: one more resynchronisation, and
        // the board's 0x55 to it is the reply.
        QVERIFY(r.link->OnlineMode);
        QVERIFY(!r.link->CommError);
        QCOMPARE(r.port->written(), bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    }

    void twoWordReadsNeedOneHandshake()
    {
        Rig r;
        r.openOnline();
        r.sim.setWord(180, 0x0123);
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("W180"))), QStringLiteral("291"));
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("w180"))), QStringLiteral("291"));
        QCOMPARE(r.port->written(),
                 bytes({0xFF, 0x01, 0x00, 0xB4, 0x00, 0xB5, 0x00, 0xB4, 0x00, 0xB5}));
        QCOMPARE(r.port->readBytes(),
                 bytes({0x55, 0x55, 0x00, 0x23, 0x00, 0x01, 0x00, 0x23, 0x00, 0x01}));
        QCOMPARE(r.link->byteLink().CurrentMode, 1);

        // Already in read mode: no handshake at all.
        r.port->clearRecord();
        (void)r.link->RSRead(QStringLiteral("W180"));
        QCOMPARE(r.port->written(), bytes({0x00, 0xB4, 0x00, 0xB5}));
    }

    void wordReadOnTheWire()
    {
        Rig r;
        r.openOnline();
        (void)r.link->RSRead(QStringLiteral("B0"));
        r.port->clearRecord();
        r.sim.setWord(0x03F8, 0xBEEF);
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("W1016"))), QString::number(0xBEEF));
        QCOMPARE(r.port->written(), bytes({0x03, 0xF8, 0x03, 0xF9}));
        QCOMPARE(r.port->readBytes(), bytes({0x03, 0xEF, 0x03, 0xBE}));
    }

    // A byte left in the receive buffer (a doubled reply, line noise between
    // exchanges) is no reply to the next byte: taken as one, it would pass as
    // the echo and shift the data of the read by one byte.
    void strayByteBeforeAnExchangeIsNoReply()
    {
        Rig r;
        r.openOnline();
        (void)r.link->RSRead(QStringLiteral("B0"));
        r.port->clearRecord();
        r.sim.setWord(0x03F8, 0xBEEF);
        r.port->injectInput(bytes({0x03}));
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("W1016"))), QString::number(0xBEEF));
        // A byte nobody asked for is trouble: the value is taken when a
        // second read, after a new handshake, gives it again.
        QCOMPARE(r.port->written(), bytes({0x03, 0xF8, 0x03, 0xF9, 0xFF, 0x01, 0x03, 0xF8, 0x03, 0xF9}));
        QCOMPARE(r.port->discarded(), bytes({0x03}));
        QCOMPARE(r.port->readBytes(), bytes({0x03, 0xEF, 0x03, 0xBE, 0x55, 0x55, 0x03, 0xEF, 0x03, 0xBE}));
    }

    void readValueTypes()
    {
        Rig r;
        r.openOnline();
        r.sim.setByte(166, 255);
        r.sim.setD(1100, 123456789);
        r.sim.setByte(139, 0x04);
        r.sim.setByte(32, 0x80);
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("b166"))), QStringLiteral("255"));
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("D1100"))), QStringLiteral("123456789"));
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("F858"))), QStringLiteral("1"));
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("F857"))), QStringLiteral("0"));
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("F7"))), QStringLiteral("1"));
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("B32.6"))), QStringLiteral("0"));
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("W32.7"))), QStringLiteral("1"));
        QCOMPARE(r.prompter.calls().size(), 0);
    }

    void readEchoMismatchIsRetriedThenReportedAsFailed()
    {
        Rig r;
        r.openOnline();
        r.sim.setByte(5, 77);
        // RSRead makes it once more, with a new handshake.
        (void)r.link->RSRead(QStringLiteral("B0"));
        r.port->clearRecord();
        r.sim.corruptNextReply();
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("B5"))), QStringLiteral("77"));
        // The board heard the address high byte: the handshake's first 0xFF
        // completes that pair; the read that follows the trouble is
        // confirmed by a second one, after a handshake of its own.
        QCOMPARE(r.port->written(), bytes({ 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x05, 0xFF, 0x01, 0x00, 0x05 }));

        // Wrong twice: the read fails, with no value.
        r.port->clearRecord();
        r.sim.corruptReplyTo(0);
        r.sim.corruptReplyTo(4);
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("B5"))), QStringLiteral("failed: EchoMismatch"));
        QVERIFY(!r.link->CommError);
        QCOMPARE(r.port->written(), bytes({ 0x00, 0xFF, 0xFF, 0x01, 0x00 }));
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("B5"))), QStringLiteral("77"));
        QCOMPARE(r.prompter.calls().size(), 0);
    }

    void readAfterAResynchronisationIsNoValue()
    {
        Rig r;
        r.openOnline();
        r.sim.setByte(0x1234, 0x42);
        r.sim.setByte(0x12FF, 0x99);
        (void)r.link->RSRead(QStringLiteral("B0"));
        r.port->clearRecord();
        // The address low byte is lost; the board takes the resynchronising
        // 0xFF as the low byte and answers with the byte at 0x12FF.
        r.sim.silenceNext(1, 1);
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("B4660"))), QStringLiteral("66"));
        QCOMPARE(r.port->written(), bytes({ 0x12, 0x34, 0xFF, 0xFF, 0x01, 0x12, 0x34, 0xFF, 0x01, 0x12, 0x34 }));
    }

    void writeValueCleaningAndRanges_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("alert"); // empty: written
        QTest::addColumn<qint64>("stored");

        QTest::newRow("grouped 1,000") << "W180" << "1,000" << "" << qint64(1000);
        QTest::newRow("point dropped 12.5") << "W180" << "12.5" << "" << qint64(125);
        QTest::newRow("blanks percent degree") << "W180" << QStringLiteral(" 4%5\u00B0") << "" << qint64(45);
        QTest::newRow("empty is zero") << "W180" << "" << "" << qint64(0);
        QTest::newRow("minus refused") << "W180" << "-5" << "Only Numerical Data Allowed." << qint64(-1);
        QTest::newRow("letter refused") << "W180" << "12a" << "Only Numerical Data Allowed." << qint64(-1);
        QTest::newRow("byte 255") << "B100" << "255" << "" << qint64(255);
        QTest::newRow("byte 256") << "B100" << "256" << "Entry out of Range (0-255)." << qint64(-1);
        QTest::newRow("word 65535") << "W180" << "65535" << "" << qint64(65535);
        QTest::newRow("word 65536") << "W180" << "65536" << "Entry out of Range (0-65,535)." << qint64(-1);
        QTest::newRow("dword max") << "D1100" << "655359999" << "" << qint64(655359999);
        QTest::newRow("dword over") << "D1100" << "655360000" << "Entry out of Range (0-655,359,999)."
                                    << qint64(-1);
        QTest::newRow("many digits") << "D1100" << "99999999999999999999999" << "Entry out of Range (0-655,359,999)."
                                     << qint64(-1);
        QTest::newRow("bit 2") << "F858" << "2" << "Enter 0 or 1 Only." << qint64(-1);
    }

    void writeValueCleaningAndRanges()
    {
        QFETCH(QString, address);
        QFETCH(QString, value);
        QFETCH(QString, alert);
        QFETCH(qint64, stored);

        Rig r;
        r.openOnline();
        r.sim.setWord(180, 7);
        r.sim.setByte(100, 7);
        r.sim.setD(1100, 7);
        (void)r.link->RSWrite(address, value);
        if (alert.isEmpty()) {
            QCOMPARE(r.prompter.calls().size(), 0);
            const qint64 now = address.startsWith(QLatin1Char('W')) ? r.sim.word(180)
                : address.startsWith(QLatin1Char('B'))              ? r.sim.byte(100)
                                                                    : r.sim.getD(1100);
            QCOMPARE(now, stored);
        } else {
            const auto msgs = r.prompter.messages();
            QCOMPARE(msgs.size(), 1);
            QCOMPARE(msgs[0].text, QStringLiteral("Error:\r") + alert);
            QCOMPARE(msgs[0].title, QStringLiteral("ENTRY ALERT"));
            QCOMPARE(msgs[0].icon, MsgIcon::Critical);
            QCOMPARE(msgs[0].buttons, MsgButtons::OK);
            QCOMPARE(r.port->written(), QByteArray()); // nothing on the wire
        }
    }

    void writeOnTheWire()
    {
        Rig r;
        r.openOnline();
        (void)r.link->RSWrite(QStringLiteral("W180"), QStringLiteral("1000"));
        QCOMPARE(r.port->written(), bytes({0xFF, 0x02, 0x00, 0xB4, 0xE8, 0x00, 0xB5, 0x03}));
        QCOMPARE(r.port->readBytes(), bytes({0x55, 0x55, 0x00, 0xB4, 0xE8, 0x00, 0xB5, 0x03}));
        QCOMPARE(r.link->byteLink().CurrentMode, 2);

        // Base-10000 double word: L = 6789, H = 12345.
        r.port->clearRecord();
        (void)r.link->RSWrite(QStringLiteral("D1100"), QStringLiteral("123456789"));
        QCOMPARE(r.port->written(), bytes({0x04, 0x4C, 0x85, 0x04, 0x4D, 0x1A, 0x04, 0x4E, 0x39, 0x04, 0x4F, 0x30}));
        QCOMPARE(r.sim.getD(1100), qint64(123456789));
    }

    void bitWriteKeepsTheOtherBits()
    {
        Rig r;
        r.openOnline();
        r.sim.setByte(139, 0xA1);
        (void)r.link->RSWrite(QStringLiteral("F858"), QStringLiteral("1"));
        QCOMPARE(r.sim.byte(139), quint8(0xA5));
        // Read the byte (read handshake), then write it back (write handshake).
        QCOMPARE(r.port->written(), bytes({0xFF, 0x01, 0x00, 0x8B, 0xFF, 0x02, 0x00, 0x8B, 0xA5}));

        (void)r.link->RSWrite(QStringLiteral("B139.7"), QStringLiteral("0"));
        QCOMPARE(r.sim.byte(139), quint8(0x25));
        (void)r.link->RSWrite(QStringLiteral("F15"), QStringLiteral("1"));
        QCOMPARE(r.sim.byte(33), quint8(0x80));
        QCOMPARE(r.prompter.calls().size(), 0);
    }

    void bitWriteWithoutTheByteWritesNothing()
    {
        Rig r;
        r.openOnline();
        r.sim.setByte(139, 0xA1);
        (void)r.link->RSRead(QStringLiteral("B0"));
        r.port->clearRecord();
        // The byte cannot be read, on its retry neither.
        r.sim.corruptReplyTo(0);
        r.sim.corruptReplyTo(4);
        r.prompter.answerMsg(MsgResult::OK);
        QCOMPARE(shown(r.link->RSWrite(QStringLiteral("F858"), QStringLiteral("1"))),
            QStringLiteral("failed: EchoMismatch"));
        QCOMPARE(r.sim.byte(139), quint8(0xA1));
        QCOMPARE(r.port->written(), bytes({ 0x00, 0xFF, 0xFF, 0x01, 0x00 }));
        QCOMPARE(r.prompter.messages().size(), 1);
        QCOMPARE(
            r.prompter.messages().at(0).text, QStringLiteral("Error:\rValue Not Written to PLC (F858)."));
    }

    void bitAndAddressOutOfRangeWriteNothing_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("alert");
        QTest::newRow("bit 8") << "B1018.8"
                               << "Entry out of Range (0-255).";
        QTest::newRow("bit 9") << "W10.9"
                               << "Entry out of Range (0-255).";
        QTest::newRow("byte 65536") << "B65536"
                                    << "Entry out of Range (0-65,535).";
        QTest::newRow("word at 65535") << "W65535"
                                       << "Entry out of Range (0-65,535).";
        QTest::newRow("dword at 65533") << "D65533"
                                        << "Entry out of Range (0-65,535).";
        QTest::newRow("hex 10000H") << "10000H"
                                    << "Entry out of Range (0-65,535).";
        QTest::newRow("flag 524032") << "F524032"
                                     << "Entry out of Range (0-65,535).";
        QTest::newRow("bit of byte 70000") << "B70000.1"
                                           << "Entry out of Range (0-65,535).";
        // From FF00H the address high byte is the attention byte, which the
        // board takes as a handshake: no byte there can be reached.
        QTest::newRow("byte FF00H") << "B65280"
                                    << "Entry out of Range (0-65,535).";
        QTest::newRow("hex FFFFH") << "FFFFH"
                                   << "Entry out of Range (0-65,535).";
        QTest::newRow("word ending at FF00H") << "W65279"
                                              << "Entry out of Range (0-65,535).";
        QTest::newRow("dword into FF00H") << "D65278"
                                          << "Entry out of Range (0-65,535).";
        QTest::newRow("flag 524031 (FFFFH)") << "F524031"
                                             << "Entry out of Range (0-65,535).";
        QTest::newRow("bit of byte FF00H") << "B65280.0"
                                           << "Entry out of Range (0-65,535).";
    }

    void bitAndAddressOutOfRangeWriteNothing()
    {
        QFETCH(QString, address);
        QFETCH(QString, alert);
        Rig r;
        r.openOnline();
        r.prompter.answerMsg(MsgResult::OK);
        QCOMPARE(shown(r.link->RSWrite(address, QStringLiteral("1"))), QStringLiteral("failed: EntryRefused"));
        QCOMPARE(r.prompter.messages().size(), 1);
        QCOMPARE(r.prompter.messages().at(0).text, QStringLiteral("Error:\r") + alert);
        QCOMPARE(r.prompter.messages().at(0).title, QStringLiteral("ENTRY ALERT"));
        QCOMPARE(r.port->written(), QByteArray());
        // A read of it is no value either, and costs nothing on the wire.
        QCOMPARE(shown(r.link->RSRead(address)), QStringLiteral("failed: EntryRefused"));
        QCOMPARE(r.port->written(), QByteArray());
        // The last byte of the space is still one.
        r.sim.setByte(65535 - 256, 9);
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("B65279"))), QStringLiteral("9"));
    }

    void echoMismatchRepeatsTheWriteOnce()
    {
        Rig r;
        r.openOnline();
        (void)r.link->RSWrite(QStringLiteral("W180"), QStringLiteral("1"));
        r.port->clearRecord();
        r.sim.corruptNextReply();
        (void)r.link->RSWrite(QStringLiteral("W180"), QStringLiteral("1000"));
        QVERIFY(!r.link->byteLink().WriteMismatch);
        QCOMPARE(r.sim.word(180), quint16(1000));
        // The board heard the byte whose echo went wrong: the rest of its
        // triple goes out as it is (the board stores 0xE8 at 0x00B4, where
        // it belongs), then the write is made again after a new handshake,
        // which the board, at the start of a triple, acknowledges at once.
        QCOMPARE(r.port->written(),
                 bytes({0x00, 0xB4, 0xE8, 0xFF, 0x02, 0x00, 0xB4, 0xE8, 0x00, 0xB5, 0x03}));

        QCOMPARE(r.prompter.calls().size(), 0);
    }

    void secondMismatchIsReadBackThenWrittenOnceMore()
    {
        Rig r;
        r.openOnline();
        // Wrong echo on the first address byte of both attempts: each stores
        // the low byte where it belongs, the high byte is never sent; the
        // read-back finds 232 (0x00E8), so the value is written a third time.
        QVERIFY(r.link->RSWrite(QStringLiteral("W180"), QStringLiteral("1")));
        r.sim.setByte(0xFF, 0x11);
        r.port->clearRecord();
        r.sim.corruptReplyTo(0);
        r.sim.corruptReplyTo(5);
        QCOMPARE(shown(r.link->RSWrite(QStringLiteral("W180"), QStringLiteral("1000"))), QStringLiteral("done"));
        QVERIFY(!r.link->CommError);
        QCOMPARE(r.sim.word(180), quint16(1000));
        QCOMPARE(r.prompter.calls().size(), 0);
        // Nothing lands beside the value: 0x00FF keeps its 0x11.
        QCOMPARE(r.port->written(),
            bytes({ 0x00, 0xB4, 0xE8, 0xFF, 0x02, 0x00, 0xB4, 0xE8, 0xFF, 0x01, 0x00, 0xB4, 0x00, 0xB5, 0xFF, 0x02,
                0x00, 0xB4, 0xE8, 0x00, 0xB5, 0x03 }));
        QCOMPARE(r.sim.byte(0xFF), quint8(0x11));

        // The third attempt goes wrong too: read back once more, the value
        // is not held, and the alert says what the controller holds.
        QVERIFY(r.link->RSWrite(QStringLiteral("W180"), QStringLiteral("1")));
        r.port->clearRecord();
        r.sim.corruptReplyTo(0);
        r.sim.corruptReplyTo(5);
        r.sim.corruptReplyTo(16);
        r.prompter.answerMsg(MsgResult::OK);
        QCOMPARE(shown(r.link->RSWrite(QStringLiteral("W180"), QStringLiteral("1000"))),
            QStringLiteral("failed: NotHeld holding 232"));
        QVERIFY(!r.link->CommError);
        QCOMPARE(r.sim.word(180), quint16(232));
        QCOMPARE(r.prompter.messages().size(), 1);
        QCOMPARE(r.prompter.messages().at(0).text,
            QStringLiteral("Error:\rValue Not Written to PLC (W180).\rThe controller now holds 232."));
        QCOMPARE(r.prompter.messages().at(0).title, QStringLiteral("ENTRY ALERT"));
        QCOMPARE(r.prompter.messages().at(0).icon, MsgIcon::Critical);

        // Quiet: the caller reports the failure itself.
        QVERIFY(r.link->RSWrite(QStringLiteral("W180"), QStringLiteral("1")));
        r.port->clearRecord();
        r.sim.corruptReplyTo(0);
        r.sim.corruptReplyTo(5);
        r.sim.corruptReplyTo(16);
        QCOMPARE(shown(r.link->RSWrite(QStringLiteral("W180"), QStringLiteral("1000"), RSComm::WriteFailure::Quiet)),
            QStringLiteral("failed: NotHeld holding 232"));
        QCOMPARE(r.prompter.messages().size(), 1);
    }

    void secondMismatchOfATakenValueIsNoFailure()
    {
        Rig r;
        r.openOnline();
        (void)r.link->RSWrite(QStringLiteral("B100"), QStringLiteral("1"));
        r.port->clearRecord();
        // The echo of the data byte goes wrong twice, after the board stored it.
        r.sim.corruptReplyTo(2);
        r.sim.corruptReplyTo(7);
        QCOMPARE(shown(r.link->RSWrite(QStringLiteral("B100"), QStringLiteral("7"))), QStringLiteral("done"));
        QCOMPARE(r.sim.byte(100), quint8(7));
        // The read-back costs a read handshake and one byte read.
        QCOMPARE(r.port->written(),
            bytes({ 0x00, 0x64, 0x07, 0xFF, 0x02, 0x00, 0x64, 0x07, 0xFF, 0x01, 0x00, 0x64 }));
        QCOMPARE(r.prompter.calls().size(), 0);
    }

    // A byte lost at each position of a write triple: afterwards exactly the
    // bytes of the value differ from before, or the write names the byte
    // the board stored beside it. Write mode is established first.
    void lostByteInsideAWriteTriple_data()
    {
        QTest::addColumn<int>("position"); // 0 address high, 1 address low, 2 data
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QList<int>>("changed");
        // The resynchronising 0xFF reaches a board at the start of a triple:
        // the attention byte; nothing stored.
        QTest::newRow("address high") << 0 << "done" << QList<int> { 1020 };
        // Not an 0xFF but the low byte goes again: the board, still waiting
        // for it, takes it, and the triple goes on; nothing stored at 03FFH.
        QTest::newRow("address low") << 1 << "done" << QList<int> { 1020 };
        // It becomes the data, at the address being written: the write made
        // again puts the value there.
        QTest::newRow("data") << 2 << "done" << QList<int> { 1020 };
    }

    void lostByteInsideAWriteTriple()
    {
        QFETCH(int, position);
        QFETCH(QString, outcome);
        QFETCH(QList<int>, changed);
        Rig r;
        r.openOnline();
        QVERIFY(r.link->RSWrite(QStringLiteral("W1000"), QStringLiteral("1")));
        r.sim.setWord(1020, 111); // 123 differs in the low byte only
        r.sim.setByte(1023, 0x2A);
        QByteArray before(65536, '\0');
        for (int a = 0; a < 65536; ++a)
            before[a] = char(r.sim.byte(a));
        r.sim.silenceNext(1, position);
        const Status written = r.link->RSWrite(QStringLiteral("W1020"), QStringLiteral("123"), RSComm::WriteFailure::Quiet);
        QCOMPARE(shown(written), outcome);
        if (!written)
            QCOMPARE(written.error().detail, QStringLiteral("B1023"));
        QCOMPARE(r.sim.word(1020), quint16(123));
        QList<int> differ;
        for (int a = 0; a < 65536; ++a) {
            if (quint8(before[a]) != r.sim.byte(a))
                differ.append(a);
        }
        QCOMPARE(differ, changed);
        QVERIFY(!r.link->CommError);
        QCOMPARE(r.prompter.calls().size(), 0);
    }

    // The low byte's echo comes 1.5 s late: the link sends the low byte
    // again, which the board (having it) stores as the data at 03FCH; the
    // data byte 7BH then starts a triple of its own (7B03H takes FDH) and
    // the next high byte another (00FFH takes the handshake's 0xFF). The
    // link cannot prevent those stores, but it follows the board there: both
    // bytes are read back and named, and the value, read back, is written
    // once more. Nothing else differs.
    void lateEchoOfTheLowByteIsFollowed()
    {
        Rig r;
        r.openOnline();
        QVERIFY(r.link->RSWrite(QStringLiteral("W1000"), QStringLiteral("1")));
        r.sim.setWord(1020, 111);
        QByteArray before(65536, '\0');
        for (int a = 0; a < 65536; ++a)
            before[a] = char(r.sim.byte(a));
        r.sim.delayNextReply(1500, 1);
        r.prompter.answerMsg(MsgResult::OK);
        const Status written = r.link->RSWrite(QStringLiteral("W1020"), QStringLiteral("123"));
        QCOMPARE(shown(written), QStringLiteral("failed: StrayStore holding 253"));
        QCOMPARE(written.error().detail, QStringLiteral("B31491"));
        QCOMPARE(r.prompter.messages().size(), 1);
        QCOMPARE(r.prompter.messages().at(0).text,
            QStringLiteral("Error:\rValue Not Written to PLC (W1020).\rA lost byte may have changed B31491, which "
                           "now holds 253."));
        QCOMPARE(r.sim.word(1020), quint16(123));
        QList<int> differ;
        for (int a = 0; a < 65536; ++a)
            if (quint8(before[a]) != r.sim.byte(a))
                differ.append(a);
        QCOMPARE(differ, (QList<int> { 0x00FF, 1020, 0x7B03 }));
        QCOMPARE(r.link->byteLink().strayStores(), (QList<int> { 0x7B03, 0x00FF }));
        QVERIFY(!r.link->CommError);
    }

    // A bit write whose first attempt lost its data byte (the board stored
    // the resynchronising 0xFF in the byte): the attempt made again sends
    // the byte read before anything was sent, not the spoilt one.
    void bitWriteAgainSendsTheByteReadFirst()
    {
        Rig r;
        r.openOnline();
        r.sim.setByte(4001, 0x02);
        // The byte's read: handshake 2, pair 2; the write's handshake 2 and
        // triple: its data byte is the 9th byte.
        r.sim.silenceNext(1, 8);
        QCOMPARE(shown(r.link->RSWrite(QStringLiteral("B4001.0"), QStringLiteral("1"))), QStringLiteral("done"));
        QCOMPARE(r.sim.byte(4001), quint8(0x03));

        // The data byte lost in both attempts: the byte holds 0xFF, whose
        // bit 0 is the 1 asked for. The read-back looks at the whole byte
        // (the other seven bits as read first) and writes it once more.
        r.sim.setByte(4001, 0x02);
        LinkMonitor monitor(64);
        int resyncs = 0;
        monitor.setSink([&](const LinkMonitor::Exchange& e) {
            // Told of the first attempt's resynchronisation once the second
            // attempt's attention byte is answered: its command byte and
            // address, then its data byte.
            if (e.outcome == LinkMonitor::Outcome::ReplyAfterResync && ++resyncs == 1)
                r.sim.silenceNext(1, 3);
        });
        r.link->setMonitor(&monitor);
        r.link->byteLink().CurrentMode = 0; // as at the start: the byte's read makes a handshake
        r.sim.silenceNext(1, 8);
        QCOMPARE(shown(r.link->RSWrite(QStringLiteral("B4001.0"), QStringLiteral("1"))), QStringLiteral("done"));
        QCOMPARE(resyncs, 2);
        QCOMPARE(r.sim.byte(4001), quint8(0x03));
        r.link->setMonitor(nullptr);
    }

    // An earlier run killed inside a write triple (the board heard FF 02 and
    // W1026's address bytes; its record names 1026, 1027 and 04FFH): the
    // opening's attention byte is stored at 1026, echoed, and the next one
    // acknowledged. The opening reads back what the record names and says so
    // in a box after its own; the record is gone once read back.
    void interruptedWriteIsNamedAfterTheOpening()
    {
        Rig r;
        r.sim.setByte(1027, 0x04);
        r.sim.setByte(0x04FF, 0x5A);
        for (const std::uint8_t b : { 0xFF, 0x02, 0x04, 0x02 })
            r.sim.receive(b);
        const QString record = r.dir.filePath(QStringLiteral("support/write-ahead/sim_COM1"));
        writeFile(record, "TALVEK write-ahead record\nstore 1026\nstore 1027\nstore 1279\nend\n");
        r.prompter.answerMsg(MsgResult::OK);
        r.link->OpenRSComm(r.port.get());
        QVERIFY(r.link->OnlineMode);
        QCOMPARE(r.sim.byte(1026), quint8(0xFF));
        QCOMPARE(r.port->written(),
            bytes({ 0xFF, 0xFF, 0xFF, 0x01, 0x04, 0x02, 0x04, 0x03, 0x04, 0xFF }));
        const auto msgs = r.prompter.messages();
        QCOMPARE(msgs.size(), 1);
        QCOMPARE(msgs[0].title, QStringLiteral("WARNING - Interrupted Write"));
        QCOMPARE(msgs[0].icon, MsgIcon::Exclamation);
        QCOMPARE(msgs[0].text,
            QStringLiteral("An earlier run ended inside a write to the controller.\r"
                           "The board was still inside it: it answered the first attention byte of this run with "
                           "FFH, not 55H, and may have stored that byte (or the next).\r"
                           "Bytes it may have changed: B1026 holds 255, B1027 holds 4, B1279 holds 90.\r"
                           "Check these values: the controller may hold a value the interrupted run changed."));
        QVERIFY(!QFile::exists(record));
        r.link->CloseRSComm();
        r.prompter.clear();
        r.link->OpenRSComm(r.port.get());
        QCOMPARE(r.prompter.calls().size(), 0); // told once
    }

    // The board falls silent while the opening reads the record back: the
    // record stays as it was (the next opening reads it again), and the link
    // is not online. The next opening that can read it names it.
    void recordSurvivesAnOpeningThatCannotReadItBack()
    {
        Rig r;
        r.sim.setByte(1279, 0x11);
        const QString record = r.dir.filePath(QStringLiteral("support/write-ahead/sim_COM1"));
        const QByteArray content("TALVEK write-ahead record\nstore 1026\nstore 1279\nend\n");
        writeFile(record, content);
        r.prompter.setDefaultMsgAnswer(MsgResult::Cancel);
        // Silent from the first byte, then the link closed: the record stays.
        r.sim.setDroppedOut(true);
        r.link->OpenRSComm(r.port.get());
        QVERIFY(!r.link->OnlineMode);
        r.link->CloseRSComm();
        QCOMPARE(readFile(record), content);
        r.sim.setDroppedOut(false);
        r.sim.dropOutAfter(1); // the opening's attention byte, then nothing
        r.link->OpenRSComm(r.port.get());
        QVERIFY(!r.link->OnlineMode);
        r.link->CloseRSComm();
        QCOMPARE(readFile(record), content);
        QVERIFY(r.link->byteLink().earlierRun().recorded);
        QCOMPARE(r.link->byteLink().earlierRun().held.value(0),
            (std::pair<int, std::optional<int>>(1026, std::nullopt)));

        r.sim.setDroppedOut(false);
        r.prompter.clear();
        r.prompter.setDefaultMsgAnswer(std::nullopt);
        r.prompter.answerMsg(MsgResult::OK);
        r.link->OpenRSComm(r.port.get());
        QVERIFY(r.link->OnlineMode);
        QCOMPARE(r.prompter.messages().size(), 1);
        QCOMPARE(r.prompter.messages()[0].text,
            QStringLiteral("An earlier run ended inside a write to the controller.\r"
                           "Bytes it may have changed: B1026 holds 0, B1279 holds 17.\r"
                           "Check these values: the controller may hold a value the interrupted run changed."));
        QVERIFY(!QFile::exists(record));
    }

    // A bit write whose data echo is spoilt twice after the board stored the
    // byte: the whole byte is read back once and found right. No third
    // write, no failure.
    void bitWriteSpoiltTwiceAfterTheStoreIsDoneAfterOneReadBack()
    {
        Rig r;
        r.openOnline();
        r.sim.setByte(100, 0x41);
        (void)r.link->RSRead(QStringLiteral("B0")); // read mode
        r.port->clearRecord();
        // The byte's pair (2 replies), the write handshake (2) and triple:
        // the data's echo is the 7th reply; the second attempt's the 12th.
        r.sim.corruptReplyTo(6);
        r.sim.corruptReplyTo(11);
        QCOMPARE(shown(r.link->RSWrite(QStringLiteral("B100.3"), QStringLiteral("1"))), QStringLiteral("done"));
        QCOMPARE(r.sim.byte(100), quint8(0x49));
        QCOMPARE(r.port->written(),
            bytes({ 0x00, 0x64, 0xFF, 0x02, 0x00, 0x64, 0x49, 0xFF, 0x02, 0x00, 0x64, 0x49, 0xFF, 0x01, 0x00,
                0x64 }));
        QCOMPARE(r.prompter.calls().size(), 0);
    }

    // Closing while the board waits inside a triple (for its low byte): the
    // closing attention byte is sent again until acknowledged.
    void closingInsideATripleRepeatsTheAttentionByte()
    {
        Rig r;
        r.openOnline();
        r.sim.setByte(0x10FF, 0x01);
        for (const std::uint8_t b : { 0xFF, 0x02, 0x10 })
            r.sim.receive(b);
        r.link->CloseRSComm();
        QCOMPARE(r.port->written(), bytes({ 0xFF, 0xFF, 0xFF }));
        QCOMPARE(r.sim.mode(), K7700Sim::Mode::Command);
        QCOMPARE(r.sim.byte(0x10FF), quint8(0xFF));
        QVERIFY(r.link->byteLink().lostTrack());
    }

    // A noise byte equal to the address high byte just before the data of a
    // read (a doubled echo's look): the data a byte time behind it is the
    // value, confirmed by a second read.
    void doubledEchoBeforeTheDataIsNotTheValue()
    {
        Rig r;
        r.openOnline();
        r.sim.setByte(0x0310, 0x42);
        (void)r.link->RSRead(QStringLiteral("B0"));
        r.port->clearRecord();
        r.sim.insertNoiseBeforeReplyTo(0x03, 1);
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("B784"))), QStringLiteral("66"));
        QCOMPARE(r.port->written(), bytes({ 0x03, 0x10, 0xFF, 0x01, 0x03, 0x10 }));
    }

    // After trouble the value is taken only when a second read gives it
    // again: here the byte changed between them, and the read fails.
    void readsAfterTroubleThatDifferGiveNoValue()
    {
        Rig r;
        r.openOnline();
        r.sim.setByte(0x0310, 0x42);
        (void)r.link->RSRead(QStringLiteral("B0"));
        r.sim.insertNoiseBeforeReplyTo(0x03, 1);
        LinkMonitor monitor(64);
        monitor.setSink([&](const LinkMonitor::Exchange& e) {
            if (e.out == 0x10)
                r.sim.setByte(0x0310, 0x43);
        });
        r.link->setMonitor(&monitor);
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("B784"))), QStringLiteral("failed: BadReply"));
        r.link->setMonitor(nullptr);
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("B784"))), QStringLiteral("67"));
    }

    // Each cause has a text of its own (logs, the journal and talvek-cli
    // tell failures apart by it), none the fallback.
    void everyCauseHasItsOwnText()
    {
        QStringList texts;
        for (int c = 0; c <= int(Cause::BadFile); ++c) {
            const QString text = causeText(Cause(c));
            QVERIFY2(text != QStringLiteral("failed") && !text.isEmpty(), qPrintable(QString::number(c)));
            QVERIFY2(!texts.contains(text), qPrintable(text));
            texts << text;
        }
        QCOMPARE(texts.size(), 13);
    }

    void closeSendsAttentionUnlessCommError()
    {
        Rig r;
        r.openOnline();
        r.link->CloseRSComm();
        QCOMPARE(r.port->written(), bytes({0xFF}));
        QVERIFY(!r.port->isOpen());
        QVERIFY(!r.link->OnlineMode);
        QCOMPARE(r.link->byteLink().CurrentMode, 0);

        Rig e;
        e.openOnline();
        e.link->CommError = true;
        e.link->CloseRSComm();
        QCOMPARE(e.port->written(), QByteArray());
        QVERIFY(!e.port->isOpen());
        QVERIFY(!e.link->OnlineMode);
    }

    void portSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // "<none>": no file, "<nodir>": no folder
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QByteArray>("fileAfter");

        QTest::newRow("reader spacing") << QByteArray("1,9600\r\n") << 1 << "9600,n,8,1" << QByteArray("1,9600\r\n");
        QTest::newRow("dialog spacing") << QByteArray("3, 19200 \r\n") << 3 << "19200,n,8,1"
                                        << QByteArray("3, 19200 \r\n");
        QTest::newRow("port 0 limited") << QByteArray("0,19200\r\n") << 1 << "19200,n,8,1"
                                        << QByteArray("0,19200\r\n");
        QTest::newRow("150 and 4800") << QByteArray("150,4800\r\n") << 99 << "9600,n,8,1"
                                      << QByteArray("150,4800\r\n");
        // What the link accepts is what it can open: the canonical texts.
        QTest::newRow("exponent") << QByteArray("1,1.92E4\r\n") << 1 << "19200,n,8,1"
                                  << QByteArray("1,1.92E4\r\n");
        QTest::newRow("digits then letters")
            << QByteArray("1,9600abc\r\n") << 1 << "9600,n,8,1" << QByteArray("1,9600abc\r\n");
        QTest::newRow("hexadecimal") << QByteArray("1,&H4B00\r\n") << 1 << "19200,n,8,1"
                                     << QByteArray("1,&H4B00\r\n");
        QTest::newRow("quoted speed") << QByteArray("2,\"19200\"") << 2 << "19200,n,8,1" << QByteArray("2,\"19200\"");
        QTest::newRow("empty file") << QByteArray("") << 1 << "9600,n,8,1" << QByteArray("1,9600\r\n");
        QTest::newRow("no file") << QByteArray("<none>") << 1 << "9600,n,8,1" << QByteArray("1,9600\r\n");
        QTest::newRow("no folder") << QByteArray("<nodir>") << 1 << "9600,n,8,1" << QByteArray("1,9600\r\n");
    }

    void portSettingsFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, port);
        QFETCH(QString, settings);
        QFETCH(QByteArray, fileAfter);

        Rig r;
        const QString path = r.dir.filePath(QStringLiteral("support/RSPort.cfg"));
        if (content == "<nodir>")
            QVERIFY(!QDir(r.dir.filePath(QStringLiteral("support"))).exists());
        else if (content == "<none>")
            QVERIFY(QDir().mkpath(r.dir.filePath(QStringLiteral("support"))));
        else
            writeFile(path, content);

        r.link->OpenRSComm(r.port.get());
        QVERIFY(r.link->OnlineMode);
        QCOMPARE(r.port->commPort(), port);
        QCOMPARE(r.port->settings(), settings);
        QCOMPARE(readFile(path), fileAfter);
        QCOMPARE(r.prompter.calls().size(), 0);
    }

    void settingsFolderFoundWhateverItsCase()
    {
        Rig r;
        writeFile(r.dir.filePath(QStringLiteral("SUPPORT/rsport.CFG")), "7,19200\r\n");
        QCOMPARE(r.link->CommSettingsFile(), r.dir.filePath(QStringLiteral("SUPPORT/rsport.CFG")));
        r.link->OpenRSComm(r.port.get());
        QCOMPARE(r.port->commPort(), 7);
        QVERIFY(!QFileInfo::exists(r.dir.filePath(QStringLiteral("support"))));
    }

    void badSettingsFileAsksRetryCancel_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("text");
        QTest::newRow("garbage port") << QByteArray("abc,9600\r\n") << "Error Number = 13\r\n\r\nType mismatch";
        QTest::newRow("binary") << QByteArray("\x01\x02\xff\xfe", 4) << "Error Number = 13\r\n\r\nType mismatch";
        QTest::newRow("one field") << QByteArray("3\r\n") << "Error Number = 62\r\n\r\nInput past end of file";
        QTest::newRow("overflow") << QByteArray("70000,9600\r\n") << "Error Number = 6\r\n\r\nOverflow";
    }

    void badSettingsFileAsksRetryCancel()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, text);
        Rig r;
        const QString path = r.dir.filePath(QStringLiteral("support/RSPort.cfg"));
        writeFile(path, content);
        // Retry reads the file again (the operator has fixed it by then).
        r.prompter.duringNextMsg([&] { writeFile(path, "4,9600\r\n"); });
        r.prompter.answerMsg(MsgResult::Retry);
        r.link->OpenRSComm(r.port.get());
        auto msgs = r.prompter.messages();
        QCOMPARE(msgs.size(), 1);
        QCOMPARE(msgs[0].text, text);
        QCOMPARE(msgs[0].title, QStringLiteral("RSComm InitializeRSComm"));
        QCOMPARE(msgs[0].icon, MsgIcon::Critical);
        QCOMPARE(msgs[0].buttons, MsgButtons::RetryCancel);
        QVERIFY(r.link->OnlineMode);
        QCOMPARE(r.port->commPort(), 4);

        // Cancel: offline, port failed, port never opened, file untouched.
        Rig c;
        const QString cpath = c.dir.filePath(QStringLiteral("support/RSPort.cfg"));
        writeFile(cpath, content);
        c.prompter.answerMsg(MsgResult::Cancel);
        c.link->OpenRSComm(c.port.get());
        QVERIFY(!c.link->OnlineMode);
        QVERIFY(c.link->PortFailed());
        QCOMPARE(c.port->openCount(), 0);
        QCOMPARE(readFile(cpath), content);
    }

    void settingsPipeIsRefusedAtOnce()
    {
#ifdef Q_OS_UNIX
        Rig r;
        const QString path = r.dir.filePath(QStringLiteral("support/RSPort.cfg"));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        r.prompter.answerMsg(MsgResult::Cancel);
        r.link->OpenRSComm(r.port.get());
        const auto msgs = r.prompter.messages();
        QCOMPARE(msgs.size(), 1);
        QCOMPARE(msgs[0].text,
            QStringLiteral("Error Number = 75\r\n\r\nPath/File access error: cannot read ")
                + QDir::toNativeSeparators(path) + QStringLiteral(" (not a file)"));
        QCOMPARE(msgs[0].title, QStringLiteral("RSComm InitializeRSComm"));
        QVERIFY(!r.link->OnlineMode);
        QVERIFY(r.link->PortFailed());
        QCOMPARE(r.port->openCount(), 0);
        QVERIFY(!QFileInfo(path).isFile()); // not replaced by a settings file either
#else
        QSKIP("no named pipes here");
#endif
    }

    void portThatCannotOpen()
    {
        Rig r;
        r.port->failOpenWith(SerialError(8002, QStringLiteral("MSComm"), QStringLiteral("Invalid port number")));
        r.link->OpenRSComm(r.port.get());
        const auto msgs = r.prompter.messages();
        QCOMPARE(msgs.size(), 1);
        QCOMPARE(msgs[0].text,
                 QStringLiteral("Error Number = 8002\r\nError Source = MSComm\r\n\r\nInvalid port number"));
        QCOMPARE(msgs[0].title, QStringLiteral("Comm Port Error"));
        QCOMPARE(msgs[0].icon, MsgIcon::Critical);
        QCOMPARE(msgs[0].buttons, MsgButtons::OK);
        QVERIFY(r.link->CommError);
        QVERIFY(!r.link->OnlineMode);
        QVERIFY(r.link->PortFailed());
        QCOMPARE(shown(r.link->RSRead(QStringLiteral("W180"))), QStringLiteral("failed: LinkDown"));
        QCOMPARE(r.port->written(), QByteArray());
    }

    void portThatRefusesItsNumber()
    {
        Rig r;
        r.port->refuseCommPort(SerialError(8002, QStringLiteral("MSComm"), QStringLiteral("Invalid port number")));
        r.prompter.answerMsg(MsgResult::Cancel);
        r.link->OpenRSComm(r.port.get());
        QCOMPARE(r.prompter.messages().value(0).title, QStringLiteral("RSComm InitializeRSComm"));
        QCOMPARE(r.prompter.messages().value(0).text, QStringLiteral("Error Number = 8002\r\n\r\nInvalid port number"));
        QVERIFY(r.link->PortFailed());
        QVERIFY(!r.link->OnlineMode);
        QCOMPARE(r.port->openCount(), 0);
    }

    void operationDuringTheRetryBoxFailsFast()
    {
        Rig r;
        r.openOnline();
        r.sim.setDroppedOut(true);
        QString nested = QStringLiteral("unset");
        QByteArray writtenDuringBox;
        r.prompter.duringNextMsg([&] {
            const int before = r.port->written().size();
            // A timer tick reads and writes while the box is up.
            nested = shown(r.link->RSRead(QStringLiteral("W180")));
            (void)r.link->RSWrite(QStringLiteral("W180"), QStringLiteral("5"));
            QVERIFY(r.link->isBusy());
            writtenDuringBox = r.port->written().mid(before);
            // ... and the operator goes offline from the menu.
            r.link->CloseRSComm();
        });
        r.prompter.answerMsg(MsgResult::Retry);
        const QString result = shown(r.link->RSRead(QStringLiteral("W180")));
        QCOMPARE(nested, QStringLiteral("failed: Busy"));
        QCOMPARE(writtenDuringBox, QByteArray());
        QCOMPARE(result, QStringLiteral("failed: PortFailed"));
        QVERIFY(r.link->CommError);
        QVERIFY(!r.link->OnlineMode);
        QVERIFY(!r.port->isOpen());
        QVERIFY(!r.link->isBusy());
        QCOMPARE(r.prompter.messages().size(), 1);
        // Nothing was sent after the port closed.
        QCOMPARE(r.port->written(), bytes({0xFF, 0xFF, 0xFF}));
    }
};

QTEST_GUILESS_MAIN(TestRSComm)
#include "tst_rscomm.moc"
