#include "base/BasicError.h"
#include "link/AddressUtils.h"

#include <QTest>

using namespace talvek;

namespace {

// A board index holds the character code of the board code.
qint16 board(char c)
{
    return static_cast<qint16>(static_cast<unsigned char>(c));
}

// Every board code a program file set can carry ("1" .. "E"), plus no board.
QList<qint16> allBoards()
{
    QList<qint16> boards { kNoBoard };
    for (char c = '1'; c <= 'E'; ++c)
        boards.append(board(c));
    return boards;
}

QString boardName(qint16 b)
{
    return b == kNoBoard ? QStringLiteral("none") : QString(QChar(b));
}

} // namespace

class TestAddressUtils final : public QObject
{
    Q_OBJECT

private slots:
    void equateFixedTables_data();
    void equateFixedTables();
    void equateR6012_data();
    void equateR6012();
    void equateUnchanged_data();
    void equateUnchanged();
    void validAdd_data();
    void validAdd();
    void validAddOddWordOnEveryBoard();
    void unreachableByte_data();
    void unreachableByte();
    void octal_data();
    void octal();
    void octalRoundTrip();
    void octalOverflow_data();
    void octalOverflow();
    void markHex_data();
    void markHex();
};

void TestAddressUtils::equateFixedTables_data()
{
    QTest::addColumn<qint16>("boardIndex");
    QTest::addColumn<QString>("var");
    QTest::addColumn<QString>("expected");

    // The point tables of the boards as they are written down: "point byte, ...".
    const struct
    {
        char board;
        const char* points;
    } tables[] = {
        { '1',
            "X30 49, X31 50, X50 51, X51 52, X60 53, X61 54, X70 55, X71 56, X80 57, "
            "Y81 58, Y90 59, Y100 60, Y110 61, Y111 62, Y120 63, Y121 64, Y130 65, Y140 66, Y141 67" },
        { ':', "X10 51, X11 52, Y0 49, Y1 50" },
        { ';', "X10 51, X11 52, X20 53, X21 54, Y0 49, Y1 50" },
        { '<', "X10 51, X11 52, X20 53, Y0 49, Y1 50, Y21 54" },
        { '=', "X0 49, X1 50, X10 51, Y11 52" },
        { 'A', "X10 51, X11 52, X20 53, Y0 49, Y1 50, Y21 54" },
        { 'B', "X10 51, X11 52, X20 53, X21 54, Y0 49, Y1 50" },
    };
    for (const auto& t : tables) {
        const QStringList entries = QString::fromLatin1(t.points).split(QStringLiteral(", "));
        for (const QString& entry : entries) {
            const QString point = entry.section(u' ', 0, 0);
            const QString address = entry.section(u' ', 1, 1);
            const QByteArray row = QByteArray(1, t.board) + ' ' + point.toLatin1();
            QTest::newRow(row.constData()) << board(t.board) << point << (u'B' + address);
            // The letter may be written in lower case; a bit rides along.
            QTest::newRow(QByteArray(row + " lower bit 3").constData()) << board(
                t.board) << point.toLower() + QStringLiteral(".3") << (u'B' + address + QStringLiteral(".3"));
        }
    }
    QTest::newRow("X30.5 on 1") << board('1') << QStringLiteral("X30.5") << QStringLiteral("B49.5");
    QTest::newRow("X30.9 bit limited to 7")
        << board('1') << QStringLiteral("X30.9") << QStringLiteral("B49.7");
    QTest::newRow("X30.8 bit limited to 7")
        << board('1') << QStringLiteral("X30.8") << QStringLiteral("B49.7");
    QTest::newRow("X30.0 bit 0 kept") << board('1') << QStringLiteral("X30.0") << QStringLiteral("B49.0");
    QTest::newRow("Y141.7") << board('1') << QStringLiteral("Y141.7") << QStringLiteral("B67.7");
    QTest::newRow("leading zero point") << board(':') << QStringLiteral("X010") << QStringLiteral("B51");
}

void TestAddressUtils::equateFixedTables()
{
    QFETCH(qint16, boardIndex);
    QFETCH(QString, var);
    QFETCH(QString, expected);
    QCOMPARE(EquateAdd(var, boardIndex), expected);
}

