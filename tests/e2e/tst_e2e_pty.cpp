// End to end: RSComm on the real serial-port control, over a pseudo-terminal,
// against the k7700-sim process, on the real clock.

#include "Outcomes.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "link/QtSerialPortControl.h"
#include "link/RSComm.h"
#include "ScriptedPrompter.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sys/resource.h>

using namespace talvek;
using namespace talvek::test;

namespace {

const QString kNoComm = QStringLiteral("Cannot Communicate with Target Board.\rVerify RS-232 Cable is "
                                       "Connected Between\rCOMM Port and PROG Port.");

double cpuSeconds()
{
    rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

class tst_E2ePty : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void openGoesOnline();
    void writeThenRead_data();
    void writeThenRead();
    void bitWritesKeepTheOtherBits();
    void readsSeeTheBoard();
    void pressMoves();
    void lateReplyInTheSecondWindow();
    void silentBoardAsksTheOperator();
    void closeAndReopen();
    void vanishedSimulator();

private:
    // One line to the simulator's command input, its one-line answer back.
    QString sim(const QString& line);
    bool startSim();

    QTemporaryDir m_dir;
    QProcess m_sim;
    QString m_device;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<QtSerialPortControl> m_port;
    SteadyClock m_clock;
    ScriptedPrompter m_prompter;
    std::unique_ptr<RSComm> m_rs;
};

bool tst_E2ePty::startSim()
{
    const QString bin = qEnvironmentVariable("TALVEK_SIM_BIN");
    if (bin.isEmpty() || !QFileInfo(bin).isExecutable())
        return false;
    m_sim.setProgram(bin);
    m_sim.setArguments(
        { QStringLiteral("--program-folder"), m_dir.path(), QStringLiteral("--port"), QStringLiteral("1") });
    m_sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_sim.start();
    if (!m_sim.waitForStarted(5000))
        return false;
    // The first line is the device, printed once the link is in place.
    while (!m_sim.canReadLine()) {
        if (!m_sim.waitForReadyRead(10000))
            return false;
    }
    m_device = QString::fromLocal8Bit(m_sim.readLine()).trimmed();
    return true;
}

QString tst_E2ePty::sim(const QString& line)
{
    m_sim.write(line.toLocal8Bit() + '\n');
    m_sim.waitForBytesWritten(5000);
    while (!m_sim.canReadLine()) {
        if (!m_sim.waitForReadyRead(5000))
            return QStringLiteral("<no answer>");
    }
    return QString::fromLocal8Bit(m_sim.readLine()).trimmed();
}

void tst_E2ePty::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(startSim(), "k7700-sim did not start (TALVEK_SIM_BIN)");
    QVERIFY2(m_device.startsWith(QStringLiteral("/dev/")), qPrintable(m_device));
    QCOMPARE(QFileInfo(m_dir.filePath(QStringLiteral("support/ports/COM1"))).symLinkTarget(), m_device);

    m_folder = std::make_unique<ProgramFolder>(m_dir.path());
    m_port = std::make_unique<QtSerialPortControl>(*m_folder);
    m_rs = std::make_unique<RSComm>(*m_folder, m_clock, m_prompter);
}

void tst_E2ePty::cleanupTestCase()
{
    m_rs.reset();
    if (m_sim.state() != QProcess::NotRunning) {
        m_sim.terminate();
        m_sim.waitForFinished(5000);
    }
}

void tst_E2ePty::openGoesOnline()
{
    QCOMPARE(m_port->deviceForPort(1), m_device);
    m_rs->OpenRSComm(m_port.get());
    QVERIFY(m_rs->OnlineMode);
    QVERIFY(!m_rs->CommError);
    QVERIFY(m_port->isOpen());
    QCOMPARE(m_port->settings(), QStringLiteral("9600,n,8,1")); // the settings file made with the defaults
    QCOMPARE(m_prompter.calls().size(), 0);
}

