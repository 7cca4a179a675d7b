#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace talvek {

// One serial device present on this machine.
struct SerialDeviceInfo
{
    QString device; // the device node: /dev/ttyUSB0, COM3
    QString byId; // its stable /dev/serial/by-id link, when it has one
    QString description;
    QString manufacturer;
    QString serialNumber;

    // The name an operator recognises: the by-id name where there is one.
    QString displayName() const;
    bool operator==(const SerialDeviceInfo&) const = default;
};

// The serial devices present, sorted by device (QSerialPortInfo, with the
// by-id links of /dev/serial/by-id). Pseudo-terminals are not listed.
QList<SerialDeviceInfo> listSerialDevices();

// What port numbers mean on this machine, for choosing a number for a device.
struct PortMap
{
    // The device port n resolves to now (a link followed), empty when none.
    std::function<QString(int)> deviceForPort;
    // Whether port n has a link of its own (support/ports/COMn, dangling or not).
    std::function<bool(int)> hasLink;
    // The fixed table's device for port n, empty when the table has none.
    std::function<QString(int)> tableDevice;
    // Whether a device node exists.
    std::function<bool(const QString&)> deviceExists;
};

// The port number for a chosen device.
struct PortChoice
{
    int port = 0; // 0: no number is left for it
    // When set, port is pinned to the device by a link to pinTarget (its
    // by-id name where it has one, so that the choice survives plugging the
    // adapter into another socket).
    QString pinTarget;
};

// A number whose link already leads to the device, else the number whose table
// entry is the device, else a free number pinned to it: 97..99 (which the
// table leaves unused) first, then the highest number without a link whose
// table device is not on this machine.
PortChoice choosePortForDevice(const SerialDeviceInfo& device, const PortMap& map, int minPort, int maxPort);

// The user running the program and the groups a device belongs to, for the
// permission hints and the system information.
QString currentUserName();
// The group that owns a device node; empty when it cannot be found out.
QString deviceGroup(const QString& device);
// Whether the running user may read and write the device now.
bool deviceAccessible(const QString& device);
// Whether the running user is in the group (primary or supplementary, as the
// running session has it).
bool userInGroup(const QString& group);

// Who may use a device node: its owner, its group and its permission bits.
struct DeviceOwnership
{
    QString owner;
    QString group;
    uint mode = 0; // the permission bits, 0600 and the like
};
// A device node's owner, group and bits; nothing when it cannot be read.
std::optional<DeviceOwnership> deviceOwnership(const QString& device);

// The user asking for advice about a device: the groups the running session
// has, and the groups the group database lists the user in (which a session
// has only once the user logs in again).
struct PortUser
{
    QString name;
    QStringList sessionGroups;
    QStringList memberOf;
};
// The user running the program, as the session and the group database have it.
PortUser currentPortUser();

// The group a user may join to use the device: its group, when the group's
// bits give read and write and it is no administrators' group (root, sudo,
// wheel, adm); empty when there is none.
QString groupToJoin(const DeviceOwnership& node);

// What a user can do about a serial device: the one place that advises on
// port permissions, for the error of a port that cannot be opened and for the
// system information. It never tells a user to join a group the user is in,
// nor a group whose bits do not let its members read and write the device,
// nor an administrators' group; it never suggests running as root.
struct PortAdvice
{
    enum class Verdict
    {
        Usable, // the user may read and write it
        JoinGroup, // its group may: the user is to join it
        LogInAgain, // the user has joined its group since logging in
        OnlyRoot, // no group the user could join opens it
        Refused, // its bits let the user in, yet something else refuses
    };
    Verdict verdict = Verdict::Usable;
    QString group; // JoinGroup, LogInAgain: the group
    QString summary; // one line: "usable by alice", "only root can use it", ...
    QString text; // the whole advice, for a port that could not be opened
};
// device and port name the device ("/dev/ttyUSB0 (COM33)"; port 0: the
// device alone); accessible: whether the user may read and write it now;
// udevRule: the path of the rule that gives serial devices to "dialout"
// (empty when the program has none at hand).
PortAdvice portAdvice(const QString& device, int port, const DeviceOwnership& node, const PortUser& user,
    bool accessible, const QString& udevRule);
// The file name of that rule.
inline constexpr char kSerialUdevRuleName[] = "99-talvek-serial.rules";

// The program that holds a serial device, from its lock file (the
// LCK..name files of /var/lock, /run/lock, ...): "name (process id)", or empty
// when no live process holds a lock on it. lockDirs is for tests.
QString serialLockHolder(const QString& device, const QStringList& lockDirs = {});

} // namespace talvek
