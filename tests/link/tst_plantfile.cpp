// The plant file: the presses it names, and each line it refuses, by number.

#include "link/PlantFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace talvek;

class TestPlantFile : public QObject
{
    Q_OBJECT

private slots:
    void readsThePresses()
    {
        const QByteArray text = "# the presses of hall 2\r\n"
                                "\r\n"
                                "press1, rfc2217://10.20.0.11:4001, 19200, approved/press1.sdt\r\n"
                                "  press2 ,/dev/ttyUSB0,9600\r\n"
                                "Press-3.b, COM3, 9600\n"
                                "press4, socket://[fd00::7]:2001, 9600, /srv/press4.sdt";
        const Result<PlantFile> plant = parsePlantFile(text, QStringLiteral("/plant/support/Presses.cfg"));
        QVERIFY2(plant.ok(), plant.ok() ? "" : qPrintable(plant.error().detail));
        const QList<PlantPress> expected {
            { QStringLiteral("press1"), QStringLiteral("rfc2217://10.20.0.11:4001"), 0, 19200,
                QStringLiteral("/plant/support/approved/press1.sdt"), 3 },
            { QStringLiteral("press2"), QStringLiteral("/dev/ttyUSB0"), 0, 9600, QString(), 4 },
            { QStringLiteral("Press-3.b"), QStringLiteral("COM3"), 3, 9600, QString(), 5 },
            { QStringLiteral("press4"), QStringLiteral("socket://[fd00::7]:2001"), 0, 9600,
                QStringLiteral("/srv/press4.sdt"), 6 },
        };
        QCOMPARE(plant->presses, expected);
        QCOMPARE(plant->find(QStringLiteral("PRESS-3.B"))->line, 5);
        QCOMPARE(plant->find(QStringLiteral("press5")), nullptr);
    }

    void refusesABadLineByItsNumber_data()
    {
        QTest::addColumn<QByteArray>("lines"); // after a good first press on line 1
        QTest::addColumn<QString>("why");
        QTest::newRow("two fields") << QByteArray("press2, COM2")
                                    << "line 2: a press is \"name, port, speed\" and an "
                                       "optional set-up file; this line has 2 fields";
        QTest::newRow("five fields")
            << QByteArray("press2, COM2, 9600, a.sdt, b")
            << "line 2: a press is \"name, port, speed\" and an optional set-up file; this "
               "line has 5 fields";
        QTest::newRow("bad name")
            << QByteArray("press 2, COM2, 9600")
            << "line 2: the name \"press 2\" is not 1 to 32 letters, digits, '-', '_' or '.', "
               "starting with a letter or digit";
        QTest::newRow("bad speed") << QByteArray("press2, COM2, 4800")
                                   << "line 2: the speed \"4800\" is not 9600 or 19200";
        QTest::newRow("bad url")
            << QByteArray("press2, rfc2217://h:0, 9600")
            << "line 2: The network port \"rfc2217://h:0\" is not of the form "
               "rfc2217://HOST:PORT or socket://HOST:PORT: the TCP port must be a number "
               "from 1 to 65535.";
        QTest::newRow("relative device") << QByteArray("\n# x\npress2, ttyUSB0, 9600")
                                         << "line 4: the port \"ttyUSB0\" is no URL (rfc2217://HOST:PORT, "
                                            "socket://HOST:PORT), device path (/dev/ttyUSB0) or COMn";
        QTest::newRow("empty set-up file")
            << QByteArray("press2, COM2, 9600,")
            << "line 2: the set-up file is empty (leave the comma out when there is "
               "none)";
        QTest::newRow("name twice") << QByteArray("PRESS1, COM2, 9600")
                                    << "line 2: the press \"PRESS1\" is named on line 1 already";
        QTest::newRow("one server port, raw and rfc2217")
            << QByteArray("press2, socket://Plant-Gw:4001, 9600")
            << "line 2: the press \"press2\" is on the port of \"press1\" (line 1): two presses cannot share "
               "a port";
        QTest::newRow("one port number")
            << QByteArray("press2, COM7, 9600\npress3, com7, 19200")
            << "line 3: the press \"press3\" is on the port of \"press2\" (line 2): two "
               "presses cannot share a port";
        QTest::newRow("not text") << QByteArray("press2, COM2, 9600, \xff\xfe.sdt")
                                  << "line 2: not UTF-8 text";
    }
    void refusesABadLineByItsNumber()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, why);
        const Result<PlantFile> plant = parsePlantFile(
            "press1, rfc2217://plant-gw:4001, 9600\n" + lines, QStringLiteral("/p/Presses.cfg"));
        QVERIFY(!plant.ok());
        QCOMPARE(plant.cause(), Cause::BadFile);
        QCOMPARE(plant.error().detail, QStringLiteral("/p/Presses.cfg ") + why);
    }

    void twoNamesOfOneDeviceAreOnePort()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("ttyFAKE0"));
        QFile f(device);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const QString alias = dir.filePath(QStringLiteral("press-link"));
        QVERIFY(QFile::link(device, alias));
        const QByteArray text = QStringLiteral("a, %1, 9600\nb, %2, 9600\n").arg(device, alias).toUtf8();
        const Result<PlantFile> plant = parsePlantFile(text, dir.filePath(QStringLiteral("Presses.cfg")));
        QVERIFY(!plant.ok());
        QVERIFY2(plant.error().detail.endsWith(QStringLiteral(
                     "line 2: the press \"b\" is on the port of \"a\" (line 1): two presses cannot "
                     "share a port")),
            qPrintable(plant.error().detail));
    }

    void readsTheFileOrSaysWhyNot()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Presses.cfg"));
        Result<PlantFile> plant = readPlantFile(path);
        QVERIFY(!plant.ok());
        QCOMPARE(plant.error().detail, QStringLiteral("%1: no such plant file").arg(path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("p1, COM1, 9600\n");
        f.close();
        plant = readPlantFile(path);
        QVERIFY(plant.ok());
        QCOMPARE(plant->presses.size(), 1);
        QCOMPARE(plant->path, path);
        plant = readPlantFile(dir.path());
        QVERIFY(!plant.ok());
        QCOMPARE(plant.error().detail, QStringLiteral("%1: not a file").arg(dir.path()));
    }
};

QTEST_GUILESS_MAIN(TestPlantFile)
#include "tst_plantfile.moc"
