// The network ports of the port settings: listed from the port links, added
// and removed by the operator, and tried out.

#include "base/BasicError.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "base/Prompter.h"
#include "link/CommPortSettings.h"
#include "link/NetworkPortControl.h"
#include "link/PortAddress.h"
#include "link/RSComm.h"
#include "shared/PortSetup.h"
#include "shared/modUtility.h"

#include <QFile>
#include <QFileInfo>

namespace talvek {

namespace {

const QString kFieldTitle = QStringLiteral("Comm Port");

SerialDeviceInfo networkRow(const PortAddress& address)
{
    SerialDeviceInfo info;
    info.device = address.text();
    info.description = address.kind == PortAddress::Kind::Rfc2217 ? QStringLiteral("Network port, RFC 2217")
                                                                  : QStringLiteral("Network port, raw TCP");
    return info;
}

} // namespace

SerialDeviceInfo PortSetup::rowDevice(int row) const
{
    return row < m_devices.size() ? m_devices.at(row) : m_networkPorts.at(row - m_devices.size());
}

void PortSetup::loadNetworkPorts()
{
    m_networkPorts.clear();
    m_unlink.clear();
    for (int n = m_minPort; n <= m_maxPort; ++n) {
        const std::optional<PortAddress> address
            = parsePortAddress(networkPortOfLink(m_folder.resolve(portLinkFile(n))));
        if (!address || !address->isNetwork())
            continue;
        const SerialDeviceInfo row = networkRow(*address);
        if (!m_networkPorts.contains(row))
            m_networkPorts.append(row);
    }
}

std::optional<int> PortSetup::addNetworkPort(const QString& url)
{
    QString why;
    const std::optional<PortAddress> address = parsePortAddress(url, &why);
    if (!address || !address->isNetwork()) {
        m_prompter.msgBox(address ? QStringLiteral("A network port is written rfc2217://HOST:PORT or "
                                                   "socket://HOST:PORT.")
                                  : why,
            kFieldTitle, MsgIcon::Information, MsgButtons::OK);
        return std::nullopt;
    }
    const SerialDeviceInfo row = networkRow(*address);
    qsizetype index = m_networkPorts.indexOf(row);
    const bool added = index < 0;
    if (added) {
        m_networkPorts.append(row);
        index = m_networkPorts.size() - 1;
    }
    const std::optional<int> port = chooseDevice(int(m_devices.size() + index));
    if (!port && added)
        m_networkPorts.removeAt(index);
    return port;
}

bool PortSetup::removeNetworkPort(int row)
{
    if (!isNetworkRow(row))
        return false;
    const QString url = m_networkPorts.at(row - m_devices.size()).device;
    for (int n = m_minPort; n <= m_maxPort; ++n) {
        const std::optional<PortAddress> linked
            = parsePortAddress(networkPortOfLink(m_folder.resolve(portLinkFile(n))));
        if (linked && linked->isNetwork() && linked->text() == url && !m_unlink.contains(n))
            m_unlink.append(n);
    }
    if (m_pin.pinTarget == url)
        m_pin = PortChoice {};
    m_networkPorts.removeAt(row - m_devices.size());
    return true;
}

void PortSetup::unlinkRemoved()
{
    for (const int n : std::as_const(m_unlink)) {
        const QString link = m_folder.writablePath(portLinkFile(n));
        if (networkPortOfLink(link).isEmpty())
            continue; // replaced by something else meanwhile: left alone
        if (!QFile::remove(link))
            throw BasicError(RuntimeError::kPathFileAccess, QStringLiteral("SetupComm"),
                QStringLiteral("Path/File access error: cannot remove %1").arg(link));
    }
    m_unlink.clear();
}

QString PortSetup::testNetworkPort(int row, int speed)
{
    if (!isNetworkRow(row))
        return {};
    const PortAddress address = *parsePortAddress(m_networkPorts.at(row - m_devices.size()).device);
    SerialPortControl* linkPort = m_mode.port();
    if (m_rs.OnlineMode && linkPort && linkPort->isOpen()
        && linkPort->deviceForPort(linkPort->commPort()) == address.text())
        return QStringLiteral("TALVEK is ONLINE through %1 now.").arg(address.text());
    SteadyClock clock;
    NetworkPortControl port(clock);
    port.setAddress(address);
    port.setSettings(QStringLiteral("%1,n,8,1").arg(speed));
    port.open();
    QString text;
    if (!port.connected()) {
        text = QStringLiteral("No connection to %1: %2").arg(address.text(), port.fault());
    } else {
        // The attention byte: the board answers it whatever state it is in.
        port.write(QByteArray(1, char(RSComm::kAttention)));
        const bool answered = port.waitForInput(1000);
        const QString line = address.kind == PortAddress::Kind::Rfc2217
            ? QStringLiteral("the server set %1 baud, 8 data bits, no parity, 1 stop bit").arg(speed)
            : QStringLiteral("the server holds the line settings (raw TCP)");
        text = answered
            ? QStringLiteral("Connected to %1: %2, and the board answered.").arg(address.text(), line)
            : QStringLiteral("Connected to %1: %2, but the board did not answer within 1 s "
                             "(is it on, and its cable in the server's port?)")
                  .arg(address.text(), line);
    }
    port.close();
    return text;
}

} // namespace talvek
