// The line-fault catalogue against the simulated board: the aimed faults
// strike the byte they wait for and nothing before it, and what the board
// then makes of the bytes a link sends after the fault.

#include "K7700LineFaults.h"
#include "K7700Sim.h"

#include <QStringList>
#include <QTest>

using talvek::K7700LineFaults;
using talvek::K7700Sim;
using talvek::LineFault;

namespace {

// Feeds the bytes (hex text "FF 01 03") through the line and the board, one
// by one, and returns the replies as hex text per byte sent: "--" for none,
// "AABB" for two.
QString exchange(K7700Sim& sim, K7700LineFaults& line, const QString& hexBytes)
{
    QStringList out;
    for (const QString& p : hexBytes.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const auto b = std::uint8_t(p.toInt(nullptr, 16));
        const bool twice = line.beforeByte(b);
        const K7700Sim::Reply r = sim.receive(b);
        const QByteArray bytes = twice ? r.bytes + r.bytes : r.bytes;
        out << (bytes.isEmpty() ? QStringLiteral("--") : QString::fromLatin1(bytes.toHex().toUpper()));
    }
    return out.join(QLatin1Char(' '));
}

// Sets the fault up on the line (its first byte, 0xFF, struck by nothing else).
QString aimAndSend(K7700Sim& sim, K7700LineFaults& line, LineFault fault, const QString& hexBytes)
{
    const bool twice = line.beforeByte(0xFF, fault, 0);
    Q_ASSERT(!twice);
    const K7700Sim::Reply r = sim.receive(0xFF);
    return QString::fromLatin1(r.bytes.toHex().toUpper()) + QLatin1Char(' ') + exchange(sim, line, hexBytes);
}

} // namespace

class tst_K7700LineFaults : public QObject
{
    Q_OBJECT

private slots:
    void lostByteOfAWriteTriple_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("sent"); // after the first attention
        QTest::addColumn<QString>("replies");
        QTest::addColumn<int>("address"); // where the fault leaves a byte
        QTest::addColumn<int>("value");

