// The k7700-sim executable: its link, its command input, its pacing and its
// clean stop, talked to with plain reads and writes on its pseudo-terminal.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString simBin()
{
    return qEnvironmentVariable("TALVEK_SIM_BIN");
}

// Starts the simulator and reads its first line (the device).
bool start(QProcess& p, const QStringList& args, QString* device)
{
    p.setProgram(simBin());
    p.setArguments(args);
    p.start();
    if (!p.waitForStarted(5000))
        return false;
    while (!p.canReadLine()) {
        if (!p.waitForReadyRead(10000))
            return false;
    }
    *device = QString::fromLocal8Bit(p.readLine()).trimmed();
    return true;
}

QString ask(QProcess& p, const QString& line)
{
    p.write(line.toLocal8Bit() + '\n');
    while (!p.canReadLine()) {
        if (!p.waitForReadyRead(5000))
            return QStringLiteral("<no answer>");
    }
    return QString::fromLocal8Bit(p.readLine()).trimmed();
}

int openRaw(const QString& device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY);
    termios t {};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Reads exactly n bytes (or fewer when nothing comes for timeoutMs).
QByteArray readN(int fd, int n, int timeoutMs = 3000)
{
    QByteArray out;
    while (out.size() < n) {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, timeoutMs) <= 0)
            break;
        char buf[64];
        const ssize_t got = ::read(fd, buf, size_t(std::min<int>(n - int(out.size()), int(sizeof buf))));
        if (got <= 0)
            break;
        out.append(buf, int(got));
    }
    return out;
}

void send(int fd, const QByteArray& bytes)
{
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
}

double msSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

class tst_K7700SimProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void linkAndCleanStop_data();
    void linkAndCleanStop();
    void refusesToReplaceAFile();
    void badOptions_data();
    void badOptions();
    void commands();
    void protocolOverThePty();
    void pacing();
};

void tst_K7700SimProcess::initTestCase()
{
    QVERIFY2(QFileInfo(simBin()).isExecutable(), "TALVEK_SIM_BIN does not name the simulator");
}

void tst_K7700SimProcess::linkAndCleanStop_data()
{
    QTest::addColumn<QString>("existingSupport"); // folder that exists before, "" for none
    QTest::addColumn<bool>("staleLink");
    QTest::addColumn<int>("signal");
    QTest::newRow("fresh folder, SIGTERM") << "" << false << int(SIGTERM);
    QTest::newRow("Support/Ports exist, SIGINT") << "Support/Ports" << false << int(SIGINT);
    QTest::newRow("stale link replaced") << "support/ports" << true << int(SIGTERM);
}

void tst_K7700SimProcess::linkAndCleanStop()
{
    QFETCH(QString, existingSupport);
    QFETCH(bool, staleLink);
    QFETCH(int, signal);

    QTemporaryDir dir;
    QString ports = dir.filePath(QStringLiteral("support/ports"));
    if (!existingSupport.isEmpty()) {
        QVERIFY(QDir(dir.path()).mkpath(existingSupport));
        ports = dir.filePath(existingSupport);
    }
    if (staleLink)
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/999999"), ports + QStringLiteral("/com7")));

    QProcess p;
    QString device;
    QVERIFY(start(p,
        { QStringLiteral("--program-folder"), dir.path(), QStringLiteral("--port"), QStringLiteral("7") },
        &device));
    QVERIFY2(device.startsWith(QStringLiteral("/dev/pts/")), qPrintable(device));
    const QString link = ports + QStringLiteral("/COM7");
    QCOMPARE(QFileInfo(link).symLinkTarget(), device);
    QCOMPARE(QDir(ports).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
        QStringList { QStringLiteral("COM7") });

    ::kill(pid_t(p.processId()), signal);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo(ports).isDir());
}

void tst_K7700SimProcess::refusesToReplaceAFile()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("support/ports")));
    QFile f(dir.filePath(QStringLiteral("support/ports/COM2")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("keep me");
    f.close();
    QProcess p;
    p.start(simBin(),
        { QStringLiteral("--program-folder"), dir.path(), QStringLiteral("--port"), QStringLiteral("2") });
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(p.readAllStandardOutput().isEmpty());
    QVERIFY(p.readAllStandardError().contains("exists and is not a link"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep me"));
}

void tst_K7700SimProcess::badOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("port 0") << QStringList { QStringLiteral("--port"), QStringLiteral("0") }
                            << QByteArray("--port");
    QTest::newRow("port 100") << QStringList { QStringLiteral("--port"), QStringLiteral("100") }
                              << QByteArray("--port");
    QTest::newRow("baud x") << QStringList { QStringLiteral("--baud"), QStringLiteral("x") }
                            << QByteArray("--baud");
    QTest::newRow("baud 0") << QStringList { QStringLiteral("--baud"), QStringLiteral("0") }
                            << QByteArray("--baud");
    QTest::newRow("usb-latency 0") << QStringList { QStringLiteral("--usb-latency"), QStringLiteral("0") }
                                   << QByteArray("--usb-latency");
    QTest::newRow("usb-latency 256") << QStringList { QStringLiteral("--usb-latency"), QStringLiteral("256") }
                                     << QByteArray("--usb-latency");
    QTest::newRow("speed") << QStringList { QStringLiteral("--speed"), QStringLiteral("70000") }
                           << QByteArray("--speed");
    QTest::newRow("short-every") << QStringList { QStringLiteral("--short-every"), QStringLiteral("0") }
                                 << QByteArray("--short-every");
}

void tst_K7700SimProcess::badOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, message);
    QProcess p;
    p.start(simBin(), args);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(p.readAllStandardOutput().isEmpty());
    QVERIFY(p.readAllStandardError().contains(message));
}

