// The byte link against the in-process simulator on a fake clock: single
// exchanges, the mode handshake, the address syntax and the raw reads and
// writes, with the exact bytes on the wire, the link state and the boxes.

#include "K7700Sim.h"
#include "Outcomes.h"
#include "ScriptedPrompter.h"
#include "SimPort.h"
#include "WireBytes.h"
#include "base/Clock.h"
#include "link/ByteLink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

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
    QTemporaryDir dir;
    QString recordPath = dir.filePath(QStringLiteral("write-ahead/COM1"));

    // Opens the port and forgets the opening bytes.
    void openOnline()
    {
        link.setRecordPath(recordPath);
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
    // One record per press: a port link and the device it points to share
    // one; two devices or two device servers never do.
    void recordNamedAfterThePressesPort()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("ttyUSB7"));
        QFile node(device);
        QVERIFY(node.open(QIODevice::WriteOnly));
        node.close();
        const QString link = dir.filePath(QStringLiteral("COM1"));
        QVERIFY(QFile::link(device, link));
        QCOMPARE(WriteAheadRecord::fileNameFor(link), WriteAheadRecord::fileNameFor(device));
        QVERIFY(WriteAheadRecord::fileNameFor(device).endsWith(QStringLiteral("_ttyUSB7")));
        QCOMPARE(WriteAheadRecord::fileNameFor(QStringLiteral("rfc2217://10.1.2.5:4001")),
            QStringLiteral("rfc2217___10.1.2.5_4001"));
        QVERIFY(WriteAheadRecord::fileNameFor(QStringLiteral("socket://10.1.2.5:4001"))
            != WriteAheadRecord::fileNameFor(QStringLiteral("socket://10.1.2.6:4001")));
    }

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

    // A run killed inside a write (cut off after byte k of the handshake and
    // W1026's two triples: the board hears nothing after it, and the link
    // never closes). Its write-ahead record, on disk before the first byte,
    // names the value's bytes and 04FFH (high:FF of both triples). The next
    // run's opening finds the board still inside the triple when it was
    // cut there, reads back every byte the record names, and the board's
    // whole memory differs from before the killed run only at bytes it names,
    // each holding what it says.
    void killedInsideAWriteIsNamedByTheNextOpening_data()
    {
        QTest::addColumn<int>("heard");
        QTest::addColumn<bool>("inside");
        QTest::addColumn<QList<int>>("changed"); // address, value pairs
        QTest::addColumn<QList<int>>("recorded");
        // The handshake (FF 02), then 04 02 34, 04 03 12. A low byte that
        // went unanswered is sent again (twice before the box): a board that
        // had it takes the first repetition as the data and the second as a
        // new high byte, waiting to store at 02FFH (03FFH for the second
        // triple's). The record grows by it before that byte goes out.
        const QList<int> planned { 1026, 1027, 0x04FF };
        QTest::newRow("handshake only") << 2 << false << QList<int> {} << planned;
        QTest::newRow("after high 1")
            << 3 << true << QList<int> { 0x04FF, 0xFF } << QList<int> { 0x02FF, 1026, 1027, 0x04FF };
        QTest::newRow("after low 1") << 4 << true << QList<int> { 1026, 0xFF } << planned;
        QTest::newRow("after data 1") << 5 << false << QList<int> { 1026, 0x34 } << planned;
        QTest::newRow("after high 2") << 6 << true << QList<int> { 1026, 0x34, 0x04FF, 0xFF }
                                      << QList<int> { 0x03FF, 1026, 1027, 0x04FF };
        QTest::newRow("after low 2") << 7 << true << QList<int> { 1026, 0x34, 1027, 0xFF } << planned;
    }
    void killedInsideAWriteIsNamedByTheNextOpening()
    {
        QFETCH(int, heard);
        QFETCH(bool, inside);
        QFETCH(QList<int>, changed);
        QFETCH(QList<int>, recorded);
        Rig r;
        for (int a = 1020; a < 1030; ++a)
            r.sim.setByte(a, std::uint8_t(a & 0x7F));
        r.sim.setByte(0x04FF, 0x5A);
        std::vector<std::uint8_t> expected(0x10000);
        for (int a = 0; a < 0x10000; ++a)
            expected[size_t(a)] = r.sim.byte(a);
        for (qsizetype i = 0; i < changed.size(); i += 2)
            expected[size_t(changed[i])] = std::uint8_t(changed[i + 1]);

        r.openOnline();
        QVERIFY(!QFile::exists(r.recordPath));
        r.sim.dropOutAfter(heard);
        QByteArray recordAtTheCut;
        r.prompter.duringNextMsg([&] {
            QFile f(r.recordPath);
            recordAtTheCut = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
        });
        // One block, the lines after "end" empty.
        r.prompter.setDefaultMsgAnswer(MsgResult::Cancel);
        QCOMPARE(shown(r.link.writeRegister(QStringLiteral("W1026"), QStringLiteral("4660"))),
            QStringLiteral("failed: SilentLine"));
        QByteArray record("TALVEK write-ahead record\n");
        for (const int a : recorded)
            record += "store " + QByteArray::number(a) + '\n';
        QCOMPARE(recordAtTheCut, QByteArray(record + "end\n").leftJustified(512, '\n'));
        // Killed here: no close, the board keeps waiting where it stands.

        r.sim.setDroppedOut(false);
        SimPort port(r.sim, r.clock);
        ScriptedPrompter prompter;
        ByteLink next(r.clock, prompter);
        next.setRecordPath(r.recordPath);
        next.attach(&port);
        next.open();
        QVERIFY(next.OnlineMode);
        const ByteLink::EarlierRun& e = next.earlierRun();
        QVERIFY(e.recorded);
        QCOMPARE(e.insideRecord, inside);
        QCOMPARE(e.firstReply, inside ? 0xFF : 0x55);
        QVERIFY(!e.unknownAddress);
        QCOMPARE(e.held.size(), recorded.size());
        for (qsizetype i = 0; i < recorded.size(); ++i) {
            QCOMPARE(e.held[i].first, recorded[i]);
            QCOMPARE(e.held[i].second, std::optional<int>(r.sim.byte(recorded[i])));
        }
        for (int a = 0; a < 0x10000; ++a)
            QVERIFY2(r.sim.byte(a) == expected[size_t(a)], qPrintable(QStringLiteral("B%1").arg(a)));
        // Read back in full: the record is gone, and the opening after that finds nothing.
        QVERIFY(!QFile::exists(r.recordPath));
        next.close();
        next.open();
        QVERIFY(!next.earlierRun().found());
        QCOMPARE(prompter.unexpected(), 0);
    }

    // A write that ends cleanly leaves no record behind (the file goes when
    // the link closes), and the record was written once for the whole value
    // (not once per triple).
    void cleanWriteLeavesNoRecord()
    {
        Rig r;
        r.openOnline();
        WriteAheadRecord reader;
        reader.setPath(r.recordPath);
        QVERIFY(r.link.writeRegister(QStringLiteral("D1100"), QStringLiteral("123456789")).ok());
        QCOMPARE(r.sim.getD(1100), qint64(123456789));
        QCOMPARE(r.link.writeAheadRecord().writes(), 1);
        QVERIFY(!reader.left()); // cleared
        QVERIFY(r.link.writeRegister(QStringLiteral("W1026"), QStringLiteral("7")).ok());
        QCOMPARE(r.link.writeAheadRecord().writes(), 2);
        QVERIFY(!reader.left());
        r.link.close();
        QVERIFY(!QFile::exists(r.recordPath));
    }

    // A board left inside a triple by a link of this program that closed
    // (the line silent after the high byte): close() keeps the record, and
    // the next opening of the same program reads it back.
    void closeKeepsTheLinksOwnPendingStores()
    {
        Rig r;
        r.openOnline();
        r.sim.setByte(0x04FF, 0x21);
        r.sim.dropOutAfter(3); // the handshake and W1026's high byte
        r.prompter.setDefaultMsgAnswer(MsgResult::Cancel);
        QVERIFY(!r.link.writeRegister(QStringLiteral("W1026"), QStringLiteral("1")).ok());
        r.link.close();
        QVERIFY(QFile::exists(r.recordPath));
        r.sim.setDroppedOut(false);
        r.link.open();
        const ByteLink::EarlierRun& e = r.link.earlierRun();
        QVERIFY(e.insideRecord);
        QCOMPARE(r.sim.byte(0x04FF), std::uint8_t(0xFF));
        QCOMPARE(e.held.last(), (std::pair<int, std::optional<int>>(0x04FF, 0xFF)));
    }

    // With no record, an echoed opening byte is a board inside a triple at
    // an address nobody recorded; another answer is a read pair's data
    // (nothing stored), which is not an earlier write.
    void openingEchoWithoutARecordIsAnUnknownStore()
    {
        Rig r;
        r.sim.receive(0xFF);
        r.sim.receive(0x02);
        r.sim.receive(0x10); // inside a write triple: high byte heard
        r.openOnline();
        QVERIFY(r.link.earlierRun().insideRecord);
        QVERIFY(r.link.earlierRun().unknownAddress);
        QVERIFY(r.link.earlierRun().held.isEmpty());
        QCOMPARE(r.sim.byte(0x10FF), std::uint8_t(0xFF));

        Rig read;
        read.sim.setByte(0x10FF, 0x3C);
        read.sim.receive(0xFF);
        read.sim.receive(0x01);
        read.sim.receive(0x10); // inside a read pair
        read.openOnline();
        QVERIFY(!read.link.earlierRun().found());
        QCOMPARE(read.link.earlierRun().firstReply, 0x3C);

        // A record the disk tore (no "end" line): what it names is read
        // back, and it cannot tell where else the board stored.
        Rig torn;
        QDir().mkpath(QFileInfo(torn.recordPath).absolutePath());
        QFile f(torn.recordPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("TALVEK write-ahead record\nstore 1026\nsto");
        f.close();
        torn.sim.setByte(1026, 9);
        torn.openOnline();
        QVERIFY(torn.link.earlierRun().recorded);
        QVERIFY(!torn.link.earlierRun().insideRecord);
        QVERIFY(torn.link.earlierRun().unknownAddress);
        QCOMPARE(torn.link.earlierRun().held, (QList<std::pair<int, std::optional<int>>> { { 1026, 9 } }));
        QVERIFY(!QFile::exists(torn.recordPath));
    }
};

QTEST_GUILESS_MAIN(TestByteLink)
#include "tst_bytelink.moc"
