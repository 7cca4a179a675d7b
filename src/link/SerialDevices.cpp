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

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kDialout = QStringLiteral("dialout");

// What the udev rule at udevRule (empty: none at hand) does for a device
// that only root can use.
QString udevRuleAdvice(const QString& udevRule)
{
    if (udevRule.isEmpty()) {
        return QStringLiteral(
            "The udev rule %1 that comes with TALVEK gives serial ports and USB serial adapters "
            "to that group as they appear, once it is in /usr/lib/udev/rules.d (where the "
            "package puts it) or /etc/udev/rules.d.")
            .arg(QLatin1String(kSerialUdevRuleName));
    }
    if (udevRule.contains(QLatin1String("/lib/udev/rules.d/"))) {
        return QStringLiteral(
            "The udev rule %1, installed with TALVEK, gives serial ports and USB serial adapters "
            "to that group as they appear: unplug the adapter and plug it in again, or restart "
            "the computer.")
            .arg(udevRule);
    }
    return QStringLiteral(
        "The udev rule %1 gives serial ports and USB serial adapters to that group as they "
        "appear, once an administrator copies it to /etc/udev/rules.d (then unplug the adapter "
        "and plug it in again, or restart the computer).")
        .arg(udevRule);
}

QString noRootText()
{
    return QStringLiteral("Do not run TALVEK as root to get around this.");
}

// Its bits let the user in, yet the open is refused.
PortAdvice refusedAdvice(const QString& device, const QString& named, const QString& why)
{
    PortAdvice a;
    a.verdict = PortAdvice::Verdict::Refused;
    a.summary
        = QStringLiteral("not usable: its permission bits let this user in, yet something else refuses");
    a.text = QStringLiteral("Permission denied: the serial device %1 %2, yet this user was refused.")
                 .arg(named, why)
        + kCrLf
        + QStringLiteral("Something besides its permission bits stands in the way: an access control list "
                         "(getfacl %1), a security module (AppArmor, SELinux) or a file system mounted "
                         "without devices (nodev). ")
              .arg(device)
        + noRootText();
    return a;
}

// No group the user could join opens it: who can use it, and how a device
// comes to "dialout", the group Debian gives serial devices.
PortAdvice onlyRootAdvice(const QString& named, const DeviceOwnership& node, const PortUser& user,
    const QString& mode, const QString& udevRule)
{
    const bool otherOwner
        = !node.owner.isEmpty() && node.owner != QLatin1String("root") && node.owner != user.name;
    const QString who
        = otherOwner ? QStringLiteral("root and the user \"%1\"").arg(node.owner) : QStringLiteral("root");
    const QString why = (node.mode & 060) == 060
        ? QStringLiteral("and that group is for administrators, not for using a serial port")
        : QStringLiteral("which lets no group read and write it");
    QString dialout;
    if (user.sessionGroups.contains(kDialout))
        dialout
            = QStringLiteral("This user is in \"dialout\" already: once the device belongs to that group, "
                             "TALVEK can use it. ");
    else if (user.memberOf.contains(kDialout))
        dialout
            = QStringLiteral("This user has joined \"dialout\" since logging in: once the device belongs to "
                             "that group, log out and log in again. ");
    else
        dialout = QStringLiteral("This user is not in \"dialout\"; joining it helps only once the device "
                                 "belongs to that group. ");
    PortAdvice a;
    a.verdict = PortAdvice::Verdict::OnlyRoot;
    a.summary = QStringLiteral("not usable: only %1 can use it").arg(who);
    a.text = QStringLiteral("Permission denied: only %1 can use the serial device %2: it belongs to the "
                            "user \"%3\" and the group \"%4\" with mode %5, %6.")
                 .arg(who, named, node.owner, node.group, mode, why)
        + kCrLf
        + QStringLiteral(
            "Serial devices belong to the group \"dialout\", which may read and write them (mode "
            "660). ")
        + udevRuleAdvice(udevRule) + kCrLf + dialout + noRootText();
    return a;
}

} // namespace

std::optional<DeviceOwnership> deviceOwnership(const QString& device)
{
#ifdef Q_OS_UNIX
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return std::nullopt;
    DeviceOwnership node;
    const struct passwd* pw = ::getpwuid(st.st_uid);
    node.owner = pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(st.st_uid);
    const struct group* g = ::getgrgid(st.st_gid);
    node.group = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
    node.mode = st.st_mode & 07777;
    return node;
#else
    Q_UNUSED(device);
    return std::nullopt;
#endif
}

