// The byte link against the in-process simulator on a fake clock: single
// exchanges, the mode handshake, the address syntax and the raw reads and
// writes, with the exact bytes on the wire, the link state and the boxes.

#include "Outcomes.h"
#include "base/Clock.h"
#include "K7700Sim.h"
#include "link/ByteLink.h"
#include "ScriptedPrompter.h"
#include "SimPort.h"
#include "WireBytes.h"

#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

// A port whose board answers every byte with 0x00 after a fixed time.
class NoisyPort final : public SerialPortControl
{
public:
    explicit NoisyPort(FakeClock& clock)
        : m_clock(clock)
    { }
    void setCommPort(int port) override { m_port = port; }
    int commPort() const override { return m_port; }
    void setSettings(const QString& s) override { m_settings = s; }
    QString settings() const override { return m_settings; }
    void open() override { m_open = true; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    int bytesAvailable() override { return m_pending; }
    void discardInput() override { m_pending = 0; }
    int readByte() override { return m_pending > 0 ? (--m_pending, 0) : -1; }
    void write(const QByteArray& b) override
    {
        written += b;
        m_clock.advance(100 * b.size());
        m_pending += int(b.size());
    }
    bool waitForInput(int ms) override
    {
        if (m_pending > 0)
            return true;
        m_clock.advance(ms);
        return false;
    }
    QString deviceForPort(int port) const override { return QStringLiteral("noisy"); }

    QByteArray written;

private:
    FakeClock& m_clock;
    int m_port = 1;
    QString m_settings;
    bool m_open = false;
    int m_pending = 0;
};

// A byte link on the simulator.
struct Rig
{
    K7700Sim sim;
    FakeClock clock;
    ScriptedPrompter prompter;
    SimPort port { sim, clock };
    ByteLink link { clock, prompter };

    // Opens the port and forgets the opening bytes.
    void openOnline()
    {
        link.attach(&port);
        link.open();
        QVERIFY(link.OnlineMode);
        port.clearRecord();
        prompter.clear();
    }
};

} // namespace

class TestByteLink : public QObject
{
    Q_OBJECT

private slots:
    void replyInSecondWindowIsTheAnswer()
    {
        Rig r;
        r.openOnline();
        (void)r.link.ReadValue(QStringLiteral("B0")); // read mode
        r.port.clearRecord();
        r.sim.setByte(0x03F8, 0x42);
        // The echo leaves late; the attention byte of the resynchronisation is lost.
        r.sim.delayNextReply(1500);
        r.sim.silenceNext(1, 1);
        const qint64 start = r.clock.nowMs();
        const int reply = r.link.SendByte(0x03, false, false);
        QCOMPARE(reply, 0x03);
        QCOMPARE(r.clock.nowMs() - start, qint64(1500));
        QVERIFY(!r.link.CommError);
        // The byte, then the attention byte of the resynchronisation.
        QCOMPARE(r.port.written(), bytes({ 0x03, 0xFF }));
        QCOMPARE(r.link.CurrentMode, 0);
    }

    void modeAckAfterResyncIsNoMode()
    {
        // The mode byte's acknowledgement leaves after the first wait; the
        // resynchronising attention byte has reached the board meanwhile, and
        // it waits for a mode again. Taken as in read mode, the board would
        // take the address's high byte 0x03 as the program mode command.
        Rig r;
        r.openOnline();
        r.sim.setWord(0x03FC, 1234);
        r.sim.delayNextReply(1500, 1);
        QCOMPARE(shown(r.link.ReadValue(QStringLiteral("W1020"))), QStringLiteral("1234"));
        QCOMPARE(r.port.written(), bytes({ 0xFF, 0x01, 0xFF, 0xFF, 0x01, 0x03, 0xFC, 0x03, 0xFD }));
        QCOMPARE(r.sim.mode(), K7700Sim::Mode::Read);
        QCOMPARE(r.link.CurrentMode, 1);
    }