void tst_E2ePty::writeThenRead_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("boardAddress"); // as the simulator names it
    QTest::addColumn<QString>("boardValue");

    QTest::newRow("B166") << "B166"
                          << "200"
                          << "B166"
                          << "200";
    QTest::newRow("W1026") << "W1026"
                           << "300"
                           << "W1026"
                           << "300";
    QTest::newRow("W180") << "W180"
                          << "1000"
                          << "W180"
                          << "1000";
    QTest::newRow("W1104 top") << "W1104"
                               << "65535"
                               << "W1104"
                               << "65535";
    QTest::newRow("D1100") << "D1100"
                           << "123456789"
                           << "D1100"
                           << "123456789";
    QTest::newRow("D1200 top") << "D1200"
                               << "655359999"
                               << "D1200"
                               << "655359999";
    QTest::newRow("hex 1FF0H") << "1FF0H"
                               << "77"
                               << "B8176"
                               << "77";
    QTest::newRow("ident B61424") << "B61424"
                                  << "80"
                                  << "B61424"
                                  << "80";
    QTest::newRow("F15 on") << "F15"
                            << "1"
                            << "F15"
                            << "1";
    QTest::newRow("F15 off") << "F15"
                             << "0"
                             << "F15"
                             << "0";
    QTest::newRow("B1018.0") << "B1018.0"
                             << "1"
                             << "B1018"
                             << "1";
    QTest::newRow("B1018.6") << "B1018.6"
                             << "1"
                             << "B1018"
                             << "65";
}

void tst_E2ePty::writeThenRead()
{
    QFETCH(QString, address);
    QFETCH(QString, value);
    QFETCH(QString, boardAddress);
    QFETCH(QString, boardValue);

    (void)m_rs->RSWrite(address, value);
    QVERIFY(!m_rs->CommError);
    QCOMPARE(sim(QStringLiteral("get ") + boardAddress), boardAddress + QLatin1Char('=') + boardValue);
    QCOMPARE(shown(m_rs->RSRead(address)), value);
    QVERIFY(!m_rs->CommError);
    QCOMPARE(m_prompter.calls().size(), 0);
}

void tst_E2ePty::bitWritesKeepTheOtherBits()
{
    QCOMPARE(sim(QStringLiteral("set B33 0x55")), QStringLiteral("ok"));
    (void)m_rs->RSWrite(QStringLiteral("F15"), QStringLiteral("1")); // bit 7 of byte 33
    QCOMPARE(sim(QStringLiteral("get B33")), QStringLiteral("B33=213"));
    (void)m_rs->RSWrite(QStringLiteral("F8"), QStringLiteral("0")); // bit 0 of byte 33
    QCOMPARE(sim(QStringLiteral("get B33")), QStringLiteral("B33=212"));
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("F14"))), QStringLiteral("1"));
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("F13"))), QStringLiteral("0"));
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("B33"))), QStringLiteral("212"));
    QVERIFY(!m_rs->CommError);
    QCOMPARE(m_prompter.calls().size(), 0);
}

void tst_E2ePty::readsSeeTheBoard()
{
    QCOMPARE(sim(QStringLiteral("set W182 250")), QStringLiteral("ok"));
    QCOMPARE(sim(QStringLiteral("set D1300 600000001")), QStringLiteral("ok"));
    QCOMPARE(sim(QStringLiteral("set B4302 0x40")), QStringLiteral("ok"));
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("W182"))), QStringLiteral("250"));
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("d1300"))), QStringLiteral("600000001"));
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("B4302.6"))), QStringLiteral("1"));
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("B4302.5"))), QStringLiteral("0"));
    QVERIFY(!m_rs->CommError);
}

void tst_E2ePty::pressMoves()
{
    QCOMPARE(sim(QStringLiteral("set D1100 0")), QStringLiteral("ok"));
    QCOMPARE(sim(QStringLiteral("speed 3000")), QStringLiteral("ok")); // 50 strokes a second
    QCOMPARE(sim(QStringLiteral("run")), QStringLiteral("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(m_rs->RSRead(QStringLiteral("D1100")).valueOr(QStringLiteral("0")).toLongLong() >= 5, 5000);
    QCOMPARE(sim(QStringLiteral("stop")), QStringLiteral("ok"));
    const QString stopped = shown(m_rs->RSRead(QStringLiteral("W180")));
    const int position = stopped.toInt();
    QVERIFY2(position >= 0 && position < 360, qPrintable(stopped));
    QCOMPARE(sim(QStringLiteral("get W180")), QStringLiteral("W180=") + stopped);
    QVERIFY(!m_rs->CommError);
}

void tst_E2ePty::lateReplyInTheSecondWindow()
{
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("B166"))), QStringLiteral("200")); // read mode now
    // The echo of the next byte comes 1.5 s late, and the board does not hear
    // the resynchronising attention byte sent after the first second.
    QCOMPARE(sim(QStringLiteral("late 1500")), QStringLiteral("ok"));
    QCOMPARE(sim(QStringLiteral("silence 1 1")), QStringLiteral("ok"));
    QElapsedTimer t;
    t.start();
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("B166"))), QStringLiteral("200"));
    const qint64 ms = t.elapsed();
    QVERIFY2(ms >= 1450 && ms < 2500, qPrintable(QString::number(ms)));
    QVERIFY(!m_rs->CommError);
    QCOMPARE(m_prompter.calls().size(), 0);
}

