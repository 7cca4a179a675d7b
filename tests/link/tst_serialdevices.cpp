// Choosing a port number for a serial device (the table, the operator's own
// links, a pinned free number) and finding who holds a busy port.

#include "link/SerialDevices.h"

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace talvek;

namespace {

// A machine with the Linux table, some links and some device nodes.
struct FakeMachine
{
    QMap<int, QString> links; // port -> where its link leads
    QSet<QString> nodes; // device nodes present

    static QString table(int n)
    {
        if (n >= 1 && n <= 32)
            return QStringLiteral("/dev/ttyS%1").arg(n - 1);
        if (n >= 33 && n <= 64)
            return QStringLiteral("/dev/ttyUSB%1").arg(n - 33);
        if (n >= 65 && n <= 96)
            return QStringLiteral("/dev/ttyACM%1").arg(n - 65);
        return {};
    }
    PortMap map() const
    {
        return { [this](int n) { return links.contains(n) ? links.value(n) : table(n); },
            [this](int n) { return links.contains(n); }, &FakeMachine::table,
            [this](const QString& d) { return nodes.contains(d); } };
    }
};

SerialDeviceInfo device(const QString& node, const QString& byId = {})
{
    SerialDeviceInfo d;
    d.device = node;
    d.byId = byId;
    return d;
}

} // namespace

class tst_SerialDevices final : public QObject
{
    Q_OBJECT

private slots:
    void portForDevice();
    void lockHolder();
};

void tst_SerialDevices::portForDevice()
{
    const QString ftdi = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1-if00-port0");
    const QString exar = QStringLiteral("/dev/serial/by-id/usb-Exar_XR21V1410_USB_UART_7-if00");
    FakeMachine m;
    for (int i = 0; i < 4; ++i)
        m.nodes << QStringLiteral("/dev/ttyS%1").arg(i);
    m.nodes << QStringLiteral("/dev/ttyUSB0") << QStringLiteral("/dev/ttyXRUSB0");

    // The table reaches the device: its number, nothing pinned.
    PortChoice c = choosePortForDevice(device(QStringLiteral("/dev/ttyUSB0"), ftdi), m.map(), 1, 99);
    QCOMPARE(c.port, 33);
    QCOMPARE(c.pinTarget, QString());
    QCOMPARE(choosePortForDevice(device(QStringLiteral("/dev/ttyS3")), m.map(), 1, 99).port, 4);
    QCOMPARE(choosePortForDevice(device(QStringLiteral("/dev/ttyACM31")), m.map(), 1, 99).port, 96);

    // The operator's own link wins over the table, and a linked table number
    // no longer means its table device.
    m.links[5] = QStringLiteral("/dev/ttyUSB0");
    QCOMPARE(choosePortForDevice(device(QStringLiteral("/dev/ttyUSB0"), ftdi), m.map(), 1, 99).port, 5);
    m.links[4] = QStringLiteral("/dev/ttyUSB7");
    c = choosePortForDevice(device(QStringLiteral("/dev/ttyS3")), m.map(), 1, 99);
    QCOMPARE(c.port, 99);
    QCOMPARE(c.pinTarget, QStringLiteral("/dev/ttyS3")); // no by-id name: the node itself

    // A device no number reaches: a free number pinned to its by-id name,
    // 99, 98, 97 first (the table leaves them unused).
    const SerialDeviceInfo xr = device(QStringLiteral("/dev/ttyXRUSB0"), exar);
    c = choosePortForDevice(xr, m.map(), 1, 99);
    QCOMPARE(c.port, 99);
    QCOMPARE(c.pinTarget, exar);
    m.links[99] = QStringLiteral("/dev/serial/by-id/usb-unplugged"); // dangling: still taken
    m.links[98] = QStringLiteral("/dev/ttyS0");
    QCOMPARE(choosePortForDevice(xr, m.map(), 1, 99).port, 97);
    m.links[97] = QStringLiteral("/dev/ttyS1");
    // Then the highest number whose table device is not on this machine.
    c = choosePortForDevice(xr, m.map(), 1, 99);
    QCOMPARE(c.port, 96);
    QCOMPARE(c.pinTarget, exar);
    // Within narrower limits, and none at all when every number is taken.
    QCOMPARE(choosePortForDevice(xr, m.map(), 1, 4).port, 0);
    QCOMPARE(choosePortForDevice(xr, m.map(), 1, 5).port, 0);
    m.links.remove(5);
    QCOMPARE(choosePortForDevice(xr, m.map(), 1, 5).port, 5); // ttyS4 is not there
    // Once pinned, the pin is its number.
    m.links[96] = exar;
    QCOMPARE(choosePortForDevice(device(exar), m.map(), 1, 99).port, 96);
}

void tst_SerialDevices::lockHolder()
{
    QTemporaryDir locks;
    const auto writeLock = [&](const QString& name, const QByteArray& content) {
        QFile f(locks.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    };
    QFile comm(QStringLiteral("/proc/self/comm"));
    QVERIFY(comm.open(QIODevice::ReadOnly));
    const QString self = QString::fromLocal8Bit(comm.readAll().trimmed());
    const QString pid = QString::number(QCoreApplication::applicationPid());

    QCOMPARE(serialLockHolder(QStringLiteral("/dev/ttyUSB0"), { locks.path() }), QString());
    // QLockFile's format (pid, program, host) and the uucp one (a padded pid).
    writeLock(QStringLiteral("LCK..ttyUSB0"), pid.toLatin1() + "\nminicom\nbench\n");
    QCOMPARE(serialLockHolder(QStringLiteral("/dev/ttyUSB0"), { locks.path() }),
        QStringLiteral("%1 (process %2)").arg(self, pid));
    writeLock(QStringLiteral("LCK..pts_3"), QByteArray("     ") + pid.toLatin1() + "\n");
    QCOMPARE(serialLockHolder(QStringLiteral("/dev/pts/3"), { locks.path() }),
        QStringLiteral("%1 (process %2)").arg(self, pid));
    // Stale and unreadable locks name nobody.
    writeLock(QStringLiteral("LCK..ttyUSB0"), "4194304\n"); // above any pid Linux gives
    QCOMPARE(serialLockHolder(QStringLiteral("/dev/ttyUSB0"), { locks.path() }), QString());
    writeLock(QStringLiteral("LCK..ttyUSB0"), "minicom\n");
    QCOMPARE(serialLockHolder(QStringLiteral("/dev/ttyUSB0"), { locks.path() }), QString());
}

QTEST_GUILESS_MAIN(tst_SerialDevices)
#include "tst_serialdevices.moc"
