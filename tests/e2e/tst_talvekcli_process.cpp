// End to end: the talvek-cli program against the k7700-sim process over a
// pseudo-terminal, on the real clock: a nightly backup and its restore, reads,
// and the exit codes of a missing device, a device without permission and a
// silent controller; a run killed inside a write leaves its journal row.

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class tst_TalvekCliProcess final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void backupAndRestore();
    void latin1FileName();
    void readsAndStatus();
    void noDevice();
    void permissionDenied();
    void silentController();
    void aKilledWriteLeavesItsStartedRow();
    void killedInsideAWrite();

private:
    // The simulator's replies since the last call.
    int replies();
    QByteArray dump();
    QString sim(const QString& line);
    Run cli(const QStringList& args, const QStringList& wrapper = {});

    QTemporaryDir m_dir;
    QProcess m_sim;
    QString m_cli;
};

QString tst_TalvekCliProcess::sim(const QString& line)
{
    m_sim.write(line.toLocal8Bit() + '\n');
    m_sim.waitForBytesWritten(5000);
    while (!m_sim.canReadLine()) {
        if (!m_sim.waitForReadyRead(5000))
            return QStringLiteral("<no answer>");
    }
    return QString::fromLocal8Bit(m_sim.readLine()).trimmed();
}

Run tst_TalvekCliProcess::cli(const QStringList& args, const QStringList& wrapper)
{
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    const QStringList full = QStringList { QStringLiteral("--program-folder"), m_dir.path() } + args;
    if (wrapper.isEmpty()) {
        p.start(m_cli, full);
    } else {
        p.start(wrapper.front(), wrapper.mid(1) + QStringList { m_cli } + full);
    }
    Run r;
    if (!p.waitForStarted(5000) || !p.waitForFinished(30000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

void tst_TalvekCliProcess::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Readable by everyone: the permission case runs the program as another user.
    QFile::setPermissions(m_dir.path(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
    m_cli = qEnvironmentVariable("TALVEK_CLI_BIN");
    QVERIFY2(QFileInfo(m_cli).isExecutable(), "talvek-cli not found (TALVEK_CLI_BIN)");
    const QString bin = qEnvironmentVariable("TALVEK_SIM_BIN");
    QVERIFY2(QFileInfo(bin).isExecutable(), "k7700-sim not found (TALVEK_SIM_BIN)");
    m_sim.setProgram(bin);
    m_sim.setArguments(
        { QStringLiteral("--program-folder"), m_dir.path(), QStringLiteral("--port"), QStringLiteral("1") });
    m_sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_sim.start();
    QVERIFY(m_sim.waitForStarted(5000));
    while (!m_sim.canReadLine())
        QVERIFY(m_sim.waitForReadyRead(10000));
    m_sim.readLine(); // the device
    // TALVEK's port settings file, as the comm port dialog writes it.
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("support"))));
    QFile cfg(m_dir.filePath(QStringLiteral("support/RSPort.cfg")));
    QVERIFY(cfg.open(QIODevice::WriteOnly));
    cfg.write("1,9600\r\n");
    cfg.close();
    cfg.setPermissions(cfg.permissions() | QFileDevice::ReadOther | QFileDevice::ReadGroup);
    QFile::setPermissions(m_dir.filePath(QStringLiteral("support")),
        QFile::permissions(m_dir.filePath(QStringLiteral("support"))) | QFileDevice::ReadOther
            | QFileDevice::ExeOther);
}

void tst_TalvekCliProcess::cleanupTestCase()
{
    if (m_sim.state() != QProcess::NotRunning) {
        m_sim.terminate();
        m_sim.waitForFinished(5000);
    }
}

void tst_TalvekCliProcess::backupAndRestore()
{
    QCOMPARE(sim(QStringLiteral("set W1026 312")), QStringLiteral("ok"));
    QCOMPARE(sim(QStringLiteral("set D1100 123456")), QStringLiteral("ok"));
    const QString file = m_dir.filePath(QStringLiteral("press1.sdt"));
    Run r = cli({ QStringLiteral("upload"), QStringLiteral("all"), QStringLiteral("-o"), file });
    QCOMPARE(r.err, QString()); // stderr is no terminal: no progress lines
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QFileInfo(file).size(), 325);

    QCOMPARE(sim(QStringLiteral("set W1026 999")), QStringLiteral("ok"));
    QCOMPARE(sim(QStringLiteral("set D1100 5")), QStringLiteral("ok"));
    r = cli({ QStringLiteral("download"), QStringLiteral("all"), QStringLiteral("-i"), file,
        QStringLiteral("--yes") });
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(sim(QStringLiteral("get W1026")), QStringLiteral("W1026=312"));
    QCOMPARE(sim(QStringLiteral("get D1100")), QStringLiteral("D1100=123456"));
}

