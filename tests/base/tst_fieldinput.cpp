// Comma-separated field input as the text files of the system are read.

#include "base/FieldInput.h"

#include <QTest>

using namespace talvek;

class TestFieldInput : public QObject
{
    Q_OBJECT

private slots:
    void fields_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("fields"); // read until atEnd()

        QTest::newRow("reader spacing") << QByteArray("1,9600\r\n") << QStringList({"1", "9600"});
        QTest::newRow("dialog spacing") << QByteArray("3, 19200 \r\n") << QStringList({"3", "19200"});
        QTest::newRow("tabs trimmed") << QByteArray("\t7\t,\tx y\t\n") << QStringList({"7", "x y"});
        QTest::newRow("quoted comma") << QByteArray("0A,\"Ten, ten\"\r\n0B,Eleven")
                                      << QStringList({"0A", "Ten, ten", "0B", "Eleven"});
        QTest::newRow("quoted keeps blanks") << QByteArray("\" a \",b") << QStringList({" a ", "b"});
        QTest::newRow("junk after quote ignored") << QByteArray("\"a\"xyz,b") << QStringList({"a", "b"});
        QTest::newRow("unterminated quote") << QByteArray("\"abc") << QStringList({"abc"});
        QTest::newRow("comma then line end") << QByteArray("0A,\r\n0B,Eleven\r\n")
                                             << QStringList({"0A", "", "0B", "Eleven"});
        QTest::newRow("empty middle field") << QByteArray("a,,b") << QStringList({"a", "", "b"});
        QTest::newRow("blank lines skipped") << QByteArray("\r\n\r\na\r\n\r\nb") << QStringList({"a", "b"});
        QTest::newRow("bare LF and CR") << QByteArray("a\nb\rc") << QStringList({"a", "b", "c"});
        QTest::newRow("ctrl-z ends the file") << QByteArray("a,b\x1a,c") << QStringList({"a", "b"});
        QTest::newRow("latin-1 degree") << QByteArray("12\xb0") << QStringList({QStringLiteral("12\u00B0")});
        QTest::newRow("empty") << QByteArray() << QStringList();
    }

    void fields()
    {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, fields);
        FieldInput in(data);
        QStringList got;
        while (!in.atEnd() && got.size() < 100)
            got << in.next();
        QCOMPARE(got, fields);
        QVERIFY(!in.pastEnd());
    }

    void readingPastTheEnd()
    {
        FieldInput in(QByteArray("3\r\n"));
        QCOMPARE(in.next(), QStringLiteral("3"));
        QVERIFY(in.atEnd());
        QCOMPARE(in.next(), QString());
        QVERIFY(in.pastEnd());

        FieldInput comma(QByteArray("0B,"));
        QCOMPARE(comma.next(), QStringLiteral("0B"));
        QCOMPARE(comma.next(), QString());
        QVERIFY(comma.pastEnd());
    }
};

QTEST_GUILESS_MAIN(TestFieldInput)
#include "tst_fieldinput.moc"