    void rawReadStopsAtABadEcho()
    {
        Rig r;
        r.openOnline();
        r.sim.setByte(139, 0x04);
        r.sim.setByte(5, 77);
        QCOMPARE(shown(r.link.ReadValue(QStringLiteral("B139"))), QStringLiteral("4"));
        r.port.clearRecord();
        // The raw read stops at the bad echo.
        r.sim.corruptNextReply();
        QCOMPARE(shown(r.link.ReadValue(QStringLiteral("B5"))), QStringLiteral("failed: EchoMismatch"));
        QCOMPARE(r.link.CurrentMode, 0);
        QVERIFY(!r.link.CommError);
        QCOMPARE(r.port.written(), bytes({ 0x00 }));
        QCOMPARE(r.prompter.calls().size(), 0);
    }

    void rawWriteStopsAtAWrongEcho()
    {
        Rig r;
        r.openOnline();
        (void)r.link.WriteValue(QStringLiteral("W180"), QStringLiteral("1"));
        r.port.clearRecord();
        // The raw write finishes the triple the board heard, so that it
        // stores the byte where it belongs, and stops there.
        r.sim.corruptNextReply();
        QCOMPARE(shown(r.link.WriteValue(QStringLiteral("W180"), QStringLiteral("265"))),
            QStringLiteral("failed: EchoMismatch"));
        QVERIFY(r.link.WriteMismatch);
        QCOMPARE(r.link.CurrentMode, 0);
        QCOMPARE(r.port.written(), bytes({ 0x00, 0xB4, 0x09 }));
        QCOMPARE(r.sim.word(180), quint16(9)); // the low byte taken, the high byte not sent
    }

    // Without an open port every exchange fails at once: nothing is written,
    // no time passes, no box is shown, and the link knows no mode.
    void noOpenPortFailsAtOnce()
    {
        Rig r;
        r.link.CurrentMode = 1;
        QCOMPARE(r.link.SendByte(ByteLink::kAttention, false, false), ByteLink::kNoReply);
        QVERIFY(r.link.CommError);
        QCOMPARE(r.link.CurrentMode, 0);

        r.link.attach(&r.port); // attached, never opened
        r.link.CommError = false;
        r.link.CurrentMode = 2;
        const qint64 before = r.clock.nowMs();
        QCOMPARE(shown(r.link.ReadValue(QStringLiteral("W180"))), QStringLiteral("failed: PortFailed"));
        QVERIFY(r.link.CommError);
        QCOMPARE(r.link.CurrentMode, 0);
        r.link.sendBytes(bytes({ 0x01, 0x02 }));
        QCOMPARE(r.port.written(), QByteArray());
        QCOMPARE(r.clock.nowMs(), before);
        QCOMPARE(r.prompter.calls().size(), 0);

        r.link.close(); // nothing to close: no error escapes
        QVERIFY(!r.link.OnlineMode);
    }

    void parseAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("number");
        QTest::addColumn<bool>("isBit");
        QTest::addColumn<int>("mask");