void tst_K7700SimProcess::commands()
{
    QProcess p;
    QString device;
    QVERIFY(start(p, {}, &device));
    const QList<QPair<QString, QString>> script {
        { QStringLiteral("stats"), QStringLiteral("replies=0") },
        { QStringLiteral("get W180"), QStringLiteral("W180=0") },
        { QStringLiteral("set W180 1000"), QStringLiteral("ok") },
        { QStringLiteral("get b180"), QStringLiteral("B180=232") },
        { QStringLiteral("get B181"), QStringLiteral("B181=3") },
        { QStringLiteral("set D1100 655359999"), QStringLiteral("ok") },
        { QStringLiteral("get D1100"), QStringLiteral("D1100=655359999") },
        { QStringLiteral("get W1102"), QStringLiteral("W1102=65535") },
        { QStringLiteral("set D1100 655360000"), QStringLiteral("error: bad value 655360000") },
        { QStringLiteral("set B1 256"), QStringLiteral("error: bad value 256") },
        { QStringLiteral("set W1 -1"), QStringLiteral("error: bad value -1") },
        { QStringLiteral("set F15 1"), QStringLiteral("ok") },
        { QStringLiteral("get B33"), QStringLiteral("B33=128") },
        { QStringLiteral("set F15 2"), QStringLiteral("error: bad value 2") },
        { QStringLiteral("set B10 0x7F"), QStringLiteral("ok") },
        { QStringLiteral("get B10"), QStringLiteral("B10=127") },
        { QStringLiteral("get X5"), QStringLiteral("error: bad address X5") },
        { QStringLiteral("get W65536"), QStringLiteral("error: bad address W65536") },
        { QStringLiteral("speed 600"), QStringLiteral("ok") },
        { QStringLiteral("get W182"), QStringLiteral("W182=600") },
        { QStringLiteral("speed 65536"), QStringLiteral("error: unknown command speed 65536") },
        { QStringLiteral("run"), QStringLiteral("ok") },
        { QStringLiteral("stop"), QStringLiteral("ok") },
        { QStringLiteral("silence 2 1"), QStringLiteral("ok") },
        { QStringLiteral("late 1500"), QStringLiteral("ok") },
        { QStringLiteral("wrong"), QStringLiteral("ok") },
        { QStringLiteral("wrong 0x12"), QStringLiteral("ok") },
        { QStringLiteral("wrong 300"), QStringLiteral("error: unknown command wrong 300") },
        { QStringLiteral("noise 165"), QStringLiteral("ok") },
        { QStringLiteral("dropout"), QStringLiteral("ok") },
        { QStringLiteral("restore"), QStringLiteral("ok") },
        { QStringLiteral("clear"), QStringLiteral("ok") },
        { QStringLiteral("fly away"), QStringLiteral("error: unknown command fly away") },
        { QStringLiteral("faults"),
            QStringLiteral("injected=0 bytes=0 lost-byte=0 spoilt-reply=0 noise-before-reply=0 doubled-reply=0 "
                           "late-reply=0 drop-out=0 lost-address-high=0 lost-address-low=0 lost-data-byte=0 "
                           "doubled-echo-equal-to-data=0 session-cut=0") },
        { QStringLiteral("plsdump"),
            QStringLiteral("scale=360 offset=0") + QStringLiteral(" empty:0:0:0:0").repeated(16) },
    };
    for (const auto& [line, answer] : script)
        QCOMPARE(ask(p, line), answer);
    // The whole memory in one line, address 0 first: B10 = 7FH, F15 (bit 7
    // of B33), W180 = 1000, W182 = 600, W186 = 360 (the PLS scale's copy),
    // D1100 = 655359999 (W1100 = 9999, W1102 = 65535), and nothing else.
    const QString memory = ask(p, QStringLiteral("dump"));
    QCOMPARE(memory.size(), 2 * 65536);
    QCOMPARE(memory.mid(2 * 10, 2), QStringLiteral("7f"));
    QCOMPARE(memory.mid(2 * 33, 2), QStringLiteral("80"));
    QCOMPARE(memory.mid(2 * 180, 4), QStringLiteral("e803"));
    QCOMPARE(memory.mid(2 * 182, 4), QStringLiteral("5802"));
    QCOMPARE(memory.mid(2 * 186, 4), QStringLiteral("6801"));
    QCOMPARE(memory.mid(2 * 1100, 8), QStringLiteral("0f27ffff"));
    QCOMPARE(memory.count(QLatin1Char('0')), 2 * 65536 - 19);
    p.closeWriteChannel(); // end of commands: it serves on
    QVERIFY(!p.waitForFinished(200));
    QCOMPARE(p.state(), QProcess::Running);
    p.terminate();
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
}