void tst_E2ePty::silentBoardAsksTheOperator()
{
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("W1026"))), QStringLiteral("300"));
    QCOMPARE(sim(QStringLiteral("dropout")), QStringLiteral("ok"));
    m_prompter.answerMsg(MsgResult::Cancel);
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("W1026"))), QStringLiteral("failed: SilentLine"));
    const qint64 ms = t.elapsed();
    const double cpu = cpuSeconds() - cpu0;
    QVERIFY(m_rs->CommError);
    // 1 s, then two resynchronisations of 2 s each, then the box.
    QVERIFY2(ms >= 4950 && ms < 6500, qPrintable(QString::number(ms)));
    QVERIFY2(cpu < 0.5, qPrintable(QStringLiteral("%1 s CPU in %2 ms").arg(cpu).arg(ms)));
    QCOMPARE(m_prompter.calls().size(), 1);
    // The link's own text, then the device and speed in use on a line of its own.
    QCOMPARE(m_prompter.calls().at(0).text,
        kNoComm + QStringLiteral("\rDevice %1 (COM1), 9600 baud.").arg(m_device));
    QCOMPARE(m_prompter.calls().at(0).title, QStringLiteral("WARNING - Communication Error!"));
    QCOMPARE(m_prompter.calls().at(0).buttons, MsgButtons::RetryCancel);
    QCOMPARE(m_prompter.calls().at(0).icon, MsgIcon::Critical);
    QCOMPARE(m_prompter.unexpected(), 0);
    m_prompter.clear();

    // While CommError is set, reads fail at once without touching the port.
    t.restart();
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("W1026"))), QStringLiteral("failed: LinkDown"));
    QVERIFY(t.elapsed() < 100);
    QCOMPARE(sim(QStringLiteral("restore")), QStringLiteral("ok"));
}

void tst_E2ePty::closeAndReopen()
{
    m_rs->CloseRSComm();
    QVERIFY(!m_port->isOpen());
    QVERIFY(!m_rs->OnlineMode);
    // The simulator kept its end open: a new open finds it at once.
    m_rs->OpenRSComm(m_port.get());
    QVERIFY(m_rs->OnlineMode);
    QVERIFY(!m_rs->CommError);
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("D1300"))), QStringLiteral("600000001"));
    QCOMPARE(m_prompter.calls().size(), 0);
}

void tst_E2ePty::vanishedSimulator()
{
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("B166"))), QStringLiteral("200"));
    m_sim.terminate();
    QVERIFY(m_sim.waitForFinished(5000));
    QCOMPARE(m_sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_sim.exitCode(), 0);
    // It removed its link on the way out.
    QVERIFY(!QFileInfo(m_dir.filePath(QStringLiteral("support/ports/COM1"))).isSymLink());

    m_prompter.answerMsg(MsgResult::Cancel);
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    QCOMPARE(shown(m_rs->RSRead(QStringLiteral("B166"))), QStringLiteral("failed: SilentLine"));
    const qint64 ms = t.elapsed();
    const double cpu = cpuSeconds() - cpu0;
    QVERIFY(m_rs->CommError);
    QVERIFY2(ms >= 4950 && ms < 6500, qPrintable(QString::number(ms)));
    QVERIFY2(cpu < 0.5, qPrintable(QStringLiteral("%1 s CPU in %2 ms").arg(cpu).arg(ms)));
    QCOMPARE(m_prompter.calls().size(), 1);
    QVERIFY2(m_prompter.calls().at(0).text.startsWith(kNoComm + QStringLiteral("\rDevice ")),
        qPrintable(m_prompter.calls().at(0).text));
    QCOMPARE(m_prompter.unexpected(), 0);

    m_rs->CloseRSComm();
    QVERIFY(!m_port->isOpen());
    // With the link gone, port 1 is the table's device again.
    QCOMPARE(m_port->deviceForPort(1), QStringLiteral("/dev/ttyS0"));
}

QTEST_GUILESS_MAIN(tst_E2ePty)
#include "tst_e2e_pty.moc"