        QTest::newRow("B166") << "B166"
                              << "B" << 166 << false << -1;
        QTest::newRow("b166") << "b166"
                              << "B" << 166 << false << -1;
        QTest::newRow("W180") << "W180"
                              << "W" << 180 << false << -1;
        QTest::newRow("w180") << "w180"
                              << "W" << 180 << false << -1;
        QTest::newRow("D1100") << "D1100"
                               << "D" << 1100 << false << -1;
        QTest::newRow("d1100") << "d1100"
                               << "D" << 1100 << false << -1;
        QTest::newRow("B no digits") << "B"
                                     << "B" << 0 << false << -1;
        QTest::newRow("W blanks") << "W 1 2"
                                  << "W" << 12 << false << -1;
        QTest::newRow("B digits then junk") << "B12x4"
                                            << "B" << 12 << false << -1;
        QTest::newRow("F0") << "F0"
                            << "B" << 32 << true << 1;
        QTest::newRow("F7") << "F7"
                            << "B" << 32 << true << 128;
        QTest::newRow("F8") << "F8"
                            << "B" << 33 << true << 1;
        QTest::newRow("F15") << "F15"
                             << "B" << 33 << true << 128;
        QTest::newRow("F32") << "F32"
                             << "B" << 36 << true << 1;
        QTest::newRow("F152") << "F152"
                              << "B" << 51 << true << 1;
        QTest::newRow("f858") << "f858"
                              << "B" << 139 << true << 4;
        QTest::newRow("B1018.0") << "B1018.0"
                                 << "B" << 1018 << true << 1;
        QTest::newRow("B4302.6") << "B4302.6"
                                 << "B" << 4302 << true << 64;
        QTest::newRow("W10.3") << "W10.3"
                               << "B" << 10 << true << 8;
        QTest::newRow("FFH") << "FFH"
                             << "B" << 255 << false << -1;
        QTest::newRow("1FF0H") << "1FF0H"
                               << "B" << 8176 << false << -1;
        QTest::newRow("1ff0h") << "1ff0h"
                               << "B" << 8176 << false << -1;
        QTest::newRow("H alone") << "H"
                                 << "B" << 0 << false << -1;
        QTest::newRow("Z5") << "Z5"
                            << "B" << 32 << false << -1;
        QTest::newRow("empty") << ""
                               << "B" << 32 << false << -1;
        QTest::newRow("huge") << "B99999999999999"
                              << "B" << 1000000000 << false << -1;
    }

    void parseAddress()
    {
        QFETCH(QString, text);
        QFETCH(QString, type);
        QFETCH(int, number);
        QFETCH(bool, isBit);
        QFETCH(int, mask);
        Rig r;
        r.link.ParseAddress(QStringLiteral("B10.6")); // a mask of 0x40 to keep
        r.link.ParseAddress(text);
        QCOMPARE(r.link.AddType(), type);
        QCOMPARE(r.link.AddNumber(), number);
        QCOMPARE(r.link.IsBitAdd(), isBit);
        // The mask is set only for bit addresses and kept otherwise.
        QCOMPARE(int(r.link.BitMask()), mask < 0 ? 0x40 : mask);
    }

    void handshakeRefusedAsksAndCancelClosesTheLink()
    {
        // A board that answers every byte with 0x00, 100 ms later.
        FakeClock clock;
        ScriptedPrompter prompter;
        NoisyPort port(clock);
        ByteLink link(clock, prompter);
        link.attach(&port);
        link.open();
        QVERIFY(link.OnlineMode);
        port.written.clear();

        prompter.answerMsg(MsgResult::Retry);
        prompter.answerMsg(MsgResult::Cancel);
        const qint64 start = clock.nowMs();
        QVERIFY(!link.SetPLCMode(2, 2));
        const auto msgs = prompter.messages();
        QCOMPARE(msgs.size(), 2);
        QCOMPARE(msgs[0].text, QStringLiteral("Cannot Set PLC Mode Within Target Board."));
        QCOMPARE(msgs[0].title, QStringLiteral("WARNING - Communication Error!"));
        QCOMPARE(msgs[0].icon, MsgIcon::Critical);
        QCOMPARE(msgs[0].buttons, MsgButtons::RetryCancel);
        // Twice 2 s of attention bytes answered wrongly, 100 ms each, every
        // one after the very first waiting 50 ms for the line to fall quiet (a
        // wrong answer may be a reply still on its way): 14 in each window.
        QCOMPARE(clock.nowMs() - start, qint64(100 + 27 * 150));
        QCOMPARE(port.written, QByteArray(28, char(0xFF)));
        QVERIFY(link.CommError);
        QVERIFY(!link.OnlineMode);
        QVERIFY(!port.isOpen());
        QCOMPARE(link.CurrentMode, 0);
    }
};

QTEST_GUILESS_MAIN(TestByteLink)
#include "tst_bytelink.moc"