// A file name that is not UTF-8 reaches the program as bytes: the backup is
// made under that very name and read back from it (Qt's own decoding of the
// arguments would have named "press-\xef\xbf\xbd.sdt").
void tst_TalvekCliProcess::latin1FileName()
{
    // The shell puts the Latin-1 name (0xE9) last, after -o or -i.
    const QStringList latin1Last { QStringLiteral("/bin/sh"), QStringLiteral("-c"),
        QStringLiteral("exec \"$0\" \"$@\" \"$(printf 'press-\\351.sdt')\"") };
    const QByteArray native = QFile::encodeName(m_dir.path()) + "/press-\xe9.sdt";
    QCOMPARE(sim(QStringLiteral("set W1026 312")), QStringLiteral("ok"));
    Run r = cli({ QStringLiteral("upload"), QStringLiteral("all"), QStringLiteral("-o") }, latin1Last);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    struct stat st
    {
    };
    QVERIFY(::stat(native.constData(), &st) == 0);
    QCOMPARE(qint64(st.st_size), qint64(325));
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("press-\uFFFD.sdt"))));

    QCOMPARE(sim(QStringLiteral("set W1026 999")), QStringLiteral("ok"));
    r = cli({ QStringLiteral("download"), QStringLiteral("params"), QStringLiteral("--yes"),
                QStringLiteral("-i") },
        latin1Last);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(sim(QStringLiteral("get W1026")), QStringLiteral("W1026=312"));
    QVERIFY(::unlink(native.constData()) == 0);
}

void tst_TalvekCliProcess::readsAndStatus()
{
    QCOMPARE(sim(QStringLiteral("set B8176 0")), QStringLiteral("ok"));
    QCOMPARE(sim(QStringLiteral("set W1028 366")), QStringLiteral("ok"));
    Run r = cli({ QStringLiteral("read"), QStringLiteral("W1028"), QStringLiteral("B8176") });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("W1028=366\nB8176=0\n"));

    const QString trace = m_dir.filePath(QStringLiteral("trace.log"));
    r = cli({ QStringLiteral("--trace"), trace, QStringLiteral("status") });
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], QStringLiteral("mode: ONLINE"));
    QVERIFY2(lines[1].startsWith(QStringLiteral("port: COM1 /dev/")), qPrintable(lines[1]));
    QVERIFY(lines[1].endsWith(QStringLiteral(" 9600,n,8,1")));
    QCOMPARE(lines[3], QStringLiteral("fault code: 0"));
    QFile t(trace);
    QVERIFY(t.open(QIODevice::ReadOnly));
    // Header, open, handshake, firmware byte (2), fault byte (2), close.
    QCOMPARE(t.readAll().count('\n'), 1 + 1 + 2 + 2 + 2 + 1);
}

void tst_TalvekCliProcess::noDevice()
{
    const QString device = m_dir.filePath(QStringLiteral("ttyUSB-gone"));
    Run r = cli({ QStringLiteral("--device"), device, QStringLiteral("status") });
    QCOMPARE(r.exitCode, 4);
    QCOMPARE(r.out, QString());
    QVERIFY2(r.err.startsWith(QStringLiteral("talvek-cli: Comm Port Error: Error Number = 8021 / ")),
        qPrintable(r.err));
    QVERIFY(r.err.contains(device));
}

