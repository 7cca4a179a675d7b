#include "K7700Sim.h"
#include "SimPort.h"

#include <QStringList>
#include <QTest>
#include <optional>

using talvek::FakeClock;
using talvek::K7700Sim;
using talvek::SerialError;
using talvek::test::SimPort;
namespace SerialErrorNumber = talvek::SerialErrorNumber;

namespace {

// Feeds the bytes (hex text "FF 01 03") one by one and returns the replies as
// hex text, one entry per byte sent: "--" for no reply, "AA" for one byte,
// "AABB" when noise came first.
QString exchange(K7700Sim& sim, const QString& hexBytes)
{
    QStringList out;
    const QStringList parts = hexBytes.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& p : parts) {
        bool ok = false;
        const int b = p.toInt(&ok, 16);
        Q_ASSERT(ok && b >= 0 && b <= 255);
        const K7700Sim::Reply r = sim.receive(static_cast<std::uint8_t>(b));
        out << (r.isEmpty() ? QStringLiteral("--") : QString::fromLatin1(r.bytes.toHex().toUpper()));
    }
    return out.join(QLatin1Char(' '));
}

} // namespace

class tst_K7700Sim : public QObject
{
    Q_OBJECT

private slots:
    void protocol_data();
    void protocol();
    void wireExamples();
    void memoryLayout();
    void writeThenReadValues_data();
    void writeThenReadValues();
    void machineMoves();
    void machineCountsAndWraps();
    void faultSilence();
    void faultLateReply();
    void faultWrongEcho();
    void faultNoise();
    void faultDropOut();

    void simPortExchanges();
    void simPortLateReplyAndWaits();
    void simPortClosedAndRefused();
    void simPortNoiseAndDiscard();
    void simPortPressFollowsClock();
};

void tst_K7700Sim::protocol_data()
{
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("replies");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("step");

    const int idle = int(K7700Sim::Mode::Idle);
    const int command = int(K7700Sim::Mode::Command);
    const int read = int(K7700Sim::Mode::Read);
    const int write = int(K7700Sim::Mode::Write);

    // Memory for these rows: byte 0x0010 = 0x5A, byte 0x01FF = 0xC3 (see protocol()).
    QTest::newRow("idle ignores all but attention") << "01 02 55 10"
                                                    << "-- -- -- --" << idle << 0;
    QTest::newRow("attention") << "FF"
                               << "55" << command << 0;
    QTest::newRow("attention twice") << "FF FF"
                                     << "55 55" << command << 0;
    QTest::newRow("read handshake") << "FF 01"
                                    << "55 55" << read << 0;
    QTest::newRow("write handshake") << "FF 02"
                                     << "55 55" << write << 0;
    QTest::newRow("unknown command goes idle") << "FF 07 01 00"
                                               << "55 -- -- --" << idle << 0;
    QTest::newRow("attention after unknown command") << "FF 07 FF 01"
                                                     << "55 -- 55 55" << read << 0;
    QTest::newRow("read one byte") << "FF 01 00 10"
                                   << "55 55 00 5A" << read << 0;
    QTest::newRow("read mode persists") << "FF 01 00 10 00 10 01 FF"
                                        << "55 55 00 5A 00 5A 01 C3" << read << 0;
    QTest::newRow("half a read triple") << "FF 01 01"
                                        << "55 55 01" << read << 1;
    QTest::newRow("FF as address low byte is an address") << "FF 01 01 FF"
                                                          << "55 55 01 C3" << read << 0;
    QTest::newRow("FF at triple start is attention (read)") << "FF 01 FF 02"
                                                            << "55 55 55 55" << write << 0;
    QTest::newRow("write triple echoes") << "FF 02 00 20 7E"
                                         << "55 55 00 20 7E" << write << 0;
    QTest::newRow("FF as data byte is data") << "FF 02 00 20 FF"
                                             << "55 55 00 20 FF" << write << 0;
    QTest::newRow("FF at triple start is attention (write)") << "FF 02 00 20 7E FF 01 00 20"
                                                             << "55 55 00 20 7E 55 55 00 7E" << read << 0;
    QTest::newRow("write then read back") << "FF 02 01 FF 11 FF 01 01 FF"
                                          << "55 55 01 FF 11 55 55 01 11" << read << 0;
    QTest::newRow("FF inside a write triple is data") << "FF 02 00 10 FF FF 01 00 10"
                                                      << "55 55 00 10 FF 55 55 00 FF" << read << 0;
}