PortUser currentPortUser()
{
    PortUser user;
    user.name = currentUserName();
#ifdef Q_OS_UNIX
    const auto nameOf = [](gid_t gid) {
        const struct group* g = ::getgrgid(gid);
        return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(gid);
    };
    user.sessionGroups << nameOf(::getegid());
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    const int got = count > 0 ? ::getgroups(count, groups.data()) : 0;
    for (int i = 0; i < got; ++i)
        user.sessionGroups << nameOf(groups[std::size_t(i)]);
    if (const struct passwd* pw = ::getpwuid(::geteuid())) {
        int listed = 64;
        std::vector<gid_t> member(static_cast<std::size_t>(listed));
        if (::getgrouplist(pw->pw_name, pw->pw_gid, member.data(), &listed) < 0 && listed > 0) {
            member.resize(static_cast<std::size_t>(listed));
            ::getgrouplist(pw->pw_name, pw->pw_gid, member.data(), &listed);
        }
        for (int i = 0; i < listed && i < int(member.size()); ++i)
            user.memberOf << nameOf(member[std::size_t(i)]);
    }
    user.sessionGroups.removeDuplicates();
    user.memberOf.removeDuplicates();
#endif
    return user;
}

QString groupToJoin(const DeviceOwnership& node)
{
    // Groups that hand out administrator rights: no one joins them to reach
    // a serial port.
    static const QStringList kAdminGroups { QStringLiteral("root"), QStringLiteral("sudo"),
        QStringLiteral("wheel"), QStringLiteral("adm") };
    if ((node.mode & 060) != 060 || node.group.isEmpty() || kAdminGroups.contains(node.group))
        return {};
    return node.group;
}

PortAdvice portAdvice(const QString& device, int port, const DeviceOwnership& node, const PortUser& user,
    bool accessible, const QString& udevRule)
{
    if (accessible)
        return { PortAdvice::Verdict::Usable, QString(), QStringLiteral("usable by %1").arg(user.name),
            QString() };
    const QString named = port > 0 ? QStringLiteral("%1 (COM%2)").arg(device).arg(port) : device;
    const QString mode = QStringLiteral("%1").arg(node.mode & 0777, 3, 8, QLatin1Char('0'));
    if ((node.mode & 006) == 006) {
        return refusedAdvice(device, named,
            QStringLiteral("lets every user read and write it (user \"%1\", group \"%2\", mode %3)")
                .arg(node.owner, node.group, mode));
    }
    if (node.owner == user.name && (node.mode & 0600) == 0600)
        return refusedAdvice(device, named, QStringLiteral("belongs to this user with mode %1").arg(mode));
    const QString group = groupToJoin(node);
    if (group.isEmpty())
        return onlyRootAdvice(named, node, user, mode, udevRule);
    PortAdvice a;
    a.group = group;
    if (user.sessionGroups.contains(group)) {
        a = refusedAdvice(device, named,
            QStringLiteral(
                "belongs to the group \"%1\", which may read and write it (mode %2), and this user is "
                "in that group")
                .arg(group, mode));
        a.group = group;
        return a;
    }
    if (user.memberOf.contains(group)) {
        a.verdict = PortAdvice::Verdict::LogInAgain;
        a.summary
            = QStringLiteral("not usable yet: %1 has joined the group \"%2\" since logging in; log out and "
                             "log in again")
                  .arg(user.name, group);
        a.text
            = QStringLiteral("Permission denied: the serial device %1 belongs to the group \"%2\"; the user "
                             "\"%3\" has been added to that group since this session began.")
                  .arg(named, group, user.name)
            + kCrLf + QStringLiteral("Log out and log in again for the change to take effect. ")
            + noRootText();
        return a;
    }
    a.verdict = PortAdvice::Verdict::JoinGroup;
    a.summary
        = QStringLiteral("not usable: %1 is not in the group \"%2\" (sudo usermod -aG %2 %1, then log in "
                         "again)")
              .arg(user.name, group);
    a.text
        = QStringLiteral("Permission denied: the serial device %1 belongs to the group \"%2\", and this user "
                         "may not use it.")
              .arg(named, group)
        + kCrLf + QStringLiteral("Add your user to that group:") + kCrLf
        + QStringLiteral("    sudo usermod -aG %1 %2").arg(group, user.name) + kCrLf
        + QStringLiteral("then log out and log in again for the change to take effect. ") + noRootText();
    return a;
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