void TestAddressUtils::equateR6012_data()
{
    QTest::addColumn<QString>("var");
    QTest::addColumn<QString>("expected");

    // Point 10g + d (g = 0..15, d = 0, 1): X and Y from 160, I from 192.
    for (int g = 0; g <= 15; ++g) {
        for (int d = 0; d <= 1; ++d) {
            const int point = 10 * g + d;
            const QString p = QString::number(point);
            QTest::addRow("X%d", point) << (u'X' + p) << (u'B' + QString::number(160 + 2 * g + d));
            QTest::addRow("Y%d", point) << (u'Y' + p) << (u'B' + QString::number(160 + 2 * g + d));
            QTest::addRow("I%d", point) << (u'I' + p) << (u'B' + QString::number(192 + 2 * g + d));
        }
    }
    QTest::newRow("X151 last X") << QStringLiteral("X151") << QStringLiteral("B191");
    QTest::newRow("I151 last I") << QStringLiteral("I151") << QStringLiteral("B223");
    QTest::newRow("I20.3") << QStringLiteral("I20.3") << QStringLiteral("B196.3");
    QTest::newRow("i0.9 lower, bit 7") << QStringLiteral("i0.9") << QStringLiteral("B192.7");
    QTest::newRow("X12 last digit 2") << QStringLiteral("X12") << QStringLiteral("X12");
    QTest::newRow("X160 past 151") << QStringLiteral("X160") << QStringLiteral("X160");
    QTest::newRow("X-10 negative") << QStringLiteral("X-10") << QStringLiteral("X-10");
    QTest::newRow("W10 not an I/O letter") << QStringLiteral("W10") << QStringLiteral("W10");
    QTest::newRow("B160 not an I/O letter") << QStringLiteral("B160") << QStringLiteral("B160");
}

void TestAddressUtils::equateR6012()
{
    QFETCH(QString, var);
    QFETCH(QString, expected);
    QCOMPARE(EquateAdd(var, board('2')), expected);
}

void TestAddressUtils::equateUnchanged_data()
{
    QTest::addColumn<qint16>("boardIndex");
    QTest::addColumn<QString>("var");

    QTest::newRow("X12 on 1") << board('1') << QStringLiteral("X12");
    QTest::newRow("X30 on numeric 1, not the character") << qint16(1) << QStringLiteral("X30");
    QTest::newRow("X0 on numeric 2, not the character") << qint16(2) << QStringLiteral("X0");
    QTest::newRow("X30 with no board") << kNoBoard << QStringLiteral("X30");
    QTest::newRow("X10 on 3 (no table)") << board('3') << QStringLiteral("X10");
    QTest::newRow("X10 on 6 (no table)") << board('6') << QStringLiteral("X10");
    QTest::newRow("X10 on D (no table)") << board('D') << QStringLiteral("X10");
    QTest::newRow("X10 on C (no table)") << board('C') << QStringLiteral("X10");
    QTest::newRow("X0 on > (PLS, no table)") << board('>') << QStringLiteral("X0");
    QTest::newRow("I30 on 1 (no I points)") << board('1') << QStringLiteral("I30");
    QTest::newRow("I10 on A (no I points)") << board('A') << QStringLiteral("I10");
    QTest::newRow("Y30 on 1 (X only)") << board('1') << QStringLiteral("Y30");
    QTest::newRow("X81 on 1 (Y only)") << board('1') << QStringLiteral("X81");
    QTest::newRow("Y21 on ; (not on K7211)") << board(';') << QStringLiteral("Y21");
    QTest::newRow("X21 on < (not on K7212)") << board('<') << QStringLiteral("X21");
    QTest::newRow("empty") << board('1') << QString();
    QTest::newRow("letter only") << board('1') << QStringLiteral("X");
    QTest::newRow("point not a number") << board('1') << QStringLiteral("X3A");
    QTest::newRow("point hex-like") << board('2') << QStringLiteral("X1F");
    QTest::newRow("bit not a digit") << board('1') << QStringLiteral("X30.a");
    QTest::newRow("no point before bit") << board('1') << QStringLiteral("X.5");
    QTest::newRow("dot only") << board('1') << QStringLiteral("X.");
    QTest::newRow("trailing dot") << board('1') << QStringLiteral("X30.");
    QTest::newRow("two-digit bit") << board('1') << QStringLiteral("X30.55");
    QTest::newRow("huge point") << board('2') << QStringLiteral("X99999999999999999999");
}

void TestAddressUtils::equateUnchanged()
{
    QFETCH(qint16, boardIndex);
    QFETCH(QString, var);
    QCOMPARE(EquateAdd(var, boardIndex), var);
}

