// The real serial-port control against pseudo-terminals that the test holds
// the other end of.

#include "base/ProgramFolder.h"
#include "link/QtSerialPortControl.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <memory>
#include <poll.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using talvek::ProgramFolder;
using talvek::QtSerialPortControl;
using talvek::SerialError;
namespace SerialErrorNumber = talvek::SerialErrorNumber;

namespace {

// The master side of a pseudo-terminal, with its slave path.
class Pty
{
public:
    Pty()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        m_slave = QString::fromLocal8Bit(::ptsname(m_master));
        // Raw, so that bytes pass unchanged.
        const int s = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
        termios t {};
        ::tcgetattr(s, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(s, TCSANOW, &t);
        ::close(s);
    }
    ~Pty() { closeMaster(); }
    bool ok() const { return m_master >= 0 && !m_slave.isEmpty(); }
    QString slave() const { return m_slave; }
    void send(const QByteArray& b)
    {
        QCOMPARE(::write(m_master, b.constData(), size_t(b.size())), ssize_t(b.size()));
    }
    // Reads what the port sent, waiting up to timeoutMs for the first byte.
    QByteArray receive(int timeoutMs = 1000)
    {
        pollfd p { m_master, POLLIN, 0 };
        if (::poll(&p, 1, timeoutMs) <= 0)
            return {};
        char buf[256];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        return n > 0 ? QByteArray(buf, int(n)) : QByteArray();
    }
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    QString m_slave;
};

// support/ports/COM<n> in the folder, spelled as given, linking to target.
void makeLink(const QString& root, const QString& relDir, int port, const QString& target)
{
    QVERIFY(QDir(root).mkpath(relDir));
    const QString link = root + QLatin1Char('/') + relDir + QStringLiteral("/COM%1").arg(port);
    QFile::remove(link);
    QVERIFY(QFile::link(target, link));
}

int errorNumber(const std::function<void()>& f, QString* description = nullptr)
{
    try {
        f();
    } catch (const SerialError& e) {
        if (description)
            *description = e.description();
        return e.number();
    }
    return 0;
}

double cpuSeconds()
{
    rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

class tst_QtSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void parseSettings_data();
    void parseSettings();
    void setSettingsKeepsOldOnError();
    void defaultDevices_data();
    void defaultDevices();
    void linkOverridesTable();
    void openErrors();
    void permissionMessage_data();
    void permissionMessage();
    void permissionDenied();
    void portInUse();
    void exchangeOverPty();
    void latencyTimerOfTheOpenPort();
    void vanishedPeerIsASilentLine();
};

void tst_QtSerialPort::parseSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");

    QTest::newRow("9600,n,8,1") << "9600,n,8,1" << true << 9600 << int(QSerialPort::NoParity) << 8
                                << int(QSerialPort::OneStop);
    QTest::newRow("19200,N,8,1") << "19200,N,8,1" << true << 19200 << int(QSerialPort::NoParity) << 8
                                 << int(QSerialPort::OneStop);
    QTest::newRow("blanks") << " 4800 , e , 7 , 2 " << true << 4800 << int(QSerialPort::EvenParity) << 7
                            << int(QSerialPort::TwoStop);
    QTest::newRow("odd 5") << "115200,o,5,1" << true << 115200 << int(QSerialPort::OddParity) << 5
                           << int(QSerialPort::OneStop);
    QTest::newRow("mark") << "300,m,6,1" << true << 300 << int(QSerialPort::MarkParity) << 6
                          << int(QSerialPort::OneStop);
    QTest::newRow("space") << "1200,s,8,2" << true << 1200 << int(QSerialPort::SpaceParity) << 8
                           << int(QSerialPort::TwoStop);
    QTest::newRow("odd rate") << "12345,n,8,1" << true << 12345 << int(QSerialPort::NoParity) << 8
                              << int(QSerialPort::OneStop);
    for (const char* bad : { "", "9600", "9600,n,8", "9600,n,8,1,1", "abc,n,8,1", "0,n,8,1", "-9600,n,8,1",
             "+9600,n,8,1", "9600.5,n,8,1", ",n,8,1", "9600,x,8,1", "9600,,8,1", "9600,n,9,1", "9600,n,4,1",
             "9600,n,8,3", "9600,n,8,0", "9600,n,8,1.5" })
        QTest::newRow(bad[0] ? bad : "empty") << QString::fromLatin1(bad) << false << 0 << 0 << 0 << 0;
}

