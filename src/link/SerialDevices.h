#pragma once

#include <QList>
#include <QString>
#include <functional>

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

// The program that holds a serial device, from its lock file (the
// LCK..name files of /var/lock, /run/lock, ...): "name (process id)", or empty
// when no live process holds a lock on it. lockDirs is for tests.
QString serialLockHolder(const QString& device, const QStringList& lockDirs = {});

} // namespace talvek