void tst_K7700Sim::protocol()
{
    QFETCH(QString, sent);
    QFETCH(QString, replies);
    QFETCH(int, mode);
    QFETCH(int, step);

    K7700Sim sim;
    sim.setByte(0x0010, 0x5A);
    sim.setByte(0x01FF, 0xC3);
    QCOMPARE(exchange(sim, sent), replies);
    QCOMPARE(int(sim.mode()), mode);
    QCOMPARE(sim.step(), step);
}

void tst_K7700Sim::wireExamples()
{
    K7700Sim sim;
    sim.setWord(0x03F8, 0xBEEF);
    // Handshake, then one word at byte address 0x03F8.
    QCOMPARE(exchange(sim, QStringLiteral("FF 01")), QStringLiteral("55 55"));
    QCOMPARE(exchange(sim, QStringLiteral("03 F8 03 F9")), QStringLiteral("03 EF 03 BE"));

    // Writing 1000 to W180 in write mode.
    QCOMPARE(exchange(sim, QStringLiteral("FF 02")), QStringLiteral("55 55"));
    QCOMPARE(exchange(sim, QStringLiteral("00 B4 E8 00 B5 03")), QStringLiteral("00 B4 E8 00 B5 03"));
    QCOMPARE(sim.word(180), quint16(1000));
    QCOMPARE(sim.byte(180), std::uint8_t(0xE8));
    QCOMPARE(sim.byte(181), std::uint8_t(0x03));
    QCOMPARE(sim.bytesReceived(), qint64(14));
}

void tst_K7700Sim::memoryLayout()
{
    K7700Sim sim;
    sim.setD(1100, 123456789);
    // L = 6789 = 0x1A85, H = 12345 = 0x3039, each low byte first.
    QCOMPARE(sim.byte(1100), std::uint8_t(0x85));
    QCOMPARE(sim.byte(1101), std::uint8_t(0x1A));
    QCOMPARE(sim.byte(1102), std::uint8_t(0x39));
    QCOMPARE(sim.byte(1103), std::uint8_t(0x30));
    QCOMPARE(sim.word(1100), quint16(6789));
    QCOMPARE(sim.word(1102), quint16(12345));
    QCOMPARE(sim.getD(1100), qint64(123456789));

    sim.setD(1200, 655359999);
    QCOMPARE(sim.word(1200), quint16(9999));
    QCOMPARE(sim.word(1202), quint16(65535));
    QCOMPARE(sim.getD(1200), qint64(655359999));

    // Flags: F7 is bit 7 of byte 32, F8 bit 0 of byte 33, F858 bit 2 of byte 139.
    sim.setFlag(7, true);
    QCOMPARE(sim.byte(32), std::uint8_t(0x80));
    sim.setFlag(8, true);
    sim.setFlag(858, true);
    QCOMPARE(sim.byte(33), std::uint8_t(0x01));
    QCOMPARE(sim.byte(139), std::uint8_t(0x04));
    QVERIFY(sim.flag(858));
    QVERIFY(!sim.flag(857));
    sim.setByte(40, 0xFF);
    sim.setFlag(66, false); // bit 2 of byte 40
    QCOMPARE(sim.byte(40), std::uint8_t(0xFB));

    // Address texts, as the command input and the checks read them.
    QCOMPARE(sim.valueAt(QStringLiteral("D1100")), std::optional<qint64>(123456789));
    QCOMPARE(sim.valueAt(QStringLiteral("w1102")), std::optional<qint64>(12345));
    QCOMPARE(sim.valueAt(QStringLiteral("B1100")), std::optional<qint64>(0x85));
    QCOMPARE(sim.valueAt(QStringLiteral("F858")), std::optional<qint64>(1));
    QCOMPARE(sim.valueAt(QStringLiteral("F857")), std::optional<qint64>(0));
    QCOMPARE(sim.valueAt(QStringLiteral("B40.2")), std::optional<qint64>(0));
    QCOMPARE(sim.valueAt(QStringLiteral("B40.7")), std::optional<qint64>(1));
    for (const char* bad : { "B40.8", "W40.1", "X40", "B65536", "B-1", "B", "" })
        QVERIFY2(!sim.valueAt(QString::fromLatin1(bad)), bad);

    // The word at the very top wraps to address 0 for its high byte.
    sim.setWord(0xFFFF, 0x1234);
    QCOMPARE(sim.byte(0xFFFF), std::uint8_t(0x34));
    QCOMPARE(sim.byte(0), std::uint8_t(0x12));
}