void TestAddressUtils::validAdd_data()
{
    QTest::addColumn<qint16>("boardIndex");
    QTest::addColumn<QString>("var");
    QTest::addColumn<bool>("valid");

    const auto add = [](qint16 b, const QString& var, bool valid) {
        QTest::addRow("%s on %s", qPrintable(var), qPrintable(boardName(b))) << b << var << valid;
    };
    const QByteArray smallBoards = "134568:;<=AB";
    const QByteArray bigBoards = "2D";
    QList<qint16> otherBoards; // "every other code", including no board
    for (qint16 b : allBoards()) {
        if (b == kNoBoard || (!smallBoards.contains(char(b)) && !bigBoards.contains(char(b))))
            otherBoards.append(b);
    }
    const auto boardsOf = [](const QByteArray& codes) {
        QList<qint16> list;
        for (char c : codes)
            list.append(board(c));
        return list;
    };

    // B: 32 .. 255 / 8275 / 65535.
    for (qint16 b : allBoards()) {
        add(b, QStringLiteral("B31"), false);
        add(b, QStringLiteral("B32"), true);
    }
    for (qint16 b : boardsOf(smallBoards)) {
        add(b, QStringLiteral("B255"), true);
        add(b, QStringLiteral("B256"), false);
    }
    for (qint16 b : boardsOf(bigBoards)) {
        add(b, QStringLiteral("B8275"), true);
        add(b, QStringLiteral("B8276"), false);
    }
    for (qint16 b : otherBoards) {
        add(b, QStringLiteral("B65535"), true);
        add(b, QStringLiteral("B65536"), false);
    }

    // W and D: 32 .. 254 / 8274 / 65534, even numbers only.
    for (const QString& l : { QStringLiteral("W"), QStringLiteral("D") }) {
        for (qint16 b : allBoards()) {
            add(b, l + QStringLiteral("30"), false);
            add(b, l + QStringLiteral("32"), true);
        }
        for (qint16 b : boardsOf(smallBoards)) {
            add(b, l + QStringLiteral("254"), true);
            add(b, l + QStringLiteral("256"), false);
        }
        for (qint16 b : boardsOf(bigBoards)) {
            add(b, l + QStringLiteral("8274"), true);
            add(b, l + QStringLiteral("8273"), false);
            add(b, l + QStringLiteral("8276"), false);
        }
        for (qint16 b : otherBoards) {
            add(b, l + QStringLiteral("65534"), true);
            add(b, l + QStringLiteral("65533"), false);
            add(b, l + QStringLiteral("65536"), false);
        }
    }

    // F: 0 .. 120 for the small boards, 991 for every other.
    for (qint16 b : allBoards()) {
        add(b, QStringLiteral("F0"), true);
        add(b, QStringLiteral("F-1"), false);
    }
    for (qint16 b : boardsOf(smallBoards)) {
        add(b, QStringLiteral("F120"), true);
        add(b, QStringLiteral("F121"), false);
    }
    for (qint16 b : boardsOf("2D79>?@CE")) {
        add(b, QStringLiteral("F991"), true);
        add(b, QStringLiteral("F992"), false);
    }
    add(kNoBoard, QStringLiteral("F991"), true);

    // I: 151 on "1" and "2", 21 on "3" "4" "5" "6" "8", invalid on every other board.
    for (qint16 b : boardsOf("12")) {
        add(b, QStringLiteral("I0"), true);
        add(b, QStringLiteral("I151"), true);
        add(b, QStringLiteral("I150"), true);
        add(b, QStringLiteral("I152"), false);
        add(b, QStringLiteral("I160"), false);
        add(b, QStringLiteral("I12"), false);
    }
    for (qint16 b : boardsOf("34568")) {
        add(b, QStringLiteral("I0"), true);
        add(b, QStringLiteral("I21"), true);
        add(b, QStringLiteral("I30"), false);
        add(b, QStringLiteral("I19"), false);
    }
    for (qint16 b : boardsOf("79:;<=>?@ABCDE"))
        add(b, QStringLiteral("I0"), false);
    add(kNoBoard, QStringLiteral("I0"), false);

    // X and Y: 151 on "1" and "2", 21 on every other board; "D" and no board invalid.
    for (const QString& l : { QStringLiteral("X"), QStringLiteral("Y") }) {
        for (qint16 b : boardsOf("12")) {
            add(b, l + QStringLiteral("151"), true);
            add(b, l + QStringLiteral("160"), false);
            add(b, l + QStringLiteral("12"), false);
        }
        for (qint16 b : boardsOf("3456789:;<=>?@ABCE")) {
            add(b, l + QStringLiteral("0"), true);
            add(b, l + QStringLiteral("21"), true);
            add(b, l + QStringLiteral("30"), false);
            add(b, l + QStringLiteral("12"), false);
            add(b, l + QStringLiteral("-1"), false);
        }
        add(board('D'), l + QStringLiteral("10"), false);
        add(board('D'), l + QStringLiteral("0"), false);
        add(kNoBoard, l + QStringLiteral("10"), false);
        // The character "0" is not "no board": it is one of the other codes.
        add(board('0'), l + QStringLiteral("10"), true);
    }

    // Any other letter: only the number 0.
    for (qint16 b : { board('1'), board('D'), kNoBoard }) {
        add(b, QStringLiteral("Z0"), true);
        add(b, QStringLiteral("Z1"), false);
        add(b, QStringLiteral("Q00"), true);
        add(b, QStringLiteral("H-1"), false);
    }

    // Lower case, bits, blanks, and text that is not a number.
    QTest::newRow("lower case b") << board('1') << QStringLiteral("b32") << true;
    QTest::newRow("lower case w odd") << board('1') << QStringLiteral("w33") << false;
    QTest::newRow("bit on byte") << board('1') << QStringLiteral("B32.1") << true;
    QTest::newRow("bit on low byte") << board('1') << QStringLiteral("B31.7") << false;
    QTest::newRow("bit on X10") << board('1') << QStringLiteral("X10.3") << true;
    QTest::newRow("bit on X12") << board('1') << QStringLiteral("X12.3") << false;
    QTest::newRow("bit on odd word") << board('1') << QStringLiteral("W33.0") << false;
    QTest::newRow("blanks around number") << board('1') << QStringLiteral("W 40 ") << true;
    QTest::newRow("empty") << board('1') << QString() << false;
    QTest::newRow("letter only") << board('1') << QStringLiteral("B") << false;
    QTest::newRow("other letter only") << board('1') << QStringLiteral("Z") << false;
    QTest::newRow("not a number") << board('1') << QStringLiteral("B3A") << false;
    QTest::newRow("hex address") << kNoBoard << QStringLiteral("B20H") << false;
    QTest::newRow("dot without number") << board('1') << QStringLiteral("B.5") << false;
    QTest::newRow("two dots") << board('1') << QStringLiteral("B40.1.2") << false;
    QTest::newRow("many leading zeros") << board('1') << QStringLiteral("B000000000000000040") << true;
    QTest::newRow("huge number") << kNoBoard << QStringLiteral("B123456789012345678901") << false;
}

