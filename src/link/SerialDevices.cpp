#include "link/SerialDevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>
#include <cerrno>
#include <limits>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace talvek {

QString SerialDeviceInfo::displayName() const
{
    return byId.isEmpty() ? device : byId;
}

QList<SerialDeviceInfo> listSerialDevices()
{
    QList<SerialDeviceInfo> list;
    // The stable names udev gives USB adapters, by the device they lead to.
    QList<QPair<QString, QString>> byId;
#ifdef Q_OS_LINUX
    const QDir idDir(QStringLiteral("/dev/serial/by-id"));
    const QFileInfoList links
        = idDir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty())
            byId.append({ target, link.absoluteFilePath() });
    }
#endif
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& port : ports) {
        SerialDeviceInfo info;
        info.device = port.systemLocation();
        info.description = port.description();
        info.manufacturer = port.manufacturer();
        info.serialNumber = port.serialNumber();
        const QString canonical = QFileInfo(info.device).canonicalFilePath();
        for (const auto& [target, link] : std::as_const(byId)) {
            if (target == info.device || target == canonical) {
                info.byId = link;
                break;
            }
        }
        list.append(info);
    }
    std::sort(list.begin(), list.end(),
        [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) { return a.device < b.device; });
    return list;
}

PortChoice choosePortForDevice(const SerialDeviceInfo& device, const PortMap& map, int minPort, int maxPort)
{
    const QString wanted = device.device;
    const QString wantedCanonical = QFileInfo(wanted).canonicalFilePath();
    const auto leadsThere = [&](const QString& resolved) {
        return !resolved.isEmpty()
            && (resolved == wanted || (!wantedCanonical.isEmpty() && resolved == wantedCanonical));
    };
    // The operator's own link first, then the table.
    for (int n = minPort; n <= maxPort; ++n) {
        if (map.hasLink(n) && leadsThere(map.deviceForPort(n)))
            return { n, {} };
    }
    for (int n = minPort; n <= maxPort; ++n) {
        if (!map.hasLink(n) && leadsThere(map.tableDevice(n)))
            return { n, {} };
    }
    const QString target = device.byId.isEmpty() ? device.device : device.byId;
    const auto isFree = [&](int n) {
        if (map.hasLink(n))
            return false;
        const QString table = map.tableDevice(n);
        return table.isEmpty() || !map.deviceExists(table);
    };
    for (int n = maxPort; n >= minPort; --n) {
        if (map.tableDevice(n).isEmpty() && isFree(n))
            return { n, target };
    }
    for (int n = maxPort; n >= minPort; --n) {
        if (isFree(n))
            return { n, target };
    }
    return {};
}

QString currentUserName()
{
#ifdef Q_OS_UNIX
    if (const struct passwd* pw = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(::geteuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

QString deviceGroup(const QString& device)
{
#ifdef Q_OS_UNIX
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return {};
    if (const struct group* g = ::getgrgid(st.st_gid))
        return QString::fromLocal8Bit(g->gr_name);
    return QString::number(st.st_gid);
#else
    Q_UNUSED(device);
    return {};
#endif
}

bool deviceAccessible(const QString& device)
{
#ifdef Q_OS_UNIX
    return ::faccessat(AT_FDCWD, QFile::encodeName(device).constData(), R_OK | W_OK, AT_EACCESS) == 0;
#else
    Q_UNUSED(device);
    return true;
#endif
}

bool userInGroup(const QString& group)
{
#ifdef Q_OS_UNIX
    const struct group* g = ::getgrnam(QFile::encodeName(group).constData());
    if (!g)
        return false;
    if (g->gr_gid == ::getegid())
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, g->gr_gid) != groups.begin() + got;
#else
    Q_UNUSED(group);
    return true;
#endif
}

QString serialLockHolder(const QString& device, const QStringList& lockDirs)
{
#ifdef Q_OS_UNIX
    // The folders serial programs (QSerialPort among them) keep their locks in.
    static const QStringList kStandard { QStringLiteral("/var/lock"), QStringLiteral("/etc/locks"),
        QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp"), QStringLiteral("/tmp"),
        QStringLiteral("/var/tmp"), QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock") };
    // LCK.. and the device's name under /dev, with '_' for '/' (LCK..ttyUSB0, LCK..pts_3).
    QString base = device;
    if (base.startsWith(QLatin1String("/dev/")))
        base = base.mid(5);
    base.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString name = QStringLiteral("LCK..") + base;
    for (const QString& dir : lockDirs.isEmpty() ? kStandard : lockDirs) {
        QFile lock(QDir(dir).filePath(name));
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        // The first line holds the process id, in text (as QLockFile and the
        // uucp convention write it).
        bool ok = false;
        const qint64 pid = lock.readLine(64).trimmed().toLongLong(&ok);
        if (!ok || pid <= 0 || pid > std::numeric_limits<pid_t>::max())
            continue;
        if (::kill(pid_t(pid), 0) != 0 && errno != EPERM)
            continue; // a stale lock
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        QString program;
        if (comm.open(QIODevice::ReadOnly))
            program = QString::fromLocal8Bit(comm.readAll().trimmed());
        return program.isEmpty() ? QStringLiteral("process %1").arg(pid)
                                 : QStringLiteral("%1 (process %2)").arg(program).arg(pid);
    }
#else
    Q_UNUSED(device);
    Q_UNUSED(lockDirs);
#endif
    return {};
}

} // namespace talvek
