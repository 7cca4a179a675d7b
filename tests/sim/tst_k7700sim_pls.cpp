// The simulator's PLS board: its commands byte by byte, and the model behind
// them (position, channels, outputs, configuration, busy and refusal).

#include "K7700Sim.h"
#include "SimPort.h"

#include <QStringList>
#include <QTest>

using talvek::FakeClock;
using talvek::K7700Sim;
using talvek::test::SimPort;
using Kind = talvek::K7700Sim::PLSChannel::Kind;

namespace {

// Feeds the bytes (hex text "FF 18 55") one by one and returns the replies as
// hex text: "--" for no reply, "AA" for one byte.
QString exchange(K7700Sim& sim, const QString& hexBytes)
{
    QStringList out;
    for (const QString& p : hexBytes.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int b = p.toInt(&ok, 16);
        Q_ASSERT(ok && b >= 0 && b <= 255);
        const K7700Sim::Reply r = sim.receive(static_cast<std::uint8_t>(b));
        out << (r.isEmpty() ? QStringLiteral("--") : QString::fromLatin1(r.bytes.toHex().toUpper()));
    }
    return out.join(QLatin1Char(' '));
}

K7700Sim::PLSChannel setpoints(int on, int off)
{
    K7700Sim::PLSChannel c;
    c.kind = Kind::Setpoints;
    c.on = quint16(on);
    c.off = quint16(off);
    return c;
}

K7700Sim::PLSChannel pulseTrain(int start, int on, int off)
{
    K7700Sim::PLSChannel c;
    c.kind = Kind::PulseTrain;
    c.on = quint16(start);
    c.onDivisions = quint8(on);
    c.offDivisions = quint8(off);
    return c;
}

// The board of the protocol rows: offset 10, resolver at 110 degrees
// (position 100), press running at 250 SPM, channel 0 at 150 / 170 (0x96 /
// 0xAA), channel 8 a pulse train from 5, 30 on / 30 off, channel 15 at 4500
// (0x1194) / 20 on a scale of 8000 only where a row sets it.
void protocolBoard(K7700Sim& sim)
{
    sim.setPLSOffset(10);
    sim.setWord(K7700Sim::PositionWord, 110);
    sim.setWord(K7700Sim::SpeedWord, 250);
    sim.setRunning(true);
    sim.setPLSChannel(0, setpoints(150, 170));
    sim.setPLSChannel(8, pulseTrain(5, 30, 30));
    auto table = sim.plsConfigTable();
    for (int i = 1; i < K7700Sim::PLSConfigTableSize; ++i)
        table[size_t(i)] = quint8(0xA0 + i);
    sim.setPLSConfigTable(table);
}

} // namespace

class tst_K7700SimPLS : public QObject
{
    Q_OBJECT

private slots:
    void protocol_data();
    void protocol();
    void wordWritesTakeEffect();
    void recordsProgramChannels_data();
    void recordsProgramChannels();
    void recallAlternatesPerChannel();
    void configurationBlocksMapOntoTheTable();
    void readyQueryBusyAndLate();
    void refusalOnRequest();
    void positionAndOutputsFollowThePress();
    void outputs_data();
    void outputs();
    void powerUpAndCopies();
    void readsThroughSimPort();
};