void tst_TalvekCliProcess::permissionDenied()
{
    // A device only its owner may open; the program runs as someone else
    // (as root, as the user nobody; otherwise the device has no permission bits).
    const QString device = m_dir.filePath(QStringLiteral("ttyLocked"));
    QFile f(device);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QStringList wrapper;
    if (::geteuid() == 0) {
        QVERIFY(QFile::setPermissions(device, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const QString setpriv = QStringLiteral("/usr/bin/setpriv");
        if (!QFileInfo(setpriv).isExecutable())
            QSKIP("running as root without setpriv: cannot run the program as another user");
        wrapper = { setpriv, QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
            QStringLiteral("--clear-groups") };
    } else {
        QVERIFY(QFile::setPermissions(device, QFileDevice::Permissions {}));
    }
    // Another user cannot write the journal beside the program: it is left
    // out here, so that the port's message is the first one.
    Run r = cli({ QStringLiteral("--device"), device, QStringLiteral("--journal"), QStringLiteral("off"),
                    QStringLiteral("status") },
        wrapper);
    QVERIFY2(r.exitCode == 5, qPrintable(QString::number(r.exitCode) + QLatin1Char(' ') + r.err));
    QVERIFY2(r.err.startsWith(QStringLiteral("talvek-cli: Comm Port Error: Error Number = 8020 / ")),
        qPrintable(r.err));
    // No group may read and write the device (its group is the owner's own,
    // with no bits): only root can use it, and the way in is "dialout".
    // A --device is named by itself, without a port number it never had.
    QVERIFY2(r.err.contains(QStringLiteral("Permission denied: only root can use the serial device ") + device
                 + QStringLiteral(": it belongs to the user \"root\"")),
        qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("The udev rule ")), qPrintable(r.err));
    for (const char* admin : { "root", "sudo", "wheel", "adm" })
        QVERIFY2(!r.err.contains(QStringLiteral("-aG %1 ").arg(QLatin1String(admin))), qPrintable(r.err));
}

void tst_TalvekCliProcess::silentController()
{
    // A terminal nobody answers on.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QString device = QString::fromLocal8Bit(::ptsname(master));
    Run r = cli({ QStringLiteral("--device"), device, QStringLiteral("read"), QStringLiteral("W1026") });
    ::close(master);
    QCOMPARE(r.exitCode, 7);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err.section(QLatin1Char('\n'), 0, 0),
        QStringLiteral("talvek-cli: WARNING - Communication Error!: Cannot Communicate with Target Board. / "
                       "Verify RS-232 Cable is Connected Between / COMM Port and PROG Port. / Device %1, "
                       "9600 baud.")
            .arg(device));
}

void tst_TalvekCliProcess::aKilledWriteLeavesItsStartedRow()
{
    // The board answers the opening and then nothing: the write waits on its
    // first echo until the run is killed.
    QCOMPARE(sim(QStringLiteral("silence 1000 1")), QStringLiteral("ok"));
    const QString journal = m_dir.filePath(QStringLiteral("killed.sqlite"));
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.start(m_cli,
        { QStringLiteral("--program-folder"), m_dir.path(), QStringLiteral("--journal"), journal,
            QStringLiteral("write"), QStringLiteral("W1026"), QStringLiteral("264"),
            QStringLiteral("--yes") });
    QVERIFY(p.waitForStarted(5000));
    QString outcome;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("watch"));
        db.setDatabaseName(journal);
        const auto rowOutcome = [&db]() -> QString {
            if (!QFileInfo::exists(db.databaseName()) || (!db.isOpen() && !db.open()))
                return {};
            QSqlQuery q(db);
            return q.exec(QStringLiteral("SELECT outcome FROM writes WHERE address = 'W1026'")) && q.next()
                ? q.value(0).toString()
                : QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(!(outcome = rowOutcome()).isEmpty(), 10000);
        QCOMPARE(outcome, QStringLiteral("started")); // there before the write ended
        p.kill();
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        outcome = rowOutcome();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("watch"));
    QCOMPARE(outcome, QStringLiteral("started"));
    QCOMPARE(sim(QStringLiteral("clear")), QStringLiteral("ok"));
    const Run r = cli({ QStringLiteral("--journal"), journal, QStringLiteral("journal"),
        QStringLiteral("--kind"), QStringLiteral("writes") });
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QStringLiteral("W1026 (Low Speed (SPM))  ? -> 264  talvek-cli  started\n")),
        qPrintable(r.out));
}

int tst_TalvekCliProcess::replies()
{
    static const QRegularExpression kReplies(QStringLiteral("^replies=(\\d+)"));
    return kReplies.match(sim(QStringLiteral("stats"))).captured(1).toInt();
}

QByteArray tst_TalvekCliProcess::dump()
{
    return QByteArray::fromHex(sim(QStringLiteral("dump")).toLatin1());
}

