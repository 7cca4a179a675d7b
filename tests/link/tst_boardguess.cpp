#include "link/BoardGuess.h"

#include <QTest>

using namespace talvek;

namespace {

using Store = BoardGuess::Store;

// Plays a script of the bytes the link sent: "03" answered as the board
// answers it (heard), "FC?" not known to have arrived, "FF=ack" / "FF=echo"
// an attention byte acknowledged / echoed, "!03FC=7E" a store the link
// means.
BoardGuess play(int mode, const QString& script)
{
    BoardGuess guess;
    guess.begin(mode);
    for (const QString& token : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (token.startsWith(QLatin1Char('!'))) {
            guess.intend(token.mid(1, 4).toInt(nullptr, 16), token.mid(6, 2).toInt(nullptr, 16));
            continue;
        }
        guess.sent(token.left(2).toInt(nullptr, 16));
        if (token.endsWith(QLatin1String("=ack")))
            guess.observeAttention(true);
        else if (token.endsWith(QLatin1String("=echo")))
            guess.observeAttention(false);
        else if (!token.endsWith(QLatin1Char('?')))
            guess.heard();
    }
    return guess;
}

QString shown(const QList<Store>& stores)
{
    QStringList out;
    for (const Store& s : stores)
        out << QStringLiteral("%1=%2").arg(s.address, 4, 16, QLatin1Char('0')).arg(s.value, 2, 16, QLatin1Char('0')).toUpper();
    out.sort();
    return out.join(QLatin1Char(' '));
}

} // namespace

class tst_BoardGuess : public QObject
{
    Q_OBJECT

private slots:
    // What a board that may have lost a byte can have stored, once an
    // attention byte is acknowledged: every store outside the intended ones
    // that a board consistent with the replies made.
    void strayStores_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("stray");
        QTest::addColumn<bool>("troubled");

        // Every byte answered: the stores are the ones meant.
        QTest::newRow("clean triples") << "!03FC=7B 03 FC 7B !03FD=00 03 FD 00 FF=ack" << "" << false;
        // The low byte lost and the resynchronising 0xFF taken in its place:
        // the next handshake's 0xFF is stored at 03FFH. A board that heard
        // the low byte stored the 0xFF at the address being written.
        QTest::newRow("low byte lost, 0xFF resent")
            << "!03FC=7B 03 FC? FF? FF=echo FF=ack" << "03FC=FF 03FF=FF" << true;
        // The low byte sent again instead: a board still waiting takes it
        // and the triple goes on. One that had it would have stored it as
        // data, taken the data byte as a new high byte and the attention
        // byte as a low byte: the acknowledgement rules it out.
        QTest::newRow("low byte lost, low byte resent") << "!03FC=7B 03 FC? FC 7B FF=ack" << "" << true;
        // A doubled reply hid a lost low byte (the echo of B0 was the copy
        // of 04): the rest of the triple became the low byte 9F, and the
        // handshake's first 0xFF was stored at 049FH.
        QTest::newRow("doubled reply hides a lost byte")
            << "!04B0=9F 04 B0? 9F? FF=echo FF=ack" << "049F=FF 04B0=FF" << true;
        // The data byte lost: the resynchronising 0xFF is the data, at the
        // address being written; nothing elsewhere.
        QTest::newRow("data byte lost") << "!03FC=7B 03 FC 7B? FF? FF=ack" << "03FC=FF" << true;
        // The address high byte lost: the 0xFF is an attention byte.
        QTest::newRow("high byte lost") << "!03FC=7B 03? FF=ack" << "" << true;
        // Read mode stores nothing, whatever was lost.
        QTest::newRow("read pair") << "03? FC? FF? FF=ack" << "" << true;
    }

    void strayStores()
    {
        QFETCH(QString, script);
        QFETCH(QString, stray);
        QFETCH(bool, troubled);
        BoardGuess guess = play(QTest::currentDataTag() == QByteArray("read pair") ? 1 : 2, script);
        QCOMPARE(guess.troubled(), troubled);
        const BoardGuess::Settled settled = guess.settle();
        QCOMPARE(shown(settled.stray), stray);
        QVERIFY(!settled.lostTrack);
        QVERIFY(!guess.active());
    }

    // A session that ends inside a triple: where the next byte the board
    // hears may be stored.
    void pendingStores_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<int>>("pending");

        QTest::newRow("at rest") << "03 FC 7B" << QList<int> {};
        QTest::newRow("waiting for the data") << "03 FC" << QList<int> { 0x03FC };
        // Silent after the high byte: the low byte and its two repetitions
        // may each have arrived or not.
        QTest::newRow("silent after the high byte") << "03 FC? FC? FC?" << QList<int> { 0x03FC, 0x03FF, 0xFCFF };
        QTest::newRow("silent at the data") << "03 FC 7B? FF? FF?" << QList<int> { 0x03FC };
    }

    void pendingStores()
    {
        QFETCH(QString, script);
        QFETCH(QList<int>, pending);
        QCOMPARE(play(2, script).pending(), pending);
        QCOMPARE(play(1, script).pending(), QList<int> {}); // a read pair stores nothing
    }

    // A byte a board at an attention may have taken as a command the guess
    // does not follow (0x1A: a PLS scale write): what it did is unknown.
    void byteTakenAsACommandLosesTrack()
    {
        // The board that lost the 0xFF took 1A 00 7B as a triple.
        BoardGuess guess = play(2, QStringLiteral("FF? 1A? 00? 7B? FF=ack"));
        const BoardGuess::Settled settled = guess.settle();
        QVERIFY(settled.lostTrack);
        QCOMPARE(shown(settled.stray), QStringLiteral("1A00=7B"));
    }

    // Replies that fit no board (a spoilt acknowledgement and a lost byte at
    // once) rule nothing out rather than everything.
    void repliesThatFitNoBoardRuleNothingOut()
    {
        BoardGuess guess = play(2, QStringLiteral("!03FC=7B 03 FC FF=ack FF=ack"));
        QCOMPARE(shown(guess.settle().stray), QStringLiteral("03FC=FF"));
    }
};

QTEST_GUILESS_MAIN(tst_BoardGuess)
#include "tst_boardguess.moc"