void tst_QtSerialPort::parseSettings()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    try {
        const QtSerialPortControl::LineSettings s = QtSerialPortControl::parseSettings(text);
        QVERIFY2(valid, "an invalid text was accepted");
        QTEST(int(s.baud), "baud");
        QTEST(int(s.parity), "parity");
        QTEST(int(s.dataBits), "dataBits");
        QTEST(int(s.stopBits), "stopBits");
    } catch (const SerialError& e) {
        QVERIFY2(!valid, qPrintable(e.description()));
        QCOMPARE(e.number(), SerialErrorNumber::kInvalidPropertyValue);
        QVERIFY(e.description().startsWith(QStringLiteral("Invalid property value")));
        QVERIFY(e.description().contains(QLatin1Char('"') + text + QLatin1Char('"')));
    }
}

void tst_QtSerialPort::setSettingsKeepsOldOnError()
{
    QTemporaryDir dir;
    QtSerialPortControl port { ProgramFolder(dir.path()) };
    QCOMPARE(port.settings(), QStringLiteral("9600,n,8,1"));
    port.setSettings(QStringLiteral("19200,n,8,1"));
    QCOMPARE(port.settings(), QStringLiteral("19200,n,8,1"));
    QCOMPARE(errorNumber([&] { port.setSettings(QStringLiteral("fast,n,8,1")); }),
        SerialErrorNumber::kInvalidPropertyValue);
    QCOMPARE(port.settings(), QStringLiteral("19200,n,8,1"));

    QCOMPARE(errorNumber([&] { port.setCommPort(0); }), SerialErrorNumber::kInvalidPortNumber);
    QCOMPARE(errorNumber([&] { port.setCommPort(100); }), SerialErrorNumber::kInvalidPortNumber);
    port.setCommPort(99);
    QCOMPARE(port.commPort(), 99);
}

void tst_QtSerialPort::defaultDevices_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device");
    QTest::newRow("COM1") << 1 << "/dev/ttyS0";
    QTest::newRow("COM32") << 32 << "/dev/ttyS31";
    QTest::newRow("COM33") << 33 << "/dev/ttyUSB0";
    QTest::newRow("COM64") << 64 << "/dev/ttyUSB31";
    QTest::newRow("COM65") << 65 << "/dev/ttyACM0";
    QTest::newRow("COM96") << 96 << "/dev/ttyACM31";
    QTest::newRow("COM97") << 97 << "";
    QTest::newRow("COM99") << 99 << "";
    QTest::newRow("COM0") << 0 << "";
}

void tst_QtSerialPort::defaultDevices()
{
    QFETCH(int, port);
    QFETCH(QString, device);
    QCOMPARE(QtSerialPortControl::defaultDevice(port), device);
    QTemporaryDir dir; // no links: the table
    QtSerialPortControl control { ProgramFolder(dir.path()) };
    QCOMPARE(control.deviceForPort(port), device);
}

