// End to end: talvek-cli through ser2net to k7700-sim processes on
// 127.0.0.1, on the real clock. ser2net serves one simulator over RFC 2217
// and another over raw TCP, from a configuration written here, on free
// ports; everything started here is stopped at the end. Without ser2net the
// test fails: scripts/install-deps installs it.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// A port nobody listens on now.
quint16 freePort()
{
    QTcpServer s;
    return s.listen(QHostAddress::LocalHost, 0) ? s.serverPort() : 0;
}

// Whether something listens on 127.0.0.1:port (from the kernel's table, so
// that no connection opens the serial device behind it).
bool listening(quint16 port)
{
    QFile tcp(QStringLiteral("/proc/net/tcp"));
    if (!tcp.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local = "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : tcp.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() > 3 && f[1] == local && f[3] == "0A")
            return true;
    }
    return false;
}

// The exchanges of a --trace log without their times: out, in, outcome.
QStringList exchanges(const QString& path)
{
    QFile f(path);
    QStringList list;
    if (!f.open(QIODevice::ReadOnly))
        return { QStringLiteral("<no trace %1>").arg(path) };
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> w = lines[i].simplified().split(' ');
        if (w.size() >= 5)
            list << QString::fromLatin1(w[1] + ' ' + w[2] + ' ' + w.last());
    }
    return list;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class tst_Ser2netProcess final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void uploadAllIsByteIdenticalOverEachKindOfPort();
    void portLinkToAUrl();
    void refusedConnectionExitsSilentWithItsCause();
    void pressFromThePlantFile();
    void allPresses();

private:
    bool startSim(QProcess& sim, int port, QString* device);
    QString ask(QProcess& sim, const QString& line);
    Run cli(const QStringList& args);

    QTemporaryDir m_dir;
    QProcess m_simTelnet;
    QProcess m_simRaw;
    QProcess m_ser2net;
    QString m_cli;
    quint16 m_telnetPort = 0;
    quint16 m_rawPort = 0;
};

bool tst_Ser2netProcess::startSim(QProcess& sim, int port, QString* device)
{
    sim.setProgram(qEnvironmentVariable("TALVEK_SIM_BIN"));
    sim.setArguments({ QStringLiteral("--program-folder"), m_dir.path(), QStringLiteral("--port"),
        QString::number(port) });
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start();
    if (!sim.waitForStarted(5000))
        return false;
    while (!sim.canReadLine()) {
        if (!sim.waitForReadyRead(10000))
            return false;
    }
    *device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    return device->startsWith(QLatin1String("/dev/"));
}

QString tst_Ser2netProcess::ask(QProcess& sim, const QString& line)
{
    sim.write(line.toLocal8Bit() + '\n');
    sim.waitForBytesWritten(5000);
    while (!sim.canReadLine()) {
        if (!sim.waitForReadyRead(5000))
            return QStringLiteral("<no answer>");
    }
    return QString::fromLocal8Bit(sim.readLine()).trimmed();
}