void tst_K7700SimProcess::protocolOverThePty()
{
    QProcess p;
    QString device;
    QVERIFY(start(p, {}, &device));
    QCOMPARE(ask(p, QStringLiteral("set W1026 300")), QStringLiteral("ok"));
    const int fd = openRaw(device);
    QVERIFY(fd >= 0);
    for (const char c : QByteArray::fromHex("FF01040204")) {
        send(fd, QByteArray(1, c));
        QCOMPARE(readN(fd, 1).size(), 1);
    }
    // The last byte of the loop above was an address high byte; finish it.
    send(fd, QByteArray::fromHex("03"));
    QCOMPARE(readN(fd, 1), QByteArray::fromHex("01")); // 300 = 0x012C, high byte at 1027

    // The write example, all at once: every byte echoed, the word stored.
    send(fd, QByteArray::fromHex("FF02"));
    QCOMPARE(readN(fd, 2), QByteArray::fromHex("5555"));
    send(fd, QByteArray::fromHex("00B4E800B503"));
    QCOMPARE(readN(fd, 6), QByteArray::fromHex("00B4E800B503"));
    QCOMPARE(ask(p, QStringLiteral("get W180")), QStringLiteral("W180=1000"));

    // A noise byte before the next reply, and a wrong echo after it.
    QCOMPARE(ask(p, QStringLiteral("noise 0xA5")), QStringLiteral("ok"));
    send(fd, QByteArray::fromHex("FF"));
    QCOMPARE(readN(fd, 2), QByteArray::fromHex("A555"));
    send(fd, QByteArray::fromHex("02"));
    QCOMPARE(readN(fd, 1), QByteArray::fromHex("55"));
    QCOMPARE(ask(p, QStringLiteral("wrong 0x99")), QStringLiteral("ok"));
    send(fd, QByteArray::fromHex("00"));
    QCOMPARE(readN(fd, 1), QByteArray::fromHex("99"));
    ::close(fd);
    p.terminate();
    QVERIFY(p.waitForFinished(5000));
}

void tst_K7700SimProcess::pacing()
{
    QProcess p;
    QString device;
    QVERIFY(start(p, { QStringLiteral("--baud"), QStringLiteral("9600") }, &device));
    const int fd = openRaw(device);
    QVERIFY(fd >= 0);
    const double byteMs = 10.0 * 1000 / 9600; // 1.0417 ms
    // Only what the pacing guarantees is checked here: the bytes, and that no
    // reply comes sooner than the line allows. How close to the wire floor
    // the exchanges run depends on the machine's load; bench_link measures it.

    // One exchange is never quicker than two byte times.
    send(fd, QByteArray::fromHex("FF"));
    QCOMPARE(readN(fd, 1), QByteArray::fromHex("55"));
    send(fd, QByteArray::fromHex("01"));
    QCOMPARE(readN(fd, 1), QByteArray::fromHex("55"));
    const int rounds = 20;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        send(fd, QByteArray(1, char((i % 2) ? 0xB4 : 0x00)));
        QCOMPARE(readN(fd, 1).size(), 1);
    }
    const double each = msSince(t0) / rounds;
    QVERIFY2(each >= 2 * byteMs, qPrintable(QString::number(each)));

    // Four bytes sent at once arrive one byte time apart, and their replies
    // follow one another on the line: the last is in after five byte times.
    t0 = std::chrono::steady_clock::now();
    send(fd, QByteArray::fromHex("00B400B5"));
    const QByteArray replies = readN(fd, 4);
    const double four = msSince(t0);
    QCOMPARE(replies.size(), 4);
    QCOMPARE(replies.at(0), '\0'); // the two echoes
    QCOMPARE(replies.at(2), '\0');
    QVERIFY2(four >= 5 * byteMs, qPrintable(QString::number(four)));

    // A late reply adds its delay.
    QCOMPARE(ask(p, QStringLiteral("late 50")), QStringLiteral("ok"));
    t0 = std::chrono::steady_clock::now();
    send(fd, QByteArray::fromHex("00"));
    QCOMPARE(readN(fd, 1), QByteArray::fromHex("00"));
    const double late = msSince(t0);
    QVERIFY2(late >= 50 + 2 * byteMs, qPrintable(QString::number(late)));

    // 2 + 20 + 4 + 1 reply bytes went out, each counted once.
    const QString stats = ask(p, QStringLiteral("stats"));
    QVERIFY2(stats.startsWith(QStringLiteral("replies=27 late-median-us=")), qPrintable(stats));
    QVERIFY2(
        stats.contains(QStringLiteral(" late-p99-us=")) && stats.contains(QStringLiteral(" late-max-us=")),
        qPrintable(stats));
    QCOMPARE(ask(p, QStringLiteral("stats")), QStringLiteral("replies=0"));
    ::close(fd);
    p.terminate();
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_K7700SimProcess)
#include "tst_k7700sim_process.moc"
