// The state properties and board tables of the controller interface.

#include "Outcomes.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "K7700Sim.h"
#include "link/RSComm.h"
#include "ScriptedPrompter.h"
#include "SimLink.h"
#include "SimPort.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {
struct Rig : SimLink
{
    RSComm& link = rs;
};
} // namespace

class TestRSCommInterface : public QObject
{
    Q_OBJECT

private slots:
    void faultCode()
    {
        Rig r;
        r.link.OpenRSComm(&r.port);
        r.sim.setByte(8176, 0x1A);
        r.port.clearRecord();
        QCOMPARE(shown(r.link.FaultCode()), QStringLiteral("26"));
        // B8176 = 0x1FF0: one handshake and one byte read.
        QCOMPARE(r.port.written(), QByteArray("\xFF\x01\x1F\xF0", 4));

        r.link.CommError = true;
        r.port.clearRecord();
        QCOMPARE(shown(r.link.FaultCode()), QStringLiteral("failed: LinkDown"));
        QCOMPARE(r.port.written(), QByteArray());
    }

    void firmwareRevision()
    {
        Rig r;
        r.sim.setByte(8159, 7);
        QCOMPARE(shown(r.link.FirmwareRev()), QStringLiteral("failed: LinkDown")); // offline: no traffic
        QCOMPARE(r.port.written(), QByteArray());
        r.link.OpenRSComm(&r.port);
        QCOMPARE(shown(r.link.FirmwareRev()), QStringLiteral("7"));
        r.link.CommError = true;
        QCOMPARE(shown(r.link.FirmwareRev()), QStringLiteral("failed: LinkDown"));
    }

    void faultDescriptionReadsTheShippedTable()
    {
        Rig r;
        QDir().mkpath(r.dir.filePath(QStringLiteral("support")));
        QFile f(r.dir.filePath(QStringLiteral("support/FaultErrCodes.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("0a,\"Ten, with a comma\"\r\n1A,Twenty-six\r\n");
        f.close();
        QCOMPARE(r.link.FaultDescription(10), QStringLiteral("Fault Code (0AH): Ten, with a comma"));
        QCOMPARE(r.link.FaultDescription(26), QStringLiteral("Fault Code (1AH): Twenty-six"));
        QCOMPARE(r.link.FaultDescription(5), QStringLiteral("Fault Code (05H): "));
        QVERIFY(f.remove());
        QCOMPARE(r.link.FaultDescription(255), QStringLiteral("Fault Code (FFH): --- Fault File Not Found ---"));
    }

    void boardTables_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("lcf");
        const struct
        {
            char c;
            const char* name;
            const char* lcf;
        } rows[] = {{'1', "R6010", "1"},      {'2', "R6012", "1"},      {'3', "R6014", "?"},
                    {'4', "R6021", "2"},      {'5', "R6022", "3"},      {'6', "R6016", "D"},
                    {'7', "R6041", ""},       {'8', "R6024", "F"},      {'9', "Not Defined", ""},
                    {':', "K7210", "@"},      {';', "K7211", "A"},      {'<', "K7212", "B"},
                    {'=', "K7220(PLC)", "C"}, {'>', "K7220(PLS)", ""},  {'?', "K7240", ""},
                    {'@', "K7241", ""},       {'A', "V5510", "E"},      {'B', "K7221(PLC)", ""},
                    {'C', "K7221(PLS)", ""},  {'D', "K7700(PLC)", "G"}, {'E', "K7700(PLS)", ""},
                    {'F', "F Is Not Defined.", ""}, {'0', "0 Is Not Defined.", ""}};
        for (const auto& row : rows)
            QTest::newRow(QByteArray(1, row.c).constData()) << int(row.c) << QString::fromLatin1(row.name)
                                                            << QString::fromLatin1(row.lcf);
    }

    void boardTables()
    {
        QFETCH(int, code);
        QFETCH(QString, name);
        QFETCH(QString, lcf);
        QCOMPARE(RSComm::TargetboardName(qint16(code)), name);
        QCOMPARE(RSComm::LCFBoardIndex(qint16(code)), lcf);
    }

    void addressUtilitiesThroughTheInterface()
    {
        QString mark = QStringLiteral("1:?");
        QCOMPARE(RSComm::MarkHex2HEX(mark), QStringLiteral("1AF"));
        QCOMPARE(mark, QStringLiteral("1AF"));
        QCOMPARE(RSComm::HEX2MarkHEX(mark), QStringLiteral("1:?"));
        QCOMPARE(RSComm::EquateAdd(QStringLiteral("X151"), '2'), QStringLiteral("B191"));
        QVERIFY(!RSComm::ValidAdd(QStringLiteral("W33"), '2'));
        QCOMPARE(RSComm::Dec2Octal(15), qint16(17));
        QCOMPARE(RSComm::Octal2Dec(17), qint16(15));
    }
};

QTEST_GUILESS_MAIN(TestRSCommInterface)
#include "tst_rscomminterface.moc"