void tst_QtSerialPort::linkOverridesTable()
{
    Pty pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    // The folder exists as "Support/Ports": found whatever its case.
    makeLink(dir.path(), QStringLiteral("Support/Ports"), 5, pty.slave());
    makeLink(dir.path(), QStringLiteral("Support/Ports"), 97, pty.slave());
    makeLink(dir.path(), QStringLiteral("Support/Ports"), 6, QStringLiteral("/dev/nonexistent-talvek-tty"));
    QtSerialPortControl port { ProgramFolder(dir.path()) };
    QCOMPARE(port.deviceForPort(5), pty.slave());
    QCOMPARE(port.deviceForPort(97), pty.slave()); // a link maps even the unmapped numbers
    QCOMPARE(port.deviceForPort(6), QStringLiteral("/dev/nonexistent-talvek-tty"));
    QCOMPARE(port.deviceForPort(7), QStringLiteral("/dev/ttyS6"));
    QCOMPARE(port.portLink(5), dir.path() + QStringLiteral("/Support/Ports/COM5"));

    port.setCommPort(97);
    port.open();
    QVERIFY(port.isOpen());
    port.close();
    QVERIFY(!port.isOpen());
}

void tst_QtSerialPort::openErrors()
{
    QTemporaryDir dir;
    makeLink(dir.path(), QStringLiteral("support/ports"), 6, QStringLiteral("/dev/nonexistent-talvek-tty"));
    QtSerialPortControl port { ProgramFolder(dir.path()) };

    QString text;
    port.setCommPort(97);
    QCOMPARE(errorNumber([&] { port.open(); }, &text), SerialErrorNumber::kInvalidPortNumber);
    QVERIFY2(text.contains(QStringLiteral("COM97 has no serial device")), qPrintable(text));
    QVERIFY2(text.contains(dir.path() + QStringLiteral("/support/ports/COM97")), qPrintable(text));

    port.setCommPort(6);
    QCOMPARE(errorNumber([&] { port.open(); }, &text), SerialErrorNumber::kDeviceNotFound);
    QVERIFY2(
        text.startsWith(QStringLiteral("The serial device /dev/nonexistent-talvek-tty (COM6, linked from ")
            + dir.path() + QStringLiteral("/support/ports/COM6) does not exist.")),
        qPrintable(text));
    QVERIFY(!port.isOpen());

    QCOMPARE(errorNumber([&] { port.write(QByteArray("x")); }), SerialErrorNumber::kPortNotOpen);
    QCOMPARE(port.readByte(), -1);
    QCOMPARE(port.bytesAvailable(), 0);
    QVERIFY(!port.waitForInput(0));
}