// A talvek-cli killed with SIGKILL inside a write triple (the board heard
// W1026's first address high byte, then nothing: the line falls silent and
// the run is killed while it waits). The next run finds the board inside
// the triple, names every byte the killed run's record names with what it
// holds, does not run its command and exits 11; the board's memory differs
// only at bytes it named. The run after that is clean.
void tst_TalvekCliProcess::killedInsideAWrite()
{
    // The run killed in the test before may have left the board inside a
    // write, and its record: one run reads back and settles both (what it
    // says of them is that test's), so this one starts from a settled press.
    (void)cli({ QStringLiteral("read"), QStringLiteral("W1026") });
    QCOMPARE(sim(QStringLiteral("clear")), QStringLiteral("ok"));
    QCOMPARE(sim(QStringLiteral("set W1026 300")), QStringLiteral("ok"));
    QCOMPARE(sim(QStringLiteral("set B1279 7")), QStringLiteral("ok"));
    // How many replies a whole write W1026 gets: it ends with its two
    // triples, the read that prints the value (FF 01 and two pairs) and the
    // closing attention byte.
    replies();
    const QStringList write { QStringLiteral("write"), QStringLiteral("W1026"), QStringLiteral("301"),
        QStringLiteral("--yes"), QStringLiteral("--journal"), QStringLiteral("off") };
    QCOMPARE(cli(write).exitCode, 0);
    const int whole = replies();
    QCOMPARE(whole, 16); // opening 1, handshake 2, triples 6, read 6, closing 1
    const QByteArray before = dump();

    const int heard = whole - 7 - 6 + 1; // up to the first triple's high byte
    QCOMPARE(sim(QStringLiteral("silence 1000 %1").arg(heard)), QStringLiteral("ok"));
    QProcess killed;
    killed.start(m_cli,
        QStringList { QStringLiteral("--program-folder"), m_dir.path() } + write.mid(0, 2)
            + QStringList { QStringLiteral("302") } + write.mid(3));
    QVERIFY(killed.waitForStarted(5000));
    QElapsedTimer waited;
    waited.start();
    int got = 0;
    while (got < heard && waited.elapsed() < 10000) {
        got += replies();
        QTest::qWait(5);
    }
    QCOMPARE(got, heard);
    ::kill(pid_t(killed.processId()), SIGKILL);
    QVERIFY(killed.waitForFinished(5000));
    QCOMPARE(killed.exitStatus(), QProcess::CrashExit);
    QCOMPARE(sim(QStringLiteral("clear")), QStringLiteral("ok"));
    // One record, named after the press's device (the pty the port link
    // points to): "/dev/pts/3" is kept as dev_pts_3.
    const QDir records(m_dir.filePath(QStringLiteral("support/write-ahead")));
    const QString device = QFileInfo(m_dir.filePath(QStringLiteral("support/ports/COM1"))).canonicalFilePath();
    QVERIFY(device.startsWith(QStringLiteral("/dev/pts/")));
    QCOMPARE(records.entryList(QDir::Files),
        QStringList { QStringLiteral("dev_pts_") + device.mid(QStringLiteral("/dev/pts/").size()) });

    const Run next = cli({ QStringLiteral("read"), QStringLiteral("W1026") });
    QCOMPARE(next.exitCode, 11);
    QCOMPARE(next.out, QString());
    QVERIFY2(next.err.contains(QStringLiteral("answered the first attention byte of this run with FFH, not 55H")),
        qPrintable(next.err));
    QVERIFY2(next.err.contains(QStringLiteral("B1026 holds 45, B1027 holds 1, B1279 holds 255")),
        qPrintable(next.err));
    QVERIFY2(next.err.endsWith(QStringLiteral("talvek-cli: read was not run: the controller may hold a value an "
                                              "interrupted run changed\n")),
        qPrintable(next.err));
    const QByteArray after = dump();
    QCOMPARE(after.size(), 65536);
    QList<int> differ;
    for (int a = 0; a < after.size(); ++a)
        if (after[a] != before[a])
            differ << a;
    QCOMPARE(differ, QList<int> { 1279 });
    QCOMPARE(records.entryList(QDir::Files), QStringList());

    const Run clean = cli({ QStringLiteral("read"), QStringLiteral("W1026") });
    QCOMPARE(clean.exitCode, 0);
    QCOMPARE(clean.err, QString());
    QCOMPARE(clean.out, QStringLiteral("W1026=301\n"));
}

QTEST_GUILESS_MAIN(tst_TalvekCliProcess)
#include "tst_talvekcli_process.moc"