void tst_K7700Sim::writeThenReadValues_data()
{
    QTest::addColumn<QString>("writeBytes");
    QTest::addColumn<QString>("readBytes");
    QTest::addColumn<QString>("readReplies");
    QTest::addColumn<char>("type");
    QTest::addColumn<int>("address");
    QTest::addColumn<qint64>("value");

    QTest::newRow("B166 = 200") << "00 A6 C8"
                                << "00 A6"
                                << "00 C8" << 'B' << 166 << qint64(200);
    QTest::newRow("W1026 = 300") << "04 02 2C 04 03 01"
                                 << "04 02 04 03"
                                 << "04 2C 04 01" << 'W' << 1026 << qint64(300);
    QTest::newRow("D1100 = 123456789") << "04 4C 85 04 4D 1A 04 4E 39 04 4F 30"
                                       << "04 4C 04 4D 04 4E 04 4F"
                                       << "04 85 04 1A 04 39 04 30" << 'D' << 1100 << qint64(123456789);
    QTest::newRow("B61424 ident = 80") << "EF F0 50"
                                       << "EF F0"
                                       << "EF 50" << 'B' << 61424 << qint64(80);
}

void tst_K7700Sim::writeThenReadValues()
{
    QFETCH(QString, writeBytes);
    QFETCH(QString, readBytes);
    QFETCH(QString, readReplies);
    QFETCH(char, type);
    QFETCH(int, address);
    QFETCH(qint64, value);

    K7700Sim sim;
    QCOMPARE(exchange(sim, QStringLiteral("FF 02")), QStringLiteral("55 55"));
    QCOMPARE(exchange(sim, writeBytes), writeBytes); // every byte echoed
    switch (type) {
    case 'B':
        QCOMPARE(qint64(sim.byte(address)), value);
        break;
    case 'W':
        QCOMPARE(qint64(sim.word(address)), value);
        break;
    default:
        QCOMPARE(sim.getD(address), value);
        break;
    }
    QCOMPARE(exchange(sim, QStringLiteral("FF 01")), QStringLiteral("55 55"));
    QCOMPARE(exchange(sim, readBytes), readReplies);
}

void tst_K7700Sim::machineMoves()
{
    K7700Sim sim;
    sim.setWord(K7700Sim::SpeedWord, 60); // one stroke a second
    sim.advance(500);
    QCOMPARE(sim.word(K7700Sim::PositionWord), quint16(0)); // stopped: nothing moves

    sim.setRunning(true);
    sim.advance(500);
    QCOMPARE(sim.word(K7700Sim::PositionWord), quint16(180));
    sim.advance(250);
    QCOMPARE(sim.word(K7700Sim::PositionWord), quint16(270));
    QCOMPARE(sim.getD(K7700Sim::GoodCansDword), qint64(0));
    sim.advance(260); // 3.6 degrees past the top
    QCOMPARE(sim.word(K7700Sim::PositionWord), quint16(3));
    QCOMPARE(sim.getD(K7700Sim::GoodCansDword), qint64(1));
    QCOMPARE(sim.strokes(), qint64(1));

    // The fraction of a degree is kept: 1 SPM is 0.006 degrees per ms.
    sim.setWord(K7700Sim::PositionWord, 0);
    sim.setWord(K7700Sim::SpeedWord, 1);
    for (int i = 0; i < 3; ++i)
        sim.advance(100); // 1.8 plus the 0.6 left from before
    QCOMPARE(sim.word(K7700Sim::PositionWord), quint16(2));

    // A position written from outside is taken up modulo 360.
    sim.setWord(K7700Sim::PositionWord, 1000); // 280 degrees
    sim.setWord(K7700Sim::SpeedWord, 60);
    sim.advance(100); // +36 degrees (and the 0.4 fraction)
    QCOMPARE(sim.word(K7700Sim::PositionWord), quint16(316));

    sim.setRunning(false);
    sim.advance(10000);
    QCOMPARE(sim.word(K7700Sim::PositionWord), quint16(316));
    QCOMPARE(sim.getD(K7700Sim::GoodCansDword), qint64(1));
}