void TestAddressUtils::validAdd()
{
    QFETCH(qint16, boardIndex);
    QFETCH(QString, var);
    QFETCH(bool, valid);
    QCOMPARE(ValidAdd(var, boardIndex), valid);
}

void TestAddressUtils::validAddOddWordOnEveryBoard()
{
    for (qint16 b : allBoards()) {
        QVERIFY2(!ValidAdd(QStringLiteral("W33"), b), qPrintable(boardName(b)));
        QVERIFY2(!ValidAdd(QStringLiteral("D101"), b), qPrintable(boardName(b)));
        QVERIFY2(!ValidAdd(QStringLiteral("B31"), b), qPrintable(boardName(b)));
    }
}

void TestAddressUtils::unreachableByte_data()
{
    QTest::addColumn<qint64>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<qint64>("unreachable"); // -1: every byte can be reached

    QTest::newRow("byte FEFFH") << qint64(0xFEFF) << 1 << qint64(-1);
    QTest::newRow("byte FF00H") << qint64(0xFF00) << 1 << qint64(0xFF00);
    QTest::newRow("byte FFFFH") << qint64(0xFFFF) << 1 << qint64(0xFFFF);
    QTest::newRow("word ending at FEFFH") << qint64(0xFEFE) << 2 << qint64(-1);
    QTest::newRow("word ending at FF00H") << qint64(0xFEFF) << 2 << qint64(0xFF00);
    QTest::newRow("word at FF10H") << qint64(0xFF10) << 2 << qint64(0xFF10);
    QTest::newRow("double word ending at FEFFH") << qint64(0xFEFC) << 4 << qint64(-1);
    QTest::newRow("double word ending at FF00H") << qint64(0xFEFD) << 4 << qint64(0xFF00);
    QTest::newRow("byte 0") << qint64(0) << 1 << qint64(-1);
    QTest::newRow("a count of 0 is one byte") << qint64(0xFF00) << 0 << qint64(0xFF00);
}