void tst_K7700SimPLS::protocol_data()
{
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("replies");
    QTest::addColumn<int>("mode");

    const int idle = int(K7700Sim::Mode::Idle);
    const int pls = int(K7700Sim::Mode::PLS);
    const int ready = int(K7700Sim::Mode::PLSReady);

    QTest::newRow("read scale") << "FF 18 55 55"
                                << "55 55 68 01" << idle;
    QTest::newRow("read offset") << "FF 28 55 55"
                                 << "55 55 0A 00" << idle;
    QTest::newRow("read position") << "FF 48 55 55"
                                   << "55 55 64 00" << idle;
    QTest::newRow("read speed") << "FF 58 55 55"
                                << "55 55 FA 00" << idle;
    QTest::newRow("one-shot: a third poll is not answered") << "FF 18 55 55 55"
                                                            << "55 55 68 01 --" << idle;
    QTest::newRow("half a read") << "FF 18 55"
                                 << "55 55 68" << pls;
    QTest::newRow("0xFF inside a read is a poll") << "FF 18 FF"
                                                  << "55 55 68" << pls;
    QTest::newRow("write offset") << "FF 2A 5A 00"
                                  << "55 55 55 55" << idle;
    QTest::newRow("write offset = scale refused") << "FF 2A 68 01 55"
                                                  << "55 55 55 15 --" << idle;
    QTest::newRow("write scale 0 refused") << "FF 1A 00 00"
                                           << "55 55 55 15" << idle;
    QTest::newRow("set record") << "FF 1B 03 0A 00 14 00 01"
                                << "55 55 55 55 55 55 55 55" << idle;
    QTest::newRow("channel 16 refused at once") << "FF 1B 10 0A"
                                                << "55 55 15 --" << idle;
    QTest::newRow("ON at scale refused") << "FF 1B 03 68 01 14 00 01"
                                         << "55 55 55 55 55 55 55 15" << idle;
    QTest::newRow("flag 2 refused") << "FF 1B 03 0A 00 14 00 02"
                                    << "55 55 55 55 55 55 55 15" << idle;
    QTest::newRow("pulse train") << "FF 2B 09 00 00 0A 14 00"
                                 << "55 55 55 55 55 55 55 55" << idle;
    QTest::newRow("pulse train 10 + 25 refused") << "FF 2B 09 00 00 0A 19 00"
                                                 << "55 55 55 55 55 55 55 15" << idle;
    QTest::newRow("pulse train start 360 refused") << "FF 2B 09 68 01 0A 14 00"
                                                   << "55 55 55 55 55 55 55 15" << idle;
    QTest::newRow("pulse train 0 ON refused") << "FF 2B 09 00 00 00 14 00"
                                              << "55 55 55 55 55 55 55 15" << idle;
    QTest::newRow("recall ON then OFF") << "FF 09 00 55 55 55 FF 09 00 55 55 55"
                                        << "55 55 55 01 96 00 55 55 55 00 AA 00" << idle;
    QTest::newRow("recall empty") << "FF 09 05 55 55 55"
                                  << "55 55 55 02 00 00" << idle;
    QTest::newRow("recall pulse train") << "FF 09 08 55 55 55"
                                        << "55 55 55 03 05 00" << idle;
    QTest::newRow("recall channel 16 refused") << "FF 09 10 55"
                                               << "55 55 15 --" << idle;
    QTest::newRow("configuration table")
        << "FF 0C 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55"
        << "55 55 10 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF B0 B1 B2 --" << idle;
    QTest::newRow("configuration block, 0xFF as data") << "FF 3B FF 01 02 03 04 05"
                                                       << "55 55 55 55 55 55 55 55" << idle;
    QTest::newRow("ready query") << "38 55 55"
                                 << "55 00 55" << idle;
    QTest::newRow("ready query, 0xFF as poll") << "38 FF FF"
                                               << "55 00 55" << idle;
    QTest::newRow("half a ready query") << "38"
                                        << "55" << ready;
    QTest::newRow("idle ignores polls") << "55 55 12"
                                        << "-- -- --" << idle;
    QTest::newRow("read mode takes 0x38 as an address") << "FF 01 38 00"
                                                        << "55 55 38 00" << int(K7700Sim::Mode::Read);
    QTest::newRow("write mode is no ready query") << "FF 02 38"
                                                  << "55 55 38" << int(K7700Sim::Mode::Write);
    QTest::newRow("unknown command, then ready query") << "FF 19 38 55 55"
                                                       << "55 -- 55 00 55" << idle;
}

void tst_K7700SimPLS::protocol()
{
    QFETCH(QString, sent);
    QFETCH(QString, replies);
    QFETCH(int, mode);
    K7700Sim sim;
    protocolBoard(sim);
    QCOMPARE(exchange(sim, sent), replies);
    QCOMPARE(int(sim.mode()), mode);
}