void tst_K7700Sim::machineCountsAndWraps()
{
    K7700Sim sim;
    sim.setRunning(true);
    sim.setWord(K7700Sim::SpeedWord, 250);
    sim.advance(60000); // 250 strokes in one long step
    QCOMPARE(sim.strokes(), qint64(250));
    QCOMPARE(sim.word(K7700Sim::ShortCansWord), quint16(2)); // strokes 100 and 200
    QCOMPARE(sim.getD(K7700Sim::GoodCansDword), qint64(248));
    QCOMPARE(sim.word(K7700Sim::PositionWord), quint16(0));

    // The same time in small steps counts the same.
    K7700Sim stepped;
    stepped.setRunning(true);
    stepped.setWord(K7700Sim::SpeedWord, 250);
    for (int i = 0; i < 6000; ++i)
        stepped.advance(10);
    QCOMPARE(stepped.strokes(), qint64(250));
    QCOMPARE(stepped.getD(K7700Sim::GoodCansDword), qint64(248));
    QCOMPARE(stepped.word(K7700Sim::ShortCansWord), quint16(2));

    // Counters wrap at their limits.
    K7700Sim wrap;
    wrap.setRunning(true);
    wrap.setShortCanInterval(2);
    wrap.setD(K7700Sim::GoodCansDword, 655359999);
    wrap.setWord(K7700Sim::ShortCansWord, 65535);
    wrap.setWord(K7700Sim::SpeedWord, 60);
    wrap.advance(2000); // stroke 1 good, stroke 2 short
    QCOMPARE(wrap.getD(K7700Sim::GoodCansDword), qint64(0));
    QCOMPARE(wrap.word(K7700Sim::ShortCansWord), quint16(0));
}

void tst_K7700Sim::faultSilence()
{
    K7700Sim sim;
    sim.setByte(0x0310, 0x42);
    QCOMPARE(exchange(sim, QStringLiteral("FF 01")), QStringLiteral("55 55"));
    sim.silenceNext(2);
    // The two silenced bytes are not heard: the triple starts again after them.
    QCOMPARE(exchange(sim, QStringLiteral("03 10 03 10")), QStringLiteral("-- -- 03 42"));
    QCOMPARE(sim.bytesReceived(), qint64(6));

    // A resynchronising attention after a lost address byte is an attention.
    sim.silenceNext(1);
    QCOMPARE(exchange(sim, QStringLiteral("03 FF 01 03 10")), QStringLiteral("-- 55 55 03 42"));

    // Silence that starts after two heard bytes, for three bytes.
    sim.silenceNext(3, 2);
    QCOMPARE(exchange(sim, QStringLiteral("03 10 03 10 FF 03 10")), QStringLiteral("03 42 -- -- -- 03 42"));
}

void tst_K7700Sim::faultLateReply()
{
    // A late answer to the attention byte, and the PC's resynchronising
    // attention after it goes unheard: the late 0x55 is the only reply.
    {
        K7700Sim sim;
        sim.delayNextReply(1500);
        sim.silenceNext(1, 1);
        const K7700Sim::Reply first = sim.receive(0xFF);
        QCOMPARE(first.bytes, QByteArray("\x55"));
        QCOMPARE(first.delayMs, 1500);
        QVERIFY(sim.receive(0xFF).isEmpty());
        QCOMPARE(sim.receive(0x01).bytes, QByteArray("\x55"));
        QCOMPARE(sim.mode(), K7700Sim::Mode::Read);
    }

    K7700Sim sim;
    sim.delayNextReply(1500);
    sim.receive(0x01); // ignored in Idle: no reply, the delay waits for a real reply
    const K7700Sim::Reply late = sim.receive(0xFF);
    QCOMPARE(late.bytes, QByteArray("\x55"));
    QCOMPARE(late.delayMs, 1500);
    const K7700Sim::Reply next = sim.receive(0x01);
    QCOMPARE(next.bytes, QByteArray("\x55"));
    QCOMPARE(next.delayMs, 0);
}