void TestAddressUtils::unreachableByte()
{
    QFETCH(qint64, first);
    QFETCH(int, count);
    QFETCH(qint64, unreachable);
    QCOMPARE(talvek::unreachableByte(first, count).value_or(-1), unreachable);
}

void TestAddressUtils::octal_data()
{
    QTest::addColumn<int>("dec");
    QTest::addColumn<int>("oct");

    QTest::newRow("0") << 0 << 0;
    QTest::newRow("7") << 7 << 7;
    QTest::newRow("8") << 8 << 10;
    QTest::newRow("15") << 15 << 17;
    QTest::newRow("63") << 63 << 77;
    QTest::newRow("64 past two octal digits") << 64 << 80;
    QTest::newRow("-9") << -9 << -11;
    QTest::newRow("largest") << 26215 << 32767;
    QTest::newRow("smallest") << -26215 << -32767;
}

void TestAddressUtils::octal()
{
    QFETCH(int, dec);
    QFETCH(int, oct);
    QCOMPARE(int(Dec2Octal(qint16(dec))), oct);
    QCOMPARE(int(Octal2Dec(qint16(oct))), dec);
}

void TestAddressUtils::octalRoundTrip()
{
    for (int n = 0; n <= 63; ++n)
        QCOMPARE(int(Octal2Dec(Dec2Octal(qint16(n)))), n);
    // Octal2Dec never leaves the 16-bit range, even for digits 8 and 9.
    QCOMPARE(int(Octal2Dec(32767)), 26215);
    QCOMPARE(int(Octal2Dec(-32768)), -26216);
    QCOMPARE(int(Octal2Dec(19)), 17);
}

void TestAddressUtils::octalOverflow_data()
{
    QTest::addColumn<int>("dec");
    QTest::newRow("26216") << 26216;
    QTest::newRow("32767") << 32767;
    QTest::newRow("-26216") << -26216;
    QTest::newRow("-32768") << -32768;
}

void TestAddressUtils::octalOverflow()
{
    QFETCH(int, dec);
    try {
        Dec2Octal(qint16(dec));
        QFAIL("no overflow error");
    } catch (const BasicError& e) {
        QCOMPARE(e.number(), 6);
        QCOMPARE(e.description(), QStringLiteral("Overflow"));
    }
}

void TestAddressUtils::markHex_data()
{
    QTest::addColumn<QString>("mark");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("markFromHex");

    // mark -> MarkHex2HEX gives hex; hex -> HEX2MarkHEX gives markFromHex.
    QTest::newRow("1:?") << QStringLiteral("1:?") << QStringLiteral("1AF") << QStringLiteral("1:?");
    QTest::newRow("all six") << QStringLiteral(":;<=>?") << QStringLiteral("ABCDEF")
                             << QStringLiteral(":;<=>?");
    QTest::newRow("repeated") << QStringLiteral("::??") << QStringLiteral("AAFF") << QStringLiteral("::??");
    QTest::newRow("digits") << QStringLiteral("0123456789") << QStringLiteral("0123456789")
                            << QStringLiteral("0123456789");
    QTest::newRow("empty") << QString() << QString() << QString();
    QTest::newRow("lower case stays")
        << QStringLiteral("ab:f") << QStringLiteral("abAf") << QStringLiteral("ab:f");
    QTest::newRow("mixed plain and mark")
        << QStringLiteral("A:") << QStringLiteral("AA") << QStringLiteral("::");
    QTest::newRow("others pass") << QStringLiteral("G@H ,") << QStringLiteral("G@H ,")
                                 << QStringLiteral("G@H ,");
    QTest::newRow("ident with mark pair")
        << QStringLiteral("PRESS01<:") << QStringLiteral("PRESS01CA") << QStringLiteral("PR>SS01<:");
}

void TestAddressUtils::markHex()
{
    QFETCH(QString, mark);
    QFETCH(QString, hex);
    QFETCH(QString, markFromHex);

    QString text = mark;
    const QString r1 = MarkHex2HEX(text);
    QCOMPARE(r1, hex);
    QCOMPARE(text, hex); // rewritten in place

    QString back = hex;
    const QString r2 = HEX2MarkHEX(back);
    QCOMPARE(r2, markFromHex);
    QCOMPARE(back, markFromHex);
}

QTEST_GUILESS_MAIN(TestAddressUtils)
#include "tst_addressutils.moc"