void tst_K7700SimPLS::wordWritesTakeEffect()
{
    K7700Sim sim;
    protocolBoard(sim);
    QCOMPARE(exchange(sim, "FF 2A 5A 00"), QStringLiteral("55 55 55 55"));
    QCOMPARE(sim.plsOffset(), quint16(90));
    QCOMPARE(sim.plsPosition(), quint16(20)); // resolver 110 - 90
    QCOMPARE(sim.word(K7700Sim::PLSOffsetWord), quint16(90));

    // Refused writes change nothing.
    QCOMPARE(exchange(sim, "FF 2A 68 01"), QStringLiteral("55 55 55 15"));
    QCOMPARE(exchange(sim, "FF 1A 00 00"), QStringLiteral("55 55 55 15"));
    QCOMPARE(sim.plsOffset(), quint16(90));
    QCOMPARE(sim.plsScaleFactor(), quint16(360));

    // A new scale factor takes the offset modulo itself; W186 follows.
    QCOMPARE(exchange(sim, "FF 1A 3C 00"), QStringLiteral("55 55 55 55"));
    QCOMPARE(sim.plsScaleFactor(), quint16(60));
    QCOMPARE(sim.plsOffset(), quint16(30));
    QCOMPARE(sim.word(K7700Sim::PLSScaleWord), quint16(60));
    QCOMPARE(sim.word(K7700Sim::PLSOffsetWord), quint16(30));
    // Resolver 110 degrees = 18 divisions of 60 (18.33), minus 30, modulo 60.
    QCOMPARE(sim.plsPosition(), quint16(48));
    QCOMPARE(exchange(sim, "FF 48 55 55"), QStringLiteral("55 55 30 00"));
}

void tst_K7700SimPLS::recordsProgramChannels_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("onDivisions");
    QTest::addColumn<int>("offDivisions");

    const int empty = int(Kind::Empty);
    const int set = int(Kind::Setpoints);
    const int pulse = int(Kind::PulseTrain);
    // Channel 0 holds 150 / 170 before each row.
    QTest::newRow("set 359 / 10") << "1B 03 67 01 0A 00 01" << true << 3 << set << 359 << 10 << 0 << 0;
    QTest::newRow("set over an old one") << "1B 00 0A 00 14 00 01" << true << 0 << set << 10 << 20 << 0 << 0;
    QTest::newRow("clear") << "1B 00 00 00 00 00 00" << true << 0 << empty << 0 << 0 << 0 << 0;
    QTest::newRow("clear ignores the values")
        << "1B 00 05 00 06 00 00" << true << 0 << empty << 0 << 0 << 0 << 0;
    QTest::newRow("OFF 360 refused") << "1B 00 0A 00 68 01 01" << false << 0 << set << 150 << 170 << 0 << 0;
    QTest::newRow("flag 7 refused") << "1B 00 0A 00 14 00 07" << false << 0 << set << 150 << 170 << 0 << 0;
    QTest::newRow("pulse train 10 / 20 from 5")
        << "2B 0F 05 00 0A 14 00" << true << 15 << pulse << 5 << 0 << 10 << 20;
    QTest::newRow("pulse train 0 OFF refused")
        << "2B 0F 05 00 0A 00 00" << false << 15 << empty << 0 << 0 << 0 << 0;
    QTest::newRow("pulse train 200 + 160 = 360")
        << "2B 0F 00 00 C8 A0 00" << true << 15 << pulse << 0 << 0 << 200 << 160;
}

void tst_K7700SimPLS::recordsProgramChannels()
{
    QFETCH(QString, record);
    QFETCH(bool, accepted);
    QFETCH(int, channel);
    QFETCH(int, kind);
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(int, onDivisions);
    QFETCH(int, offDivisions);

    K7700Sim sim;
    sim.setPLSChannel(0, setpoints(150, 170));
    const QString replies = exchange(sim, QStringLiteral("FF ") + record);
    QCOMPARE(replies.endsWith(QLatin1String("55 55")), accepted);
    QCOMPARE(replies.endsWith(QLatin1String(" 15")), !accepted);
    const K7700Sim::PLSChannel c = sim.plsChannel(channel);
    QCOMPARE(int(c.kind), kind);
    QCOMPARE(int(c.on), first);
    QCOMPARE(int(c.off), second);
    QCOMPARE(int(c.onDivisions), onDivisions);
    QCOMPARE(int(c.offDivisions), offDivisions);
    QCOMPARE(sim.mode(), K7700Sim::Mode::Idle);
}