void tst_QtSerialPort::permissionMessage_data()
{
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QString>("group");
    QTest::addColumn<uint>("mode");
    QTest::addColumn<QString>("udevRule");
    QTest::addColumn<QString>("join");
    QTest::addColumn<QString>("message");

    const QString installedRule = QStringLiteral("/usr/lib/udev/rules.d/99-talvek-serial.rules");
    const QString portableRule = QStringLiteral("/opt/talvek/udev/99-talvek-serial.rules");
    const QString logIn = QStringLiteral("then log out and log in again for the change to take effect. "
                                         "Do not run TALVEK as root to get around this.");
    const QString joinDialout = QStringLiteral(
        "Serial devices belong to the group \"dialout\", which may read and write them (mode 660). ");
    const QString installedHow = QStringLiteral(
        "The udev rule /usr/lib/udev/rules.d/99-talvek-serial.rules, installed with TALVEK, gives serial "
        "ports "
        "and USB serial adapters to that group as they appear: unplug the adapter and plug it in again, or "
        "restart the computer.\r\n");
    // No group opens a root-only device: joining one is no advice.
    const QString notInDialout = QStringLiteral(
        "This user is not in \"dialout\"; joining it helps only once the device belongs to that group. "
        "Do not run TALVEK as root to get around this.");

    QTest::newRow("660 dialout") << "root"
                                 << "dialout" << 0660u << installedRule << "dialout"
                                 << QString(
                                        QStringLiteral("Permission denied: the serial device /dev/ttyUSB0 "
                                                       "(COM33) belongs to the group \"dialout\", and this "
                                                       "user may not use it.\r\n"
                                                       "Add your user to that group:\r\n"
                                                       "    sudo usermod -aG dialout alice\r\n")
                                        + logIn);
    // Some systems give the adapters to a group of their own.
    QTest::newRow("660 uucp") << "root"
                              << "uucp" << 0660u << installedRule << "uucp"
                              << QString(
                                     QStringLiteral("Permission denied: the serial device /dev/ttyUSB0 "
                                                    "(COM33) belongs to the group \"uucp\", and this user "
                                                    "may not use it.\r\n"
                                                    "Add your user to that group:\r\n"
                                                    "    sudo usermod -aG uucp alice\r\n")
                                     + logIn);
    QTest::newRow("600 root") << "root"
                              << "root" << 0600u << installedRule << ""
                              << QString(
                                     QStringLiteral("Permission denied: only root can use the serial device "
                                                    "/dev/ttyUSB0 (COM33): it belongs to the user \"root\" "
                                                    "and the group \"root\" with mode 600, which lets no "
                                                    "group read and write it.\r\n")
                                     + joinDialout + installedHow + notInDialout);
    // The group may read but not write: joining it would not help.
    QTest::newRow("640 dialout") << "root"
                                 << "dialout" << 0640u << installedRule << ""
                                 << QString(
                                        QStringLiteral("Permission denied: only root can use the serial "
                                                       "device /dev/ttyUSB0 (COM33): it belongs to the user "
                                                       "\"root\" and the group \"dialout\" with mode 640, "
                                                       "which lets no group read and write it.\r\n")
                                        + joinDialout + installedHow + notInDialout);
    // Administrators' groups are never suggested, whatever their bits.
    for (const char* admin : { "root", "sudo", "wheel", "adm" }) {
        QTest::newRow(qPrintable(QStringLiteral("660 %1").arg(QLatin1String(admin))))
            << "root" << admin << 0660u << installedRule << ""
            << QString(
                   QStringLiteral("Permission denied: only root can use the serial device /dev/ttyUSB0 "
                                  "(COM33): it belongs to the user \"root\" and the group \"%1\" with mode "
                                  "660, and that group is for administrators, not for using a serial "
                                  "port.\r\n")
                       .arg(QLatin1String(admin))
                   + joinDialout + installedHow + notInDialout);
    }
    // A device another user owns, seen from a portable copy: the rule is
    // still to be put in place.
    QTest::newRow("600 bob, portable")
        << "bob"
        << "bob" << 0600u << portableRule << ""
        << QString(QStringLiteral("Permission denied: only root and the user \"bob\" can "
                                  "use the serial device /dev/ttyUSB0 (COM33): it belongs "
                                  "to the user \"bob\" and the group \"bob\" with mode "
                                  "600, which lets no group read and write it.\r\n")
               + joinDialout
               + QStringLiteral("The udev rule /opt/talvek/udev/99-talvek-serial.rules "
                                "gives serial ports and USB serial adapters to that group "
                                "as they appear, once an administrator copies it to "
                                "/etc/udev/rules.d (then unplug the adapter and plug it in "
                                "again, or restart the computer).\r\n")
               + notInDialout);
    // A program that has no rule at hand names it and where it goes.
    QTest::newRow("600 root, no rule")
        << "root"
        << "root" << 0600u << ""
        << ""
        << QString(QStringLiteral("Permission denied: only root can use the serial device "
                                  "/dev/ttyUSB0 (COM33): it belongs to the user \"root\" "
                                  "and the group \"root\" with mode 600, which lets no group "
                                  "read and write it.\r\n")
               + joinDialout
               + QStringLiteral("The udev rule 99-talvek-serial.rules that comes with TALVEK "
                                "gives serial ports and USB serial adapters to that group as "
                                "they appear, once it is in /usr/lib/udev/rules.d (where the "
                                "package puts it) or /etc/udev/rules.d.\r\n")
               + notInDialout);
    // Everyone may read and write it, yet the open was refused: no group helps.
    QTest::newRow("666") << "root"
                         << "dialout" << 0666u << installedRule << "dialout"
                         << QStringLiteral(
                                "Permission denied: the serial device /dev/ttyUSB0 (COM33) lets every "
                                "user read and write it (user \"root\", group \"dialout\", mode 666), "
                                "yet this user was refused.\r\n"
                                "Something besides its permission bits stands in the way: an access "
                                "control list (getfacl /dev/ttyUSB0), a security module (AppArmor, "
                                "SELinux) or a file system mounted without devices (nodev). Do not "
                                "run TALVEK as root to get around this.");
}