void tst_K7700Sim::faultWrongEcho()
{
    K7700Sim sim;
    QCOMPARE(exchange(sim, QStringLiteral("FF 02 00 20")), QStringLiteral("55 55 00 20"));
    sim.corruptNextReply();
    // The data byte is stored, but its echo comes back complemented.
    QCOMPARE(exchange(sim, QStringLiteral("7E")), QStringLiteral("81"));
    QCOMPARE(sim.byte(0x20), std::uint8_t(0x7E));
    sim.corruptNextReply(0x33);
    QCOMPARE(exchange(sim, QStringLiteral("00 21 7F 00 22")), QStringLiteral("33 21 7F 00 22"));
    QCOMPARE(sim.byte(0x21), std::uint8_t(0x7F));
}

void tst_K7700Sim::faultNoise()
{
    K7700Sim sim;
    sim.setByte(0x0010, 0x5A);
    sim.insertNoiseBeforeNextReply(0xA5);
    QCOMPARE(exchange(sim, QStringLiteral("FF 01 00 10")), QStringLiteral("A555 55 00 5A"));

    // Faults combine on one reply, and clearFaults() forgets pending ones.
    sim.insertNoiseBeforeNextReply(0x11);
    sim.corruptNextReply(0x22);
    sim.delayNextReply(40);
    const K7700Sim::Reply r = sim.receive(0x00);
    QCOMPARE(r.bytes, QByteArray("\x11\x22"));
    QCOMPARE(r.delayMs, 40);
    sim.insertNoiseBeforeNextReply(0x11);
    sim.silenceNext(5);
    sim.clearFaults();
    QCOMPARE(exchange(sim, QStringLiteral("10")), QStringLiteral("5A"));
}

void tst_K7700Sim::faultDropOut()
{
    K7700Sim sim;
    sim.setByte(0x0010, 0x5A);
    QCOMPARE(exchange(sim, QStringLiteral("FF 01 00")), QStringLiteral("55 55 00"));
    sim.setDroppedOut(true);
    QVERIFY(sim.droppedOut());
    QCOMPARE(exchange(sim, QStringLiteral("10 FF 01 00 10")), QStringLiteral("-- -- -- -- --"));
    sim.setDroppedOut(false);
    // State was kept: the half triple finishes.
    QCOMPARE(exchange(sim, QStringLiteral("10")), QStringLiteral("5A"));
    QCOMPARE(sim.bytesReceived(), qint64(9));

    // Drop-out mid-transfer: three more bytes are heard, then nothing.
    sim.dropOutAfter(3);
    QCOMPARE(exchange(sim, QStringLiteral("00 10 00 10 00")), QStringLiteral("00 5A 00 -- --"));
    QVERIFY(sim.droppedOut());
    sim.setDroppedOut(false);
    QCOMPARE(exchange(sim, QStringLiteral("10 00 10")), QStringLiteral("5A 00 5A"));
}

void tst_K7700Sim::simPortExchanges()
{
    K7700Sim sim;
    FakeClock clock;
    SimPort port(sim, clock);
    sim.setWord(0x03F8, 0x1234);
    QCOMPARE(port.deviceForPort(7), QStringLiteral("sim:COM7"));
    port.open();
    QVERIFY(port.isOpen());

    const qint64 t0 = clock.nowMs();
    port.write(QByteArray::fromHex("FF01"));
    // Immediate replies are in the buffer at once; no time passes.
    QCOMPARE(port.bytesAvailable(), 2);
    QCOMPARE(port.readByte(), 0x55);
    QCOMPARE(port.readByte(), 0x55);
    QCOMPARE(port.readByte(), -1);
    QVERIFY(!port.waitForInput(0));
    QCOMPARE(clock.nowMs(), t0);

    for (const char c : QByteArray::fromHex("03F803F9")) {
        port.write(QByteArray(1, c));
        QVERIFY(port.waitForInput(1000));
        QVERIFY(port.readByte() >= 0);
    }
    QCOMPARE(port.written(), QByteArray::fromHex("FF0103F803F9"));
    QCOMPARE(port.readBytes(),
        QByteArray::fromHex("5555033403"
                            "12"));
    QCOMPARE(port.exchanges().size(), 6);
    QCOMPARE(port.exchanges().at(3).sent, quint8(0xF8));
    QCOMPARE(port.exchanges().at(3).reply, QByteArray::fromHex("34"));
    QCOMPARE(port.exchanges().at(3).replyAtMs, t0);
    QCOMPARE(clock.nowMs(), t0);

    port.clearRecord();
    QVERIFY(port.written().isEmpty());
    QVERIFY(port.readBytes().isEmpty());
    QVERIFY(port.exchanges().isEmpty());
}

