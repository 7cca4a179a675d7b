// The port settings file as the link and the comm port dialog both read it:
// fields, limits, rounding, the faults they raise, a missing or empty file.

#include "base/BasicError.h"
#include "base/ProgramFolder.h"
#include "link/CommPortSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace talvek;

class TestPortSettings : public QObject
{
    Q_OBJECT

private slots:
    void parsed_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("speed");

        QTest::newRow("reader spacing") << QByteArray("1,9600\r\n") << 1 << "9600";
        QTest::newRow("dialog spacing") << QByteArray("3, 19200 \r\n") << 3 << "19200";
        QTest::newRow("no line end") << QByteArray("12,19200") << 12 << "19200";
        QTest::newRow("quoted fields") << QByteArray("\"5\",\"19200\"\r\n") << 5 << "19200";
        QTest::newRow("port 0 limited to 1") << QByteArray("0,19200\r\n") << 1 << "19200";
        QTest::newRow("negative port limited to 1") << QByteArray("-4,9600\r\n") << 1 << "9600";
        QTest::newRow("port 150 limited to 99") << QByteArray("150,9600\r\n") << 99 << "9600";
        QTest::newRow("empty port field is 0") << QByteArray(",19200\r\n") << 1 << "19200";
        QTest::newRow("2.5 rounds to even") << QByteArray("2.5,9600\r\n") << 2 << "9600";
        QTest::newRow("3.5 rounds to even") << QByteArray("3.5,9600\r\n") << 4 << "9600";
        QTest::newRow("4800 read as 9600") << QByteArray("7,4800\r\n") << 7 << "9600";
        QTest::newRow("speed not a number") << QByteArray("7,fast\r\n") << 7 << "9600";
        QTest::newRow("empty speed field") << QByteArray("7,\r\n") << 7 << "9600";
        // The speed the link accepts is one it can open: the canonical text.
        QTest::newRow("exponent") << QByteArray("1,1.92E4\r\n") << 1 << "19200";
        QTest::newRow("digits then letters") << QByteArray("1,9600abc\r\n") << 1 << "9600";
        QTest::newRow("hexadecimal") << QByteArray("1,&H2580\r\n") << 1 << "9600";
        QTest::newRow("decimal point") << QByteArray("1,19200.0\r\n") << 1 << "19200";
        QTest::newRow("more fields ignored") << QByteArray("8,19200,junk\r\n9,9600\r\n") << 8 << "19200";
    }

    void parsed()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, port);
        QFETCH(QString, speed);

        const PortSettings settings = parsePortSettings(contents);
        QCOMPARE(settings.port, port);
        QCOMPARE(settings.speed, speed);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");

        QTest::newRow("port not a number") << QByteArray("abc,9600\r\n") << 13 << "Type mismatch";
        QTest::newRow("binary") << QByteArray("\x01\x02\xff\xfe", 4) << 13 << "Type mismatch";
        QTest::newRow("port overflows") << QByteArray("70000,9600\r\n") << 6 << "Overflow";
        QTest::newRow("speed missing") << QByteArray("3\r\n") << 62 << "Input past end of file";
        QTest::newRow("nothing") << QByteArray() << 62 << "Input past end of file";
    }

    void refused()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, number);
        QFETCH(QString, description);

        try {
            parsePortSettings(contents);
            QFAIL("no fault raised");
        } catch (const BasicError& e) {
            QCOMPARE(e.number(), number);
            QCOMPARE(e.description(), description);
            QCOMPARE(e.source(), QStringLiteral("RSComm"));
        }
    }

    // The link's reader leaves a settings file behind (the defaults); the
    // dialog's reader only looks and writes nothing.
    void missingOrEmptyFile_data()
    {
        QTest::addColumn<bool>("empty"); // else missing
        QTest::newRow("missing") << false;
        QTest::newRow("empty") << true;
    }

    void missingOrEmptyFile()
    {
        QFETCH(bool, empty);
        QTemporaryDir dir;
        const ProgramFolder folder(dir.path());
        const QString path = dir.filePath(QStringLiteral("support/RSPort.cfg"));
        if (empty) {
            QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("support"))));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }

        QCOMPARE(loadPortSettings(folder).has_value(), false);
        QCOMPARE(QFileInfo(path).exists(), empty);
        QCOMPARE(QFileInfo(path).size(), qint64(0));

        const PortSettings settings = readPortSettings(folder);
        QCOMPARE(settings.port, 1);
        QCOMPARE(settings.speed, QStringLiteral("9600"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("1,9600\r\n"));

        // Once written, both read the same settings.
        const std::optional<PortSettings> loaded = loadPortSettings(folder);
        QVERIFY(loaded.has_value());
        QCOMPARE(loaded->port, 1);
        QCOMPARE(loaded->speed, QStringLiteral("9600"));
    }

    // A program that only reads the settings (talvek-cli) opens with the
    // defaults and leaves a missing file missing, an empty one empty.
    void readOnlySettingsWriteNothing_data() { missingOrEmptyFile_data(); }
    void readOnlySettingsWriteNothing()
    {
        QFETCH(bool, empty);
        QTemporaryDir dir;
        ProgramFolder folder(dir.path());
        folder.setSettingsReadOnly(true);
        const QString path = dir.filePath(QStringLiteral("support/RSPort.cfg"));
        if (empty) {
            QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("support"))));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const PortSettings settings = readPortSettings(folder);
        QCOMPARE(settings.port, 1);
        QCOMPARE(settings.speed, QStringLiteral("9600"));
        QCOMPARE(QFileInfo(path).exists(), empty);
        QCOMPARE(QFileInfo(path).size(), qint64(0));
        QCOMPARE(QFileInfo::exists(dir.filePath(QStringLiteral("support"))), empty);

        // A file that is there is read as it stands.
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("support"))));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("5, 19200 \r\n");
        file.close();
        const PortSettings saved = readPortSettings(folder);
        QCOMPARE(saved.port, 5);
        QCOMPARE(saved.speed, QStringLiteral("19200"));
    }
};

QTEST_GUILESS_MAIN(TestPortSettings)
#include "tst_portsettings.moc"