void tst_QtSerialPort::permissionMessage()
{
    QFETCH(QString, owner);
    QFETCH(QString, group);
    QFETCH(uint, mode);
    QFETCH(QString, udevRule);
    QFETCH(QString, join);
    QFETCH(QString, message);
    const QtSerialPortControl::DeviceOwnership node { owner, group, mode };
    QCOMPARE(QtSerialPortControl::groupToJoin(node), join);
    QCOMPARE(QtSerialPortControl::permissionMessage(QStringLiteral("/dev/ttyUSB0"), 33, node,
                 talvek::PortUser { QStringLiteral("alice"), {}, {} }, udevRule),
        message);
}

void tst_QtSerialPort::permissionDenied()
{
    // A pseudo-terminal that only its owner may use: no group gives access
    // (a terminal's group "tty" may only write), so only root can use it.
    Pty pty;
    QVERIFY(pty.ok());
    const QByteArray slave = QFile::encodeName(pty.slave());
    struct stat st
    {
    };
    QCOMPARE(::stat(slave.constData(), &st), 0);
    const group* g = ::getgrgid(st.st_gid);
    QVERIFY(g);
    const passwd* owner = ::getpwuid(st.st_uid);
    QVERIFY(owner);
    const QString groupName = QString::fromLocal8Bit(g->gr_name);
    QTemporaryDir dir;
    makeLink(dir.path(), QStringLiteral("support/ports"), 3, pty.slave());
    // A portable copy's rule, beside the program.
    const QString rule = dir.filePath(QStringLiteral("udev/99-talvek-serial.rules"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("udev")));
    QFile ruleFile(rule);
    QVERIFY(ruleFile.open(QIODevice::WriteOnly));
    ruleFile.close();
    const ProgramFolder folder(dir.path());
    QCOMPARE(folder.udevRule(QStringLiteral("99-talvek-serial.rules")), rule);
    // The owner, group and mode read from the device; the hint names the user
    // who runs the program.
    const auto expected = [&](uint mode, const talvek::PortUser& user) {
        return QtSerialPortControl::permissionMessage(
            pty.slave(), 3, { QString::fromLocal8Bit(owner->pw_name), groupName, mode }, user, rule);
    };

    if (::geteuid() != 0) {
        QCOMPARE(::chmod(slave.constData(), 0), 0);
        QtSerialPortControl port { folder };
        port.setCommPort(3);
        QString text;
        QCOMPARE(errorNumber([&] { port.open(); }, &text), SerialErrorNumber::kPermissionDenied);
        const passwd* me = ::getpwuid(::geteuid());
        QVERIFY(me);
        QCOMPARE(talvek::currentPortUser().name, QString::fromLocal8Bit(me->pw_name));
        QCOMPARE(text, expected(0, talvek::currentPortUser()));
        QVERIFY2(text.startsWith(QStringLiteral("Permission denied: only root can use the serial device ")),
            qPrintable(text));
        return;
    }

    // As root: try it as an unprivileged user in a child process.
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody)
        QSKIP("no unprivileged user to try the permission error with");
    const QString nobodyName = QString::fromLocal8Bit(nobody->pw_name);
    QCOMPARE(::chmod(slave.constData(), 0600), 0);
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    int fds[2];
    QCOMPARE(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        QByteArray out;
        if (::setgroups(0, nullptr) == 0 && ::setgid(nobody->pw_gid) == 0 && ::setuid(nobody->pw_uid) == 0) {
            QtSerialPortControl port { folder };
            port.setCommPort(3);
            try {
                port.open();
                out = "opened";
            } catch (const SerialError& e) {
                out = QByteArray::number(e.number()) + '\n' + e.description().toUtf8();
            }
        } else {
            out = "setuid failed";
        }
        (void)!::write(fds[1], out.constData(), size_t(out.size()));
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray got;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        got.append(buf, int(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    QCOMPARE(QString::fromUtf8(got),
        QString::number(SerialErrorNumber::kPermissionDenied) + QLatin1Char('\n')
            + expected(0600, talvek::PortUser { nobodyName, {}, {} }));
    QVERIFY2(got.contains("only root can use the serial device"), got.constData());
}

void tst_QtSerialPort::portInUse()
{
    Pty pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    makeLink(dir.path(), QStringLiteral("support/ports"), 4, pty.slave());
    QtSerialPortControl first { ProgramFolder(dir.path()) };
    QtSerialPortControl second { ProgramFolder(dir.path()) };
    first.setCommPort(4);
    second.setCommPort(4);
    first.open();
    QString text;
    QCOMPARE(errorNumber([&] { second.open(); }, &text), SerialErrorNumber::kPortUnavailable);
    // QSerialPort's lock file names the holder: this test itself.
    QFile comm(QStringLiteral("/proc/self/comm"));
    QVERIFY(comm.open(QIODevice::ReadOnly));
    const QString self = QString::fromLocal8Bit(comm.readAll().trimmed());
    QCOMPARE(text,
        QStringLiteral("The serial port ") + pty.slave() + QStringLiteral(" (COM4, linked from ") + dir.path()
            + QStringLiteral("/support/ports/COM4) is in use by another program. Close that program and "
                             "try again.\r\nIt is held by %1 (process %2).")
                  .arg(self)
                  .arg(QCoreApplication::applicationPid()));
    QVERIFY(!second.isOpen());
    QCOMPARE(errorNumber([&] { first.open(); }), SerialErrorNumber::kPortAlreadyOpen);
    QCOMPARE(errorNumber([&] { first.setCommPort(5); }), SerialErrorNumber::kPortAlreadyOpen);
    first.close();
    second.open(); // free again
    QVERIFY(second.isOpen());
}

void tst_QtSerialPort::exchangeOverPty()
{
    Pty pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    makeLink(dir.path(), QStringLiteral("support/ports"), 1, pty.slave());
    QtSerialPortControl port { ProgramFolder(dir.path()) };
    port.setCommPort(1);
    port.setSettings(QStringLiteral("19200,n,8,1"));

    // Left-over input from before the open is discarded by open().
    const int holder = ::open(QFile::encodeName(pty.slave()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(holder >= 0);
    pty.send(QByteArray("\x11\x22"));
    // Until the bytes sit in the slave's input buffer.
    auto queued = [holder] {
        int n = 0;
        return ::ioctl(holder, FIONREAD, &n) == 0 ? n : -1;
    };
    QTRY_COMPARE_WITH_TIMEOUT(queued(), 2, 5000);
    port.open();
    ::close(holder);
    QCOMPARE(port.bytesAvailable(), 0);
    // A pseudo-terminal has neither a low-latency mode nor a latency timer, and that is fine.
    QVERIFY(!port.latency().lowLatencyMode);
    QCOMPARE(port.latency().timerMs, -1);
    QVERIFY(!port.latency().slow());

    // Settings can change while open.
    port.setSettings(QStringLiteral("9600,n,8,1"));
    QCOMPARE(port.settings(), QStringLiteral("9600,n,8,1"));

    for (int b : { 0xFF, 0x00, 0x55, 0x80 }) {
        port.write(QByteArray(1, char(b)));
        QCOMPARE(pty.receive(), QByteArray(1, char(b)));
        pty.send(QByteArray(1, char(b ^ 0x0F)));
        QVERIFY(port.waitForInput(1000));
        QCOMPARE(port.bytesAvailable(), 1);
        QCOMPARE(port.readByte(), b ^ 0x0F);
        QCOMPARE(port.readByte(), -1);
    }

    // Bytes already there are seen without a wait; discardInput drops them.
    pty.send(QByteArray("\x01\x02\x03"));
    QTRY_COMPARE(port.bytesAvailable(), 3);
    QVERIFY(port.waitForInput(0));
    QCOMPARE(port.readByte(), 1);
    port.discardInput();
    QCOMPARE(port.bytesAvailable(), 0);

    // Nothing arrives: the wait lasts its timeout and no longer.
    QElapsedTimer t;
    t.start();
    QVERIFY(!port.waitForInput(80));
    QVERIFY2(t.elapsed() >= 79 && t.elapsed() < 500, qPrintable(QString::number(t.elapsed())));
    port.close();
    QCOMPARE(port.readByte(), -1);
}

void tst_QtSerialPort::latencyTimerOfTheOpenPort()
{
    // A fake sysfs gives the pseudo-terminal the latency timer a USB adapter
    // has, under the device's own numbers.
    Pty pty;
    QVERIFY(pty.ok());
    struct stat st
    {
    };
    QCOMPARE(::stat(QFile::encodeName(pty.slave()).constData(), &st), 0);
    QTemporaryDir sysfs;
    const QString dir = QStringLiteral("%1/dev/char/%2:%3/device")
                            .arg(sysfs.path())
                            .arg(major(st.st_rdev))
                            .arg(minor(st.st_rdev));
    QVERIFY(QDir().mkpath(dir));
    QFile attribute(dir + QStringLiteral("/latency_timer"));
    auto timerText = [&attribute] {
        attribute.open(QIODevice::ReadOnly);
        const QByteArray text = attribute.readAll();
        attribute.close();
        return text;
    };
    QVERIFY(attribute.open(QIODevice::WriteOnly));
    attribute.write("16\n");
    attribute.close();

    QTemporaryDir dir2;
    makeLink(dir2.path(), QStringLiteral("support/ports"), 2, pty.slave());
    QtSerialPortControl port { ProgramFolder(dir2.path()) };
    port.setSysfsRoot(sysfs.path());
    port.setCommPort(2);
    QCOMPARE(port.latency().timerMs, -1); // not open: nothing to say

    port.open();
    QCOMPARE(timerText(), QByteArray("1\n"));
    QCOMPARE(port.latency().timerMs, 1);
    QCOMPARE(port.latency().timerPath, attribute.fileName());
    QVERIFY(!port.latency().slow());
    port.close();
    QCOMPARE(timerText(), QByteArray("16\n")); // the adapter as it was found
    QCOMPARE(port.latency().timerMs, -1);
}

void tst_QtSerialPort::vanishedPeerIsASilentLine()
{
    auto pty = std::make_unique<Pty>();
    QVERIFY(pty->ok());
    QTemporaryDir dir;
    makeLink(dir.path(), QStringLiteral("support/ports"), 2, pty->slave());
    QtSerialPortControl port { ProgramFolder(dir.path()) };
    port.setCommPort(2);
    port.open();
    pty->closeMaster();

    // No hang, no spinning: the wait sleeps its timeout out and finds nothing;
    // writing is not an error.
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 3; ++i) {
        port.write(QByteArray(1, char(0xFF)));
        QVERIFY(!port.waitForInput(100));
    }
    const qint64 wall = t.elapsed();
    const double cpu = cpuSeconds() - cpu0;
    QVERIFY2(wall >= 299 && wall < 1500, qPrintable(QString::number(wall)));
    QVERIFY2(cpu < 0.1, qPrintable(QString::number(cpu)));
    QVERIFY(port.isOpen());
    QCOMPARE(port.readByte(), -1);
    port.close();
    QVERIFY(!port.isOpen());
}

QTEST_GUILESS_MAIN(tst_QtSerialPort)
#include "tst_qtserialport.moc"