void tst_K7700SimPLS::recallAlternatesPerChannel()
{
    K7700Sim sim;
    sim.setPLSChannel(1, setpoints(180, 200));
    sim.setPLSChannel(2, setpoints(155, 175));
    const QString recall1 = QStringLiteral("FF 09 01 55 55 55");
    const QString recall2 = QStringLiteral("FF 09 02 55 55 55");
    QCOMPARE(exchange(sim, recall1), QStringLiteral("55 55 55 01 B4 00"));
    // Another channel's recall does not move channel 1's turn.
    QCOMPARE(exchange(sim, recall2), QStringLiteral("55 55 55 01 9B 00"));
    QCOMPARE(exchange(sim, recall1), QStringLiteral("55 55 55 00 C8 00"));
    QCOMPARE(exchange(sim, recall1), QStringLiteral("55 55 55 01 B4 00"));
    // Programming a channel starts it at ON again.
    QCOMPARE(exchange(sim, "FF 1B 01 0A 00 14 00 01 38 55 55"),
        QStringLiteral("55 55 55 55 55 55 55 55 55 00 55"));
    QCOMPARE(exchange(sim, recall1), QStringLiteral("55 55 55 01 0A 00"));
    QCOMPARE(exchange(sim, recall1), QStringLiteral("55 55 55 00 14 00"));
    // A position above 4351 gives a high byte above 16.
    sim.setPLSScaleFactor(8000);
    sim.setPLSChannel(15, setpoints(4500, 20));
    QCOMPARE(exchange(sim, "FF 09 0F 55 55 55"), QStringLiteral("55 55 55 01 94 11"));
}

void tst_K7700SimPLS::configurationBlocksMapOntoTheTable()
{
    K7700Sim sim;
    std::array<quint8, K7700Sim::PLSConfigTableSize> before {};
    for (int i = 0; i < K7700Sim::PLSConfigTableSize; ++i)
        before[size_t(i)] = quint8(200 + i);
    sim.setPLSConfigTable(before);

    // Block 0 only: parameters 0..5 land in entries 1, 2..5 and 18.
    QCOMPARE(exchange(sim, "FF 3B 07 0B 0C 0D 0E 05"), QStringLiteral("55 55 55 55 55 55 55 55"));
    auto expected = before;
    expected[1] = 7;
    expected[2] = 11;
    expected[3] = 12;
    expected[4] = 13;
    expected[5] = 14;
    expected[18] = 5;
    QCOMPARE(sim.plsConfigTable(), expected);

    // Blocks 1..3 (commands 75, 91, 107): parameters 6..23.
    QCOMPARE(exchange(sim, "FF 4B 10 11 12 13 14 15"), QStringLiteral("55 55 55 55 55 55 55 55"));
    QCOMPARE(exchange(sim, "FF 5B 16 17 18 19 1A 1B"), QStringLiteral("55 55 55 55 55 55 55 55"));
    QCOMPARE(exchange(sim, "FF 6B 0C 1D 1E 1F 20 21"), QStringLiteral("55 55 55 55 55 55 55 55"));
    for (int p = 6; p <= 17; ++p)
        expected[size_t(p)] = quint8(0x10 + p - 6);
    expected[0] = 12; // parameter 18: number of channels
    QCOMPARE(sim.plsConfigTable(), expected);
    const std::array<quint8, K7700Sim::PLSConfigParamCount> params { 7, 11, 12, 13, 14, 5, 0x10, 0x11, 0x12,
        0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x0C, 0x1D, 0x1E, 0x1F, 0x20, 0x21 };
    QCOMPARE(sim.plsConfigParams(), params);

    // The table reads back in entry order.
    QCOMPARE(exchange(sim, "FF 0C 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55"),
        QStringLiteral("55 55 0C 07 0B 0C 0D 0E 10 11 12 13 14 15 16 17 18 19 1A 1B 05"));
}

void tst_K7700SimPLS::readyQueryBusyAndLate()
{
    K7700Sim sim;
    sim.setPLSBusy(2, 40);
    K7700Sim::Reply r = sim.receive(K7700Sim::PLSReadyQuery);
    QCOMPARE(r.bytes, QByteArray("\x55"));
    QCOMPARE(r.delayMs, 0);
    r = sim.receive(0x55);
    QCOMPARE(r.bytes, QByteArray("\x55")); // busy
    QCOMPARE(r.delayMs, 40);
    QCOMPARE(sim.mode(), K7700Sim::Mode::Idle);
    QCOMPARE(exchange(sim, "38 55"), QStringLiteral("55 55"));
    QCOMPARE(exchange(sim, "38 55 55"), QStringLiteral("55 00 55"));
    QCOMPARE(sim.plsReadyQueries(), 3);

    // Busy until told otherwise.
    sim.setPLSBusy(-1);
    for (int i = 0; i < 50; ++i)
        QCOMPARE(exchange(sim, "38 55"), QStringLiteral("55 55"));
    sim.setPLSBusy(0);
    QCOMPARE(exchange(sim, "38 55 55"), QStringLiteral("55 00 55"));
    QCOMPARE(sim.plsReadyQueries(), 54);
}

