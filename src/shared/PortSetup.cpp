#include "shared/PortSetup.h"

#include "base/BasicError.h"
#include "base/BasicText.h"
#include "base/ProgramFolder.h"
#include "base/Prompter.h"
#include "base/RuntimeFault.h"
#include "link/CommPortSettings.h"
#include "link/PortAddress.h"
#include "link/QtSerialPortControl.h"
#include "link/RSComm.h"
#include "link/SerialPortControl.h"
#include "shared/modUtility.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_WIN
#include <QSerialPortInfo>
#endif

namespace talvek {

namespace {

const QString kLoadTitle = QStringLiteral("SetupComm CurrentSettings");
const QString kSaveTitle = QStringLiteral("SetupComm");
const QString kFieldTitle = QStringLiteral("Comm Port");

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool deviceExists(const QString& device)
{
#ifdef Q_OS_WIN
    const auto ports = QSerialPortInfo::availablePorts();
    return std::any_of(ports.begin(), ports.end(), [&](const QSerialPortInfo& info) {
        return info.portName().compare(device, Qt::CaseInsensitive) == 0;
    });
#else
    return QFileInfo::exists(device); // follows links: a dangling one is not there
#endif
}

} // namespace

PortSetup::PortSetup(
    RSComm& rs, OnlineModeSwitch& mode, ProgramFolder& folder, Prompter& prompter, int minPort, int maxPort)
    : m_rs(rs)
    , m_mode(mode)
    , m_folder(folder)
    , m_prompter(prompter)
    , m_minPort(minPort)
    , m_maxPort(maxPort)
{ }

PortSetup::Shown PortSetup::load()
{
    m_wasOnline = m_rs.OnlineMode;
    Shown shown;
    try {
        // A missing or empty file shows the defaults; nothing is created.
        const PortSettings settings = loadPortSettings(m_folder).value_or(PortSettings {});
        shown.port = std::clamp(settings.port, m_minPort, m_maxPort);
        shown.speedIndex = Val(settings.speed) == double(kSupportedSpeeds[1]) ? 1 : 0;
    } catch (const BasicError& e) {
        showRuntimeFault(m_prompter, e, kLoadTitle, MsgIcon::Information);
    }
    loadNetworkPorts();
    return shown;
}

PortSetup::SaveResult PortSetup::save(int port, int speed)
{
    // Close the link (the mode panel shows OFFLINE while it is closed).
    m_mode.setMode(false);
    try {
        // A device chosen from the list that no number reached: its number is
        // linked to the device's stable name.
        const QString pin = m_pin.port == port ? m_pin.pinTarget : QString();
        unlinkRemoved();
        saveCommPortSettings(m_folder, port, speed, pin);
        m_pin = PortChoice {};
        if (m_wasOnline) {
            m_mode.setMode(true);
            if (!m_rs.OnlineMode)
                return SaveResult::ReopenFailed;
        }
        return SaveResult::Saved;
    } catch (const BasicError& e) {
        showRuntimeFault(m_prompter, e, kSaveTitle, MsgIcon::Information);
        return SaveResult::Failed;
    }
}

PortMap PortSetup::portMap() const
{
    PortMap map;
    SerialPortControl* port = m_mode.port();
    map.deviceForPort = [port](int n) { return port ? port->deviceForPort(n) : QString(); };
    map.hasLink = [this](int n) {
        const QFileInfo link(m_folder.resolve(portLinkFile(n)));
        return link.isSymLink() || link.exists();
    };
    map.tableDevice = [](int n) { return QtSerialPortControl::defaultDevice(n); };
    map.deviceExists = [this](const QString& device) {
        return deviceExists(device)
            || std::any_of(m_devices.begin(), m_devices.end(),
                [&](const SerialDeviceInfo& d) { return d.device == device; });
    };
    return map;
}

bool PortSetup::setDevices(const QList<SerialDeviceInfo>& devices)
{
    if (devices == m_devices)
        return false;
    m_devices = devices;
    return true;
}

QList<PortDeviceRow> PortSetup::deviceRows() const
{
    QList<PortDeviceRow> rows;
    const PortMap map = portMap();
    for (int i = 0; i < rowCount(); ++i) {
        const SerialDeviceInfo d = rowDevice(i);
        // The number that leads to the device now; choosing one that none
        // reaches pins a number to it.
        const PortChoice choice = choosePortForDevice(d, map, m_minPort, m_maxPort);
        QStringList about;
        for (const QString& part : { d.description, d.manufacturer })
            if (!part.isEmpty() && !about.contains(part))
                about << part;
        rows.append({ choice.port > 0 && choice.pinTarget.isEmpty() ? QString::number(choice.port)
                                                                   : QStringLiteral("-"),
            native(d.displayName()), about.join(QStringLiteral(", ")), d.serialNumber,
            native(d.device) + (d.byId.isEmpty() ? QString() : QStringLiteral("\n") + d.byId) });
    }
    return rows;
}

std::optional<int> PortSetup::chooseDevice(int row)
{
    if (row < 0 || row >= rowCount())
        return std::nullopt;
    const PortChoice choice = choosePortForDevice(rowDevice(row), portMap(), m_minPort, m_maxPort);
    if (choice.port == 0) {
        m_prompter.msgBox(
            QStringLiteral("No port number is free for %1.").arg(native(rowDevice(row).displayName()))
                + QStringLiteral("\r\nRemove a link you no longer need from %1.")
                      .arg(native(m_folder.writablePath(QStringLiteral("support/ports")))),
            kFieldTitle, MsgIcon::Information, MsgButtons::OK);
        return std::nullopt;
    }
    m_pin = choice.pinTarget.isEmpty() ? PortChoice {} : choice;
    return choice.port;
}

QString PortSetup::deviceText(const QString& portText, bool accepted)
{
    SerialPortControl* port = m_mode.port();
    // A number typed or stepped to after choosing a device drops its pin.
    if (m_pin.port != 0 && (!accepted || CInt(Val(portText)) != m_pin.port))
        m_pin = PortChoice {};
    if (m_pin.port != 0)
        return QStringLiteral("Device: %1 (port %2 is linked to it when saved)")
            .arg(native(m_pin.pinTarget))
            .arg(m_pin.port);
    if (!accepted || !port)
        return QStringLiteral("Device: -");
    const int number = std::clamp<int>(CInt(Val(portText)), m_minPort, m_maxPort);
    const QString device = port->deviceForPort(number);
    if (device.isEmpty())
        return QStringLiteral("Device: none (no device for port %1 on this machine)").arg(number);
    if (looksLikeNetworkPort(device))
        return QStringLiteral("Network port: %1").arg(device);
    QString via;
#ifndef Q_OS_WIN
    const QString link = m_folder.resolve(portLinkFile(number));
    if (QFileInfo(link).isSymLink()) {
        const QString shown = m_folder.isPortable() ? QDir(m_folder.root()).relativeFilePath(link) : link;
        via = QStringLiteral(", set by %1").arg(native(shown));
    }
#endif
    return QStringLiteral("Device: %1 (%2%3)")
        .arg(native(device), deviceExists(device) ? QStringLiteral("found") : QStringLiteral("not found on this machine"),
            via);
}

} // namespace talvek