        // Before the write: a read pair, a write handshake; the triple to
        // 0410H as a link sends it, and what it sends after no reply (the
        // resynchronising 0xFF) and next (a handshake's 0xFF and 02).
        const QString before = QStringLiteral("01 04 10 FF 02 ");
        // Address high lost: the resynchronising 0xFF is an attention.
        QTest::newRow("address high") << int(LineFault::LostAddressHigh) << before + "04 FF 02 04 10 7E"
                                      << "55 55 04 11 55 55 -- 55 55 04 10 7E" << 0x0410 << 0x7E;
        // Address low lost: the 0xFF is the low byte, the next one the data.
        QTest::newRow("address low") << int(LineFault::LostAddressLow) << before + "04 10 FF FF 02"
                                     << "55 55 04 11 55 55 04 -- FF FF 02" << 0x04FF << 0xFF;
        // Data byte lost: the 0xFF is the data.
        QTest::newRow("data byte") << int(LineFault::LostDataByte) << before + "04 10 7E FF FF 02"
                                   << "55 55 04 11 55 55 04 10 -- FF 55 55" << 0x0410 << 0xFF;
    }

    void lostByteOfAWriteTriple()
    {
        QFETCH(int, fault);
        QFETCH(QString, sent);
        QFETCH(QString, replies);
        QFETCH(int, address);
        QFETCH(int, value);

        K7700Sim sim;
        sim.setByte(0x0410, 0x11);
        K7700LineFaults line(sim, 1, 0.0);
        QCOMPARE(aimAndSend(sim, line, LineFault(fault), sent), replies);
        QCOMPARE(int(sim.byte(address)), value);
        QCOMPARE(line.injected(LineFault(fault)), std::int64_t(1));
        QCOMPARE(line.injected(), std::int64_t(1));
        // Once struck, the fault is spent: the next triple goes through.
        sim.resetProtocol();
        QCOMPARE(exchange(sim, line, QStringLiteral("FF 02 05 00 33")), QStringLiteral("55 55 05 00 33"));
        QCOMPARE(sim.byte(0x0500), std::uint8_t(0x33));
        QCOMPARE(line.injected(), std::int64_t(1));
    }

    void attentionAtATripleStartIsNotItsAddress()
    {
        // Aimed at an address high byte: the attention that starts the
        // next handshake is not one.
        K7700Sim sim;
        K7700LineFaults line(sim, 1, 0.0);
        QCOMPARE(aimAndSend(sim, line, LineFault::LostAddressHigh, QStringLiteral("02 FF 02 00")),
            QStringLiteral("55 55 55 55 --"));
        QCOMPARE(line.injected(), std::int64_t(1));
        QCOMPARE(sim.step(), 0);
    }

    void doubledEchoEqualToData()
    {
        // W1024 = 4: the byte at 0400H equals its address high byte.
        K7700Sim sim;
        sim.setWord(1024, 4);
        sim.setByte(0x0500, 0x07);
        K7700LineFaults line(sim, 1, 0.0);
        // 0500H holds 07, not 05: no room for the fault there; at 0400H the
        // copy of the echo comes just before the data, equal to it; at 0401H
        // (data 00) all is as it should be again.
        QCOMPARE(
            aimAndSend(sim, line, LineFault::DoubledEchoEqualToData, QStringLiteral("01 05 00 04 00 04 01")),
            QStringLiteral("55 55 05 07 04 0404 04 00"));
        QCOMPARE(line.injected(LineFault::DoubledEchoEqualToData), std::int64_t(1));
        QCOMPARE(exchange(sim, line, QStringLiteral("04 00")), QStringLiteral("04 04"));
        QCOMPARE(line.injected(), std::int64_t(1));
    }

    void sessionCutInsideATriple()
    {
        K7700Sim sim;
        sim.setByte(0x04FF, 0x22);
        K7700LineFaults line(sim, 1, 0.0);
        // The handshake and the address high byte are heard; from the low
        // byte on nothing is, however long the link goes on.
        QCOMPARE(aimAndSend(sim, line, LineFault::SessionCut, QStringLiteral("02 04 10 7E FF FF FF FF FF")),
            QStringLiteral("55 55 04 -- -- -- -- -- -- --"));
        QVERIFY(sim.droppedOut());
        QCOMPARE(sim.mode(), K7700Sim::Mode::Write);
        QCOMPARE(sim.step(), 1);
        // The port opened again: the next session's first attention is
        // taken as the low byte, its second as the data, stored at 04FFH.
        line.restore();
        QCOMPARE(exchange(sim, line, QStringLiteral("FF FF")), QStringLiteral("FF FF"));
        QCOMPARE(sim.byte(0x04FF), std::uint8_t(0xFF));
        QCOMPARE(sim.step(), 0);
        QCOMPARE(line.injected(LineFault::SessionCut), std::int64_t(1));
    }

    void drawnFaultsSpareDataReplies()
    {
        // Every byte draws a fault: each kind of the catalogue strikes, and
        // a data reply is never spoilt (its last byte is the memory's).
        K7700Sim sim;
        for (int a = 0; a < 0x100; ++a)
            sim.setByte(0x0400 + a, std::uint8_t(a % 7)); // 0400H and 0404H hold their high byte
        K7700LineFaults line(sim, 20261207, 1.0);
        int dataReplies = 0;
        for (int i = 0; i < 20000; ++i) {
            const int k = i % 12;
            // A read pair, a write triple, a handshake, round and round.
            const std::uint8_t b = k < 2 ? std::uint8_t(k == 0 ? 0xFF : 0x01)
                : k < 4                  ? std::uint8_t(k == 2 ? 0x04 : (i / 12) & 0xFF)
                : k < 6                  ? std::uint8_t(k == 4 ? 0xFF : 0x02)
                                         : std::uint8_t(k % 3 == 0 ? 0x04 : (i * 7) & 0xFF);
            const bool readData = sim.mode() == K7700Sim::Mode::Read && sim.step() == 1;
            const int expected = sim.byte(sim.address() | b);
            line.beforeByte(b);
            const K7700Sim::Reply r = sim.receive(b);
            if (readData && !r.isEmpty()) {
                ++dataReplies;
                QCOMPARE(int(std::uint8_t(r.bytes.back())), expected);
            }
            if (k == 11)
                line.restore(); // a link that opens its port again
        }
        QVERIFY(dataReplies > 100);
        std::int64_t sum = 0;
        for (int f = 0; f < talvek::LineFaultCount; ++f) {
            QVERIFY2(line.injected(LineFault(f)) > 0, talvek::lineFaultName(LineFault(f)));
            sum += line.injected(LineFault(f));
        }
        QCOMPARE(sum, line.injected());
        QCOMPARE(line.bytes(), std::int64_t(20000));
    }
};

QTEST_GUILESS_MAIN(tst_K7700LineFaults)
#include "tst_k7700linefaults.moc"