void tst_K7700SimPLS::refusalOnRequest()
{
    K7700Sim sim;
    // The second write from now is refused: block 0 passes, the scale factor
    // write is refused, the record after it passes again.
    sim.rejectNextPLSWrite(1);
    QCOMPARE(exchange(sim, "FF 3B 01 02 03 04 05 06"), QStringLiteral("55 55 55 55 55 55 55 55"));
    QCOMPARE(exchange(sim, "FF 1A D0 02"), QStringLiteral("55 55 55 15"));
    QCOMPARE(sim.plsScaleFactor(), quint16(360));
    QCOMPARE(exchange(sim, "FF 1B 00 0A 00 14 00 01"), QStringLiteral("55 55 55 55 55 55 55 55"));
    QCOMPARE(sim.plsChannel(0), setpoints(10, 20));

    // Reads are not writes: the refusal waits for the record.
    sim.rejectNextPLSWrite();
    QCOMPARE(exchange(sim, "FF 18 55 55"), QStringLiteral("55 55 68 01"));
    QCOMPARE(exchange(sim, "FF 1B 00 00 00 00 00 00"), QStringLiteral("55 55 55 55 55 55 55 15"));
    QCOMPARE(sim.plsChannel(0), setpoints(10, 20));
}

void tst_K7700SimPLS::positionAndOutputsFollowThePress()
{
    K7700Sim sim;
    sim.setPLSChannel(0, setpoints(150, 170));
    sim.setWord(K7700Sim::SpeedWord, 1); // one degree every 1000/6 ms
    QCOMPARE(sim.plsRpm(), quint16(0)); // standing
    sim.setRunning(true);
    QCOMPARE(sim.plsRpm(), quint16(1));
    sim.setWord(K7700Sim::PositionWord, 149);
    QCOMPARE(sim.word(K7700Sim::PLSOutputWord), quint16(0));
    sim.advance(167); // 149 + 1.002 degrees
    QCOMPARE(sim.word(K7700Sim::PositionWord), quint16(150));
    QCOMPARE(sim.plsPosition(), quint16(150));
    QCOMPARE(sim.word(K7700Sim::PLSOutputWord), quint16(1));
    sim.advance(19 * 1000 / 6 + 1); // 169.x
    QCOMPARE(sim.word(K7700Sim::PLSOutputWord), quint16(1));
    sim.advance(1000 / 6); // 170
    QCOMPARE(sim.plsPosition(), quint16(170));
    QCOMPARE(sim.word(K7700Sim::PLSOutputWord), quint16(0));

    // The fraction of a degree counts on a finer scale: 720 divisions.
    sim.setPLSScaleFactor(720);
    sim.setWord(K7700Sim::PositionWord, 10);
    sim.advance(1000 / 12 + 1); // 10.5 degrees
    QCOMPARE(sim.plsPosition(), quint16(21));

    // A position written through the protocol moves the outputs too.
    sim.setPLSScaleFactor(360);
    sim.setRunning(false);
    QCOMPARE(exchange(sim, "FF 02 00 B4 A0 00 B5 00"), QStringLiteral("55 55 00 B4 A0 00 B5 00"));
    QCOMPARE(sim.word(K7700Sim::PLSOutputWord), quint16(1));
    QCOMPARE(sim.plsRpm(), quint16(0));
}