Run tst_Ser2netProcess::cli(const QStringList& args)
{
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.start(m_cli,
        QStringList { QStringLiteral("--program-folder"), m_dir.path(), QStringLiteral("--journal"),
            QStringLiteral("off") }
            + args);
    Run r;
    if (!p.waitForStarted(5000) || !p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

void tst_Ser2netProcess::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString ser2net = QStandardPaths::findExecutable(QStringLiteral("ser2net"),
        { QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/local/sbin"),
            QStringLiteral("/usr/bin") });
    QVERIFY2(!ser2net.isEmpty(), "ser2net is not installed: run scripts/install-deps");
    m_cli = qEnvironmentVariable("TALVEK_CLI_BIN");
    QVERIFY2(QFileInfo(m_cli).isExecutable(), "talvek-cli not found (TALVEK_CLI_BIN)");

    QString telnetDevice;
    QString rawDevice;
    QVERIFY(startSim(m_simTelnet, 1, &telnetDevice));
    QVERIFY(startSim(m_simRaw, 2, &rawDevice));
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("support"))));

    m_telnetPort = freePort();
    m_rawPort = freePort();
    QVERIFY(m_telnetPort != 0 && m_rawPort != 0 && m_telnetPort != m_rawPort);
    // One connection per simulator; no waiting for more characters before
    // they go on (the board answers byte by byte).
    const QString config = QStringLiteral("connection: &press1\n"
                                          "    accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                          "    connector: serialdev,%2,9600n81,local\n"
                                          "    options:\n"
                                          "      chardelay: false\n"
                                          "connection: &press2\n"
                                          "    accepter: tcp,127.0.0.1,%3\n"
                                          "    connector: serialdev,%4,9600n81,local\n"
                                          "    options:\n"
                                          "      chardelay: false\n")
                               .arg(m_telnetPort)
                               .arg(telnetDevice)
                               .arg(m_rawPort)
                               .arg(rawDevice);
    const QString configPath = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile cfg(configPath);
    QVERIFY(cfg.open(QIODevice::WriteOnly));
    cfg.write(config.toUtf8());
    cfg.close();
    m_ser2net.setProgram(ser2net);
    m_ser2net.setArguments({ QStringLiteral("-n"), QStringLiteral("-c"), configPath, QStringLiteral("-P"),
        m_dir.filePath(QStringLiteral("ser2net.pid")) });
    m_ser2net.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_ser2net.setStandardOutputFile(QProcess::nullDevice());
    m_ser2net.start();
    QVERIFY(m_ser2net.waitForStarted(5000));
    // Listening within 5 s (its own start-up, not the link's timing).
    QTRY_VERIFY_WITH_TIMEOUT(listening(m_telnetPort) && listening(m_rawPort), 5000);
}

void tst_Ser2netProcess::cleanupTestCase()
{
    for (QProcess* p : { &m_ser2net, &m_simTelnet, &m_simRaw }) {
        if (p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
        }
    }
}

void tst_Ser2netProcess::uploadAllIsByteIdenticalOverEachKindOfPort()
{
    // Values whose bytes include 255, the Telnet escape, in both simulators.
    for (QProcess* sim : { &m_simTelnet, &m_simRaw }) {
        QCOMPARE(ask(*sim, QStringLiteral("set W1026 65535")), QStringLiteral("ok"));
        QCOMPARE(ask(*sim, QStringLiteral("set D1100 16777215")), QStringLiteral("ok"));
        QVERIFY(ask(*sim, QStringLiteral("stats")).startsWith(QLatin1String("replies=")));
    }
    const QString pty = m_dir.filePath(QStringLiteral("pty.sdt"));
    const QString telnet = m_dir.filePath(QStringLiteral("rfc2217.sdt"));
    const QString raw = m_dir.filePath(QStringLiteral("raw.sdt"));
    const auto trace = [this](const QString& name) { return m_dir.filePath(name + QStringLiteral(".log")); };

    Run r = cli({ QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("--trace"),
        trace(QStringLiteral("pty")), QStringLiteral("upload"), QStringLiteral("all"), QStringLiteral("-o"),
        pty });
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    const QString ptyReplies = ask(m_simTelnet, QStringLiteral("stats")).section(QLatin1Char(' '), 0, 0);

    r = cli({ QStringLiteral("--device"), QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_telnetPort),
        QStringLiteral("--trace"), trace(QStringLiteral("rfc2217")), QStringLiteral("upload"),
        QStringLiteral("all"), QStringLiteral("-o"), telnet });
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(ask(m_simTelnet, QStringLiteral("stats")).section(QLatin1Char(' '), 0, 0), ptyReplies);

    r = cli({ QStringLiteral("--device"), QStringLiteral("socket://127.0.0.1:%1").arg(m_rawPort),
        QStringLiteral("--trace"), trace(QStringLiteral("raw")), QStringLiteral("upload"),
        QStringLiteral("all"), QStringLiteral("-o"), raw });
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(ask(m_simRaw, QStringLiteral("stats")).section(QLatin1Char(' '), 0, 0), ptyReplies);

    const QByteArray file = readAll(pty);
    QCOMPARE(file.size(), 325);
    // The file holds the values in binary: 16777215 as three bytes 255.
    QVERIFY(file.contains(QByteArray(3, char(0xFF))));
    QCOMPARE(readAll(telnet), file);
    QCOMPARE(readAll(raw), file);
    // The same bytes out and in, exchange by exchange.
    const QStringList wire = exchanges(trace(QStringLiteral("pty")));
    QVERIFY(wire.size() > 100);
    // 255 went out (the attention byte) and came back (in the values).
    QVERIFY(std::any_of(
        wire.cbegin(), wire.cend(), [](const QString& e) { return e.startsWith(QLatin1String("FF ")); }));
    QVERIFY(std::any_of(wire.cbegin(), wire.cend(),
        [](const QString& e) { return e.section(QLatin1Char(' '), 1, 1) == QLatin1String("FF"); }));
    QCOMPARE(exchanges(trace(QStringLiteral("rfc2217"))), wire);
    QCOMPARE(exchanges(trace(QStringLiteral("raw"))), wire);
}

