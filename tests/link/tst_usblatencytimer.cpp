// A USB adapter's latency timer on a fake sysfs tree: found by the device's
// numbers, read, lowered to 1 ms where writable, reported as in force, and
// put back on release.

#include "link/UsbLatencyTimer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using talvek::UsbLatencyTimer;

namespace {

// <root>/dev/char/<major>:<minor>/device/latency_timer holding text.
QString makeAttribute(const QString& root, unsigned major, unsigned minor, const QByteArray& text)
{
    const QString dir = QStringLiteral("%1/dev/char/%2:%3/device").arg(root).arg(major).arg(minor);
    if (!QDir().mkpath(dir))
        return {};
    QFile f(dir + QStringLiteral("/latency_timer"));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size())
        return {};
    return f.fileName();
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class tst_UsbLatencyTimer : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void lowersAndPutsBack();
    void leavesWhatItCannotUse();
    void unwritableIsReportedAsFound();
};

void tst_UsbLatencyTimer::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("ms");
    QTest::newRow("kernel's form") << QByteArray("16\n") << 16;
    QTest::newRow("one") << QByteArray("1\n") << 1;
    QTest::newRow("no line end") << QByteArray("2") << 2;
    QTest::newRow("largest") << QByteArray("255\n") << 255;
    QTest::newRow("beyond a byte") << QByteArray("256\n") << -1;
    QTest::newRow("negative") << QByteArray("-1\n") << -1;
    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("not a number") << QByteArray("fast\n") << -1;
}

void tst_UsbLatencyTimer::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(int, ms);
    QCOMPARE(UsbLatencyTimer::parse(text), ms);
}

void tst_UsbLatencyTimer::lowersAndPutsBack()
{
    QTemporaryDir sysfs;
    const QString usb0 = makeAttribute(sysfs.path(), 188, 0, "16\n");
    const QString usb1 = makeAttribute(sysfs.path(), 188, 1, "16\n");
    QVERIFY(!usb0.isEmpty() && !usb1.isEmpty());

    UsbLatencyTimer timer(sysfs.path());
    QVERIFY(!timer.attached());
    QCOMPARE(timer.lower(1), -1); // nothing attached: nothing read or written

    QVERIFY(timer.attach(188, 0));
    QCOMPARE(timer.path(), usb0);
    QCOMPARE(timer.lower(1), 1);
    QCOMPARE(timer.inForce(), 1);
    QCOMPARE(contents(usb0), QByteArray("1\n"));
    QCOMPARE(contents(usb1), QByteArray("16\n")); // the other adapter is left alone
    // Asked again: the value found first is still the one put back.
    QCOMPARE(timer.lower(1), 1);
    timer.release();
    QCOMPARE(contents(usb0), QByteArray("16\n"));
    QVERIFY(!timer.attached());
    QCOMPARE(timer.inForce(), -1);

    // Attaching to another device puts the first one back before.
    QVERIFY(timer.attach(188, 0));
    QCOMPARE(timer.lower(1), 1);
    QVERIFY(timer.attach(188, 1));
    QCOMPARE(contents(usb0), QByteArray("16\n"));
    QCOMPARE(timer.lower(1), 1);
    QCOMPARE(contents(usb1), QByteArray("1\n"));
    timer.release();
    QCOMPARE(contents(usb1), QByteArray("16\n"));
}

void tst_UsbLatencyTimer::leavesWhatItCannotUse()
{
    QTemporaryDir sysfs;
    // A device without the attribute (a built-in UART, an ACM modem).
    QVERIFY(QDir().mkpath(sysfs.path() + QStringLiteral("/dev/char/4:64/device")));
    UsbLatencyTimer timer(sysfs.path());
    QVERIFY(!timer.attach(4, 64));
    QVERIFY(!timer.attached());
    QCOMPARE(timer.lower(1), -1);
    QVERIFY(!QFile::exists(sysfs.path() + QStringLiteral("/dev/char/4:64/device/latency_timer")));

    // Already at or below what is asked: kept, and nothing to put back.
    const QString zero = makeAttribute(sysfs.path(), 188, 2, "0\n");
    QVERIFY(timer.attach(188, 2));
    QCOMPARE(timer.lower(1), 0);
    timer.release();
    QCOMPARE(contents(zero), QByteArray("0\n"));

    // A value that is not one: not overwritten on a guess.
    const QString odd = makeAttribute(sysfs.path(), 188, 3, "fast\n");
    QVERIFY(timer.attach(188, 3));
    QCOMPARE(timer.lower(1), -1);
    timer.release();
    QCOMPARE(contents(odd), QByteArray("fast\n"));
}

void tst_UsbLatencyTimer::unwritableIsReportedAsFound()
{
    // The operator's usual case: the attribute belongs to root, mode 0644.
    QTemporaryDir sysfs;
    const QString path = makeAttribute(sysfs.path(), 188, 0, "16\n");
    QVERIFY(!path.isEmpty());
    QVERIFY(::chmod(QFile::encodeName(sysfs.path()).constData(), 0755) == 0);
    if (::geteuid() != 0) {
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
        UsbLatencyTimer timer(sysfs.path());
        QVERIFY(timer.attach(188, 0));
        QCOMPARE(timer.lower(1), 16);
        timer.release();
        QCOMPARE(contents(path), QByteArray("16\n"));
        return;
    }

    // As root: try it as an unprivileged user in a child process.
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody)
        QSKIP("no unprivileged user to try an unwritable attribute with");
    int fds[2];
    QCOMPARE(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        QByteArray out;
        if (::setgroups(0, nullptr) == 0 && ::setgid(nobody->pw_gid) == 0 && ::setuid(nobody->pw_uid) == 0) {
            UsbLatencyTimer timer(sysfs.path());
            const bool attached = timer.attach(188, 0);
            const int inForce = timer.lower(1);
            timer.release();
            out = QByteArray::number(attached) + ' ' + QByteArray::number(inForce) + ' '
                + QByteArray::number(timer.inForce());
        } else {
            out = "setuid failed";
        }
        (void)!::write(fds[1], out.constData(), size_t(out.size()));
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray got;
    char buf[256];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        got.append(buf, int(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    QCOMPARE(got, QByteArray("1 16 -1")); // attached, 16 in force; forgotten on release
    QCOMPARE(contents(path), QByteArray("16\n"));
}

QTEST_GUILESS_MAIN(tst_UsbLatencyTimer)
#include "tst_usblatencytimer.moc"