void tst_K7700SimPLS::outputs_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("resolver");
    QTest::addColumn<int>("outputs");

    // Channels: 0 at 150..170, 1 at 350..10 (across 0), 2 at 40..40 (never),
    // 8 a pulse train from 0, 30 on / 30 off, 9 one from 350, 10 on / 20 off.
    // Channel 9 is on where the position modulo 30 is 20..29.
    QTest::newRow("0") << 0 << 0 << 0x0002 + 0x0100;
    QTest::newRow("9") << 0 << 9 << 0x0002 + 0x0100;
    QTest::newRow("10") << 0 << 10 << 0x0100;
    QTest::newRow("20") << 0 << 20 << 0x0100 + 0x0200;
    QTest::newRow("29") << 0 << 29 << 0x0100 + 0x0200;
    QTest::newRow("30") << 0 << 30 << 0;
    QTest::newRow("40") << 0 << 40 << 0;
    QTest::newRow("60") << 0 << 60 << 0x0100;
    QTest::newRow("149") << 0 << 149 << 0x0100 + 0x0200;
    QTest::newRow("150") << 0 << 150 << 0x0001;
    QTest::newRow("169") << 0 << 169 << 0x0001;
    QTest::newRow("170") << 0 << 170 << 0x0200;
    QTest::newRow("350") << 0 << 350 << 0x0002 + 0x0200;
    QTest::newRow("359") << 0 << 359 << 0x0002 + 0x0200;
    QTest::newRow("offset 10, resolver 160") << 10 << 160 << 0x0001;
    QTest::newRow("offset 300, resolver 0 (position 60)") << 300 << 0 << 0x0100;
}

void tst_K7700SimPLS::outputs()
{
    QFETCH(int, offset);
    QFETCH(int, resolver);
    QFETCH(int, outputs);
    K7700Sim sim;
    sim.setPLSChannel(0, setpoints(150, 170));
    sim.setPLSChannel(1, setpoints(350, 10));
    sim.setPLSChannel(2, setpoints(40, 40));
    sim.setPLSChannel(8, pulseTrain(0, 30, 30));
    sim.setPLSChannel(9, pulseTrain(350, 10, 20));
    sim.setPLSOffset(quint16(offset));
    sim.setWord(K7700Sim::PositionWord, quint16(resolver));
    QCOMPARE(sim.word(K7700Sim::PLSOutputWord), quint16(outputs));
}

void tst_K7700SimPLS::powerUpAndCopies()
{
    K7700Sim sim;
    QCOMPARE(sim.plsScaleFactor(), quint16(360));
    QCOMPARE(sim.plsOffset(), quint16(0));
    QCOMPARE(sim.word(K7700Sim::PLSScaleWord), quint16(360));
    QCOMPARE(sim.word(K7700Sim::PLSOffsetWord), quint16(0));
    QCOMPARE(sim.word(K7700Sim::PLSOutputWord), quint16(0));
    for (int ch = 0; ch < K7700Sim::PLSChannelCount; ++ch)
        QCOMPARE(sim.plsChannel(ch), K7700Sim::PLSChannel {});
    std::array<quint8, K7700Sim::PLSConfigTableSize> table {};
    table[0] = 16;
    QCOMPARE(sim.plsConfigTable(), table);
    QCOMPARE(sim.plsConfigParams()[18], quint8(16));

    // A value written into W170 from outside stands until the PLS changes.
    sim.setWord(K7700Sim::PLSOutputWord, 0x8001);
    QCOMPARE(sim.word(K7700Sim::PLSOutputWord), quint16(0x8001));
    sim.setPLSChannel(3, setpoints(0, 10));
    QCOMPARE(sim.word(K7700Sim::PLSOutputWord), quint16(0x0008));
}

void tst_K7700SimPLS::readsThroughSimPort()
{
    // The PLS position as the link sees it while the press turns: latched
    // when the command is accepted, so both bytes belong to one reading.
    K7700Sim sim;
    FakeClock clock;
    SimPort port(sim, clock);
    port.open();
    sim.setPLSScaleFactor(720);
    sim.setWord(K7700Sim::SpeedWord, 300); // 1.8 degrees a millisecond
    sim.setWord(K7700Sim::PositionWord, 142); // 284 divisions
    sim.setRunning(true);
    port.write(QByteArray("\xFF\x48", 2));
    port.letTimePass(1); // 143.8 degrees: 287 divisions
    port.write(QByteArray("\x55", 1));
    port.letTimePass(1);
    port.write(QByteArray("\x55", 1));
    QByteArray in;
    while (port.bytesAvailable() > 0)
        in += char(port.readByte());
    QCOMPARE(in.toHex(' '), QByteArray("55 55 1c 01")); // 284, not 287
    QCOMPARE(sim.plsPosition(), quint16(291)); // 145.6 degrees now
}

QTEST_GUILESS_MAIN(tst_K7700SimPLS)
#include "tst_k7700sim_pls.moc"