void tst_K7700Sim::simPortLateReplyAndWaits()
{
    K7700Sim sim;
    FakeClock clock;
    SimPort port(sim, clock);
    port.open();
    const qint64 t0 = clock.nowMs();

    // A silent board: the wait lets exactly the timeout pass.
    sim.silenceNext(1);
    port.write(QByteArray(1, char(0xFF)));
    QVERIFY(!port.waitForInput(1000));
    QCOMPARE(clock.nowMs(), t0 + 1000);
    QCOMPARE(port.exchanges().at(0).reply, QByteArray());

    // A reply 1500 ms late: not within the first 1000 ms window, then the
    // wait ends exactly when it arrives.
    sim.delayNextReply(1500);
    const qint64 t1 = clock.nowMs();
    port.write(QByteArray(1, char(0xFF)));
    QVERIFY(!port.waitForInput(1000));
    QCOMPARE(clock.nowMs(), t1 + 1000);
    QCOMPARE(port.bytesAvailable(), 0);
    QVERIFY(port.waitForInput(1000));
    QCOMPARE(clock.nowMs(), t1 + 1500);
    QCOMPARE(port.readByte(), 0x55);
    QCOMPARE(port.exchanges().at(1).replyAtMs, t1 + 1500);

    // A late reply that was discarded before it arrived is not lost: it was
    // still on the wire.
    sim.delayNextReply(300);
    port.write(QByteArray(1, char(0x01)));
    port.discardInput();
    clock.advance(300);
    QCOMPARE(port.bytesAvailable(), 1);
    QCOMPARE(port.readByte(), 0x55);

    // One line: a prompt reply waits behind a late one, and a doubled reply
    // comes after its original. (Read mode; word 0x03F8 holds 0xBEEF.)
    sim.setWord(0x03F8, 0xBEEF);
    port.write(QByteArray::fromHex("FF01"));
    port.discardInput();
    sim.delayNextReply(400);
    const qint64 t3 = clock.nowMs();
    port.write(QByteArray::fromHex("03"));
    port.repeatLastReply();
    port.write(QByteArray::fromHex("F8"));
    QCOMPARE(port.bytesAvailable(), 0);
    QCOMPARE(port.exchanges().last().replyAtMs, t3 + 400);
    clock.advance(400);
    QCOMPARE(port.bytesAvailable(), 3);
    QCOMPARE(port.readByte(), 0x03);
    QCOMPARE(port.readByte(), 0x03);
    QCOMPARE(port.readByte(), 0xEF);

    // Negative or zero timeouts do not move the clock.
    const qint64 t2 = clock.nowMs();
    QVERIFY(!port.waitForInput(-5));
    QCOMPARE(clock.nowMs(), t2);
}