void tst_Ser2netProcess::portLinkToAUrl()
{
    // An operator's port link to the server, as the comm port dialog makes it.
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("support/ports"))));
    const QString link = m_dir.filePath(QStringLiteral("support/ports/COM5"));
    QFile::remove(link);
    QVERIFY(QFile::link(QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_telnetPort), link));
    QCOMPARE(ask(m_simTelnet, QStringLiteral("set W1028 366")), QStringLiteral("ok"));
    const Run r = cli(
        { QStringLiteral("--port"), QStringLiteral("5"), QStringLiteral("read"), QStringLiteral("W1028") });
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("W1028=366\n"));
    const Run s = cli({ QStringLiteral("--port"), QStringLiteral("5"), QStringLiteral("status") });
    QCOMPARE(s.exitCode, 0);
    QVERIFY2(
        s.out.contains(QStringLiteral("port: COM5 rfc2217://127.0.0.1:%1 9600,n,8,1\n").arg(m_telnetPort)),
        qPrintable(s.out));
}

void tst_Ser2netProcess::refusedConnectionExitsSilentWithItsCause()
{
    const quint16 port = freePort();
    const Run r = cli({ QStringLiteral("--device"), QStringLiteral("socket://127.0.0.1:%1").arg(port),
        QStringLiteral("read"), QStringLiteral("W1026") });
    QCOMPARE(r.exitCode, 7);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err.section(QLatin1Char('\n'), 0, 0),
        QStringLiteral("talvek-cli: WARNING - Communication Error!: Cannot Communicate with Target Board. / "
                       "Verify RS-232 Cable is Connected Between / COMM Port and PROG Port. / Network port "
                       "socket://127.0.0.1:%1 (COM1), 9600 baud as set at the server: the connection to "
                       "127.0.0.1 port %1 was refused (no server listens there, or it takes no more "
                       "connections).")
            .arg(port));
}

void tst_Ser2netProcess::pressFromThePlantFile()
{
    const QString plant = m_dir.filePath(QStringLiteral("hall2.cfg"));
    QFile f(plant);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral(
        "# hall 2\npress1, rfc2217://127.0.0.1:%1, 19200\npress2, socket://127.0.0.1:%2, 9600\n")
                .arg(m_telnetPort)
                .arg(m_rawPort)
                .toUtf8());
    f.close();
    QCOMPARE(ask(m_simRaw, QStringLiteral("set W1028 417")), QStringLiteral("ok"));
    Run r = cli({ QStringLiteral("--plant"), plant, QStringLiteral("--press"), QStringLiteral("PRESS2"),
        QStringLiteral("read"), QStringLiteral("W1028") });
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("W1028=417\n"));
    r = cli({ QStringLiteral("--plant"), plant, QStringLiteral("--press"), QStringLiteral("press1"),
        QStringLiteral("status") });
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(
        r.out.contains(QStringLiteral("port: COM1 rfc2217://127.0.0.1:%1 19200,n,8,1\n").arg(m_telnetPort)),
        qPrintable(r.out));

    r = cli({ QStringLiteral("--plant"), plant, QStringLiteral("--press"), QStringLiteral("press9"),
        QStringLiteral("status") });
    QCOMPARE(r.exitCode, 3);
    QCOMPARE(r.err, QStringLiteral("talvek-cli: %1: no press named \"press9\"\n").arg(plant));
    QCOMPARE(r.out, QString());

    // A plant file with a bad line is refused whole, with the line's number.
    QVERIFY(f.open(QIODevice::Append));
    f.write("press3, socket://127.0.0.1:" + QByteArray::number(m_rawPort) + ", 9600\n");
    f.close();
    r = cli({ QStringLiteral("--plant"), plant, QStringLiteral("--press"), QStringLiteral("press1"),
        QStringLiteral("status") });
    QCOMPARE(r.exitCode, 3);
    QCOMPARE(r.err,
        QStringLiteral(
            "talvek-cli: %1 line 4: the press \"press3\" is on the port of \"press2\" (line 3): two "
            "presses cannot share a port\n")
            .arg(plant));
    r = cli({ QStringLiteral("--press"), QStringLiteral("press1"), QStringLiteral("--port"),
        QStringLiteral("1"), QStringLiteral("status") });
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.startsWith(QStringLiteral("talvek-cli: --press excludes --port and --device\n")));
}