void tst_K7700Sim::simPortClosedAndRefused()
{
    K7700Sim sim;
    FakeClock clock;
    SimPort port(sim, clock);
    QVERIFY(!port.isOpen());
    QCOMPARE(port.readByte(), -1);
    QCOMPARE(port.bytesAvailable(), 0);
    try {
        port.write(QByteArray(1, char(0xFF)));
        QFAIL("write on a closed port must throw");
    } catch (const SerialError& e) {
        QCOMPARE(e.number(), SerialErrorNumber::kPortNotOpen);
    }
    QCOMPARE(sim.bytesReceived(), qint64(0));
    // A wait on a closed port lets the time pass and finds nothing.
    const qint64 t0 = clock.nowMs();
    QVERIFY(!port.waitForInput(250));
    QCOMPARE(clock.nowMs(), t0 + 250);

    port.setCommPort(3);
    port.setSettings(QStringLiteral("19200,n,8,1"));
    QCOMPARE(port.commPort(), 3);
    QCOMPARE(port.settings(), QStringLiteral("19200,n,8,1"));

    port.refuseCommPort(SerialError(
        SerialErrorNumber::kInvalidPortNumber, QStringLiteral("t"), QStringLiteral("Invalid port number")));
    port.refuseSettings(SerialError(SerialErrorNumber::kInvalidPropertyValue, QStringLiteral("t"),
        QStringLiteral("Invalid property value")));
    try {
        port.setCommPort(4);
        QFAIL("setCommPort must throw");
    } catch (const SerialError& e) {
        QCOMPARE(e.number(), SerialErrorNumber::kInvalidPortNumber);
    }
    try {
        port.setSettings(QStringLiteral("9600,n,8,1"));
        QFAIL("setSettings must throw");
    } catch (const SerialError& e) {
        QCOMPARE(e.number(), SerialErrorNumber::kInvalidPropertyValue);
    }
    QCOMPARE(port.commPort(), 3);
    QCOMPARE(port.settings(), QStringLiteral("19200,n,8,1"));
    port.refuseCommPort(std::nullopt);
    port.refuseSettings(std::nullopt);

    port.failOpenWith(
        SerialError(SerialErrorNumber::kPortUnavailable, QStringLiteral("t"), QStringLiteral("in use")));
    try {
        port.open();
        QFAIL("open must throw");
    } catch (const SerialError& e) {
        QCOMPARE(e.number(), SerialErrorNumber::kPortUnavailable);
        QCOMPARE(e.description(), QStringLiteral("in use"));
    }
    QVERIFY(!port.isOpen());
    port.failOpenWith(std::nullopt);
    port.open();
    QCOMPARE(port.openCount(), 1);
    try {
        port.setCommPort(2);
        QFAIL("changing the port of an open port must throw");
    } catch (const SerialError& e) {
        QCOMPARE(e.number(), SerialErrorNumber::kPortAlreadyOpen);
    }

    // A reply still on the wire is lost when the port closes.
    sim.delayNextReply(10);
    port.write(QByteArray(1, char(0xFF)));
    port.close();
    QCOMPARE(port.closeCount(), 1);
    port.open();
    clock.advance(50);
    QCOMPARE(port.bytesAvailable(), 0);
}

void tst_K7700Sim::simPortNoiseAndDiscard()
{
    K7700Sim sim;
    FakeClock clock;
    SimPort port(sim, clock);
    port.open();
    port.injectInput(QByteArray::fromHex("A5"));
    QCOMPARE(port.bytesAvailable(), 1);
    QVERIFY(port.waitForInput(1000));
    port.write(QByteArray(1, char(0xFF)));
    QCOMPARE(port.readByte(), 0xA5); // the noise comes first
    QCOMPARE(port.readByte(), 0x55);

    port.injectInput(QByteArray::fromHex("0102"));
    sim.insertNoiseBeforeNextReply(0x7E);
    port.write(QByteArray(1, char(0x01)));
    QCOMPARE(port.bytesAvailable(), 4);
    port.discardInput();
    QCOMPARE(port.bytesAvailable(), 0);
    QCOMPARE(port.discarded(), QByteArray::fromHex("01027E55"));
    QCOMPARE(port.readBytes(), QByteArray::fromHex("A555"));
}

void tst_K7700Sim::simPortPressFollowsClock()
{
    K7700Sim sim;
    FakeClock clock;
    SimPort port(sim, clock);
    sim.setRunning(true);
    sim.setWord(K7700Sim::SpeedWord, 60);
    port.open();
    // Time passing in a wait, in the clock itself (a busy wait of the link)
    // and through the port all move the press.
    QVERIFY(!port.waitForInput(250));
    QCOMPARE(sim.word(K7700Sim::PositionWord), quint16(90));
    clock.sleepMs(250);
    QCOMPARE(port.bytesAvailable(), 0);
    QCOMPARE(sim.word(K7700Sim::PositionWord), quint16(180));
    port.letTimePass(500);
    QCOMPARE(sim.word(K7700Sim::PositionWord), quint16(0));
    QCOMPARE(sim.getD(K7700Sim::GoodCansDword), qint64(1));

    // Reading the position over the port sees the press where the clock is.
    port.write(QByteArray::fromHex("FF01"));
    port.discardInput();
    clock.advance(100); // 36 degrees
    port.write(QByteArray::fromHex("00B4"));
    QCOMPARE(port.readByte(), 0x00);
    QCOMPARE(port.readByte(), 36);
}

QTEST_GUILESS_MAIN(tst_K7700Sim)
#include "tst_k7700sim.moc"