void tst_Ser2netProcess::allPresses()
{
    // One press healthy (RFC 2217), one silent (raw, its board dropped out),
    // one whose server refuses the connection.
    const quint16 refused = freePort();
    const QString plant = m_dir.filePath(QStringLiteral("plant.cfg"));
    QFile f(plant);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("press1, rfc2217://127.0.0.1:%1, 9600, press1-approved.sdt\n"
                           "press2, socket://127.0.0.1:%2, 9600\n"
                           "press3, socket://127.0.0.1:%3, 9600\n")
                .arg(m_telnetPort)
                .arg(m_rawPort)
                .arg(refused)
                .toUtf8());
    f.close();
    const QString out = m_dir.filePath(QStringLiteral("nightly"));
    QVERIFY(QDir().mkpath(out));
    QCOMPARE(ask(m_simRaw, QStringLiteral("dropout")), QStringLiteral("ok"));
    Run r = cli({ QStringLiteral("--plant"), plant, QStringLiteral("--all-presses"), QStringLiteral("upload"),
        QStringLiteral("all"), QStringLiteral("-o"), out });
    QCOMPARE(ask(m_simRaw, QStringLiteral("restore")), QStringLiteral("ok"));
    const QString noAnswer
        = QStringLiteral("failed (exit 7): WARNING - Communication Error!: Cannot Communicate "
                         "with Target Board. / Verify RS-232 Cable is Connected Between / COMM "
                         "Port and PROG Port. / Network port socket://127.0.0.1:%1 (COM1), 9600 "
                         "baud as set at the server");
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("press1: uploaded to %1/press1.sdt").arg(out));
    QCOMPARE(lines[1], QStringLiteral("press2: ") + noAnswer.arg(m_rawPort) + QLatin1Char('.'));
    QCOMPARE(lines[2],
        QStringLiteral("press3: ") + noAnswer.arg(refused)
            + QStringLiteral(
                ": the connection to 127.0.0.1 port %1 was refused (no server listens there, or it "
                "takes no more connections).")
                  .arg(refused));
    QCOMPARE(r.exitCode, 7);
    QCOMPARE(QDir(out).entryList(QDir::Files), QStringList { QStringLiteral("press1.sdt") });
    QCOMPARE(readAll(out + QStringLiteral("/press1.sdt")).size(), 325);

    // The drift check: press1 against its approved set-up, the others have none.
    QVERIFY(QFile::copy(
        out + QStringLiteral("/press1.sdt"), m_dir.filePath(QStringLiteral("press1-approved.sdt"))));
    r = cli({ QStringLiteral("--plant"), plant, QStringLiteral("--all-presses"), QStringLiteral("compare"),
        QStringLiteral("all") });
    QCOMPARE(r.out.section(QLatin1Char('\n'), 0, 0),
        QStringLiteral("press1: same as %1").arg(m_dir.filePath(QStringLiteral("press1-approved.sdt"))));
    QCOMPARE(r.out.section(QLatin1Char('\n'), 1, 1),
        QStringLiteral("press2: failed: no approved set-up file in the plant file (line 2)"));
    QCOMPARE(r.exitCode, 3);

    r = cli({ QStringLiteral("--all-presses"), QStringLiteral("write"), QStringLiteral("W1026"),
        QStringLiteral("1"), QStringLiteral("--yes") });
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.startsWith(QStringLiteral(
        "talvek-cli: --all-presses runs \"upload all -o DIR\", \"compare all\" or \"status\"\n")));
}

QTEST_GUILESS_MAIN(tst_Ser2netProcess)
#include "tst_ser2net_process.moc"
