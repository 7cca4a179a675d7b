#include "link/QtSerialPortControl.h"

#include "link/CommPortSettings.h"
#include "link/NetworkPortControl.h"
#include "link/PortAddress.h"
#include "link/SerialDevices.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/sysmacros.h>
#endif

namespace talvek {

namespace {

const QString kSource = QStringLiteral("MSComm1");
const QString kCrLf = QStringLiteral("\r\n");

SerialError invalidSettings(const QString& text)
{
    return SerialError(SerialErrorNumber::kInvalidPropertyValue, kSource,
        QStringLiteral("Invalid property value: the settings \"%1\" are not of the form "
                       "speed,parity,data bits,stop bits (for example 9600,n,8,1).")
            .arg(text));
}

} // namespace

QtSerialPortControl::QtSerialPortControl(const ProgramFolder& folder)
    : m_folder(folder)
{ }

QtSerialPortControl::~QtSerialPortControl()
{
    close();
}

QString QtSerialPortControl::linkedNetworkPort(int port) const
{
    return networkPortOfLink(portLink(port));
}

// ---- port number and settings ----

void QtSerialPortControl::setCommPort(int port)
{
    if (isOpen())
        throw SerialError(SerialErrorNumber::kPortAlreadyOpen, kSource, QStringLiteral("Port already open"));
    if (port < 1 || port > 99)
        throw SerialError(SerialErrorNumber::kInvalidPortNumber, kSource,
            QStringLiteral("Invalid port number: %1 (ports are numbered 1 to 99).").arg(port));
    m_commPort = port;
}

QtSerialPortControl::LineSettings QtSerialPortControl::parseSettings(const QString& text)
{
    const QStringList f = text.split(QLatin1Char(','));
    if (f.size() != 4)
        throw invalidSettings(text);
    LineSettings s;

    bool ok = false;
    const QString baud = f.at(0).trimmed();
    s.baud = baud.toInt(&ok);
    if (!ok || s.baud <= 0 || baud.startsWith(QLatin1Char('+')))
        throw invalidSettings(text);

    const QString parity = f.at(1).trimmed().toLower();
    if (parity == QLatin1String("n"))
        s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        s.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("m"))
        s.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("s"))
        s.parity = QSerialPort::SpaceParity;
    else
        throw invalidSettings(text);

    const QString data = f.at(2).trimmed();
    if (data == QLatin1String("5"))
        s.dataBits = QSerialPort::Data5;
    else if (data == QLatin1String("6"))
        s.dataBits = QSerialPort::Data6;
    else if (data == QLatin1String("7"))
        s.dataBits = QSerialPort::Data7;
    else if (data == QLatin1String("8"))
        s.dataBits = QSerialPort::Data8;
    else
        throw invalidSettings(text);

    const QString stop = f.at(3).trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("2"))
        s.stopBits = QSerialPort::TwoStop;
#ifdef Q_OS_WIN
    else if (stop == QLatin1String("1.5"))
        s.stopBits = QSerialPort::OneAndHalfStop;
#endif
    else
        throw invalidSettings(text);
    return s;
}

void QtSerialPortControl::setSettings(const QString& settings)
{
    const LineSettings line = parseSettings(settings);
    m_line = line;
    m_settings = settings;
    if (m_network)
        m_network->setSettings(settings);
    else if (isOpen())
        applySettings();
}

void QtSerialPortControl::applySettings()
{
    const bool ok = m_port.setBaudRate(m_line.baud) && m_port.setParity(m_line.parity)
        && m_port.setDataBits(m_line.dataBits) && m_port.setStopBits(m_line.stopBits)
        && m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok && isOpen()) {
        const QString why = m_port.errorString();
        m_port.clearError();
        throw SerialError(SerialErrorNumber::kSetStateFailed, kSource,
            QStringLiteral("The settings %1 could not be applied to %2: %3")
                .arg(m_settings, portLabel(m_device), why));
    }
}

// ---- port number to device ----

QString QtSerialPortControl::defaultDevice(int port)
{
#if defined(Q_OS_WIN)
    return (port >= 1 && port <= 255) ? QStringLiteral("COM%1").arg(port) : QString();
#elif defined(Q_OS_LINUX)
    if (port >= 1 && port <= 32)
        return QStringLiteral("/dev/ttyS%1").arg(port - 1);
    if (port >= 33 && port <= 64)
        return QStringLiteral("/dev/ttyUSB%1").arg(port - 33);
    if (port >= 65 && port <= 96)
        return QStringLiteral("/dev/ttyACM%1").arg(port - 65);
    return QString();
#else
    Q_UNUSED(port);
    return QString();
#endif
}

QString QtSerialPortControl::portLink(int port) const
{
    return m_folder.resolve(portLinkFile(port));
}

QString QtSerialPortControl::deviceForPort(int port) const
{
    if (!m_fixedDevice.isEmpty())
        return m_fixedDevice;
    if (const QString url = linkedNetworkPort(port); !url.isEmpty())
        return url;
#ifndef Q_OS_WIN
    const QFileInfo link(portLink(port));
    if (link.isSymLink()) {
        const QString target = link.canonicalFilePath(); // empty when dangling
        return target.isEmpty() ? link.symLinkTarget() : target;
    }
    if (link.exists() && !link.isDir())
        return link.absoluteFilePath(); // a device node placed there itself
#endif
    return defaultDevice(port);
}

QString QtSerialPortControl::portLabel(const QString& device) const
{
    // A device named by itself (talvek-cli --device) has no port number.
    if (!m_fixedDevice.isEmpty())
        return device;
    const QFileInfo link(portLink(m_commPort));
    if (link.isSymLink())
        return QStringLiteral("%1 (COM%2, linked from %3)")
            .arg(device)
            .arg(m_commPort)
            .arg(link.absoluteFilePath());
    return QStringLiteral("%1 (COM%2)").arg(device).arg(m_commPort);
}

QString QtSerialPortControl::portFacts() const
{
    if (m_network)
        return m_network->portFacts();
    const QString device = isOpen() ? m_device : deviceForPort(m_commPort);
    if (device.isEmpty())
        return {};
    if (!m_fixedDevice.isEmpty())
        return QStringLiteral("Device %1, %2 baud.").arg(device).arg(m_line.baud);
    return QStringLiteral("Device %1 (COM%2), %3 baud.").arg(device).arg(m_commPort).arg(m_line.baud);
}

QString QtSerialPortControl::busyMessage(const QString& portLabel, const QString& holder)
{
    QString text = QStringLiteral("The serial port %1 is in use by another program. Close that program "
                                  "and try again.")
                       .arg(portLabel);
    if (!holder.isEmpty())
        text += kCrLf + QStringLiteral("It is held by %1.").arg(holder);
    return text;
}

QString QtSerialPortControl::permissionMessage(const QString& device, int port, const DeviceOwnership& node,
    const PortUser& user, const QString& udevRule)
{
    return portAdvice(device, port, node, user, false, udevRule).text;
}

// ---- open and close ----

void QtSerialPortControl::open()
{
    if (isOpen())
        throw SerialError(SerialErrorNumber::kPortAlreadyOpen, kSource, QStringLiteral("Port already open"));
    const QString device = deviceForPort(m_commPort);
    if (device.isEmpty())
        throw SerialError(SerialErrorNumber::kInvalidPortNumber, kSource,
            QStringLiteral("Invalid port number: COM%1 has no serial device on this machine. Choose "
                           "a port from COM1 to COM96, or link %2 to the device.")
                .arg(m_commPort)
                .arg(portLink(m_commPort)));
    if (looksLikeNetworkPort(device)) {
        openNetworkPort(device);
        return;
    }

#ifdef Q_OS_UNIX
    {
        const QByteArray path = QFile::encodeName(device);
        struct stat st
        {
        };
        if (::stat(path.constData(), &st) != 0) {
            const int e = errno;
            if (e == ENOENT || e == ENOTDIR)
                throwOpenError(device, QString(), ENOENT);
        } else if (::faccessat(AT_FDCWD, path.constData(), R_OK | W_OK, AT_EACCESS) != 0 && errno == EACCES) {
            DeviceOwnership node;
            const struct passwd* pw = ::getpwuid(st.st_uid);
            node.owner = pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(st.st_uid);
            const struct group* g = ::getgrgid(st.st_gid);
            node.group = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
            node.mode = st.st_mode & 07777;
            throw SerialError(SerialErrorNumber::kPermissionDenied, kSource,
                permissionMessage(device, m_fixedDevice.isEmpty() ? m_commPort : 0, node, currentPortUser(),
                    m_folder.udevRule(QLatin1String(kUdevRuleName))));
        }
    }
#endif

    m_device = device;
    m_port.setPortName(device);
    applySettings();
    if (!m_port.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError err = m_port.error();
        const QString why = m_port.errorString();
        m_port.clearError();
        switch (err) {
        case QSerialPort::DeviceNotFoundError:
            throwOpenError(device, why, ENOENT);
        case QSerialPort::PermissionError:
            // Access was checked above: the device or its lock is held.
            throwOpenError(device, why, EBUSY);
        case QSerialPort::OpenError:
            throw SerialError(
                SerialErrorNumber::kPortAlreadyOpen, kSource, QStringLiteral("Port already open"));
        default:
            throwOpenError(device, why, 0);
        }
    }
    // Modem-line and serial-driver requests that a pseudo-terminal does not
    // know (ENOTTY) are no fault of the port.
    m_port.clearError();
    requestLowLatency();
    m_port.clear(QSerialPort::Input);
    m_port.clearError();
}

void QtSerialPortControl::openNetworkPort(const QString& url)
{
    QString why;
    const std::optional<PortAddress> address = parsePortAddress(url, &why);
    if (!address)
        throw SerialError(SerialErrorNumber::kDeviceNotFound, kSource, why);
    auto network = std::make_unique<NetworkPortControl>(*m_clock);
    network->setAddress(*address);
    network->setCommPort(m_commPort);
    network->setSettings(m_settings);
    m_device = url;
    network->open();
    m_network = std::move(network);
}

void QtSerialPortControl::throwOpenError(const QString& device, const QString& qtError, int posixErrno) const
{
    const QString label = portLabel(device);
    switch (posixErrno) {
    case ENOENT:
        throw SerialError(SerialErrorNumber::kDeviceNotFound, kSource,
            QStringLiteral("The serial device %1 does not exist. Check that the adapter is plugged "
                           "in, or choose another port.")
                .arg(label));
    case EBUSY:
        throw SerialError(
            SerialErrorNumber::kPortUnavailable, kSource, busyMessage(label, serialLockHolder(device)));
    default:
        throw SerialError(SerialErrorNumber::kPortUnavailable, kSource,
            QStringLiteral("The serial port %1 could not be opened: %2").arg(label, qtError));
    }
}

void QtSerialPortControl::close()
{
    if (m_network) {
        m_network->close();
        m_network.reset();
        return;
    }
    if (!m_port.isOpen())
        return;
    restoreLatency();
    m_port.close();
    m_port.clearError();
}

bool QtSerialPortControl::isOpen() const
{
    if (m_network)
        return m_network->isOpen();
    return m_port.isOpen();
}

void QtSerialPortControl::requestLowLatency()
{
    m_lowLatency = false;
    m_restoreLatency = false;
#ifdef Q_OS_LINUX
    const int fd = int(m_port.handle());
    if (fd < 0)
        return;
    serial_struct ss {};
    // ENOTTY / EINVAL: no such setting on this port (a pseudo-terminal).
    if (::ioctl(fd, TIOCGSERIAL, &ss) == 0) {
        if (!(ss.flags & ASYNC_LOW_LATENCY)) {
            m_savedSerialFlags = ss.flags;
            ss.flags |= ASYNC_LOW_LATENCY;
            m_restoreLatency = ::ioctl(fd, TIOCSSERIAL, &ss) == 0;
        }
        // What the driver kept, not what was asked.
        serial_struct now {};
        m_lowLatency = ::ioctl(fd, TIOCGSERIAL, &now) == 0 && (now.flags & ASYNC_LOW_LATENCY);
    }
    // The flag alone does not reprogram a USB adapter on every kernel: its
    // latency timer is set where it really lives.
    struct stat st
    {
    };
    m_latencyTimer = UsbLatencyTimer(m_sysfsRoot);
    if (::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode)
        && m_latencyTimer.attach(::major(st.st_rdev), ::minor(st.st_rdev)))
        m_latencyTimer.lower(1);
#endif
}

void QtSerialPortControl::restoreLatency()
{
    m_latencyTimer.release();
#ifdef Q_OS_LINUX
    if (m_restoreLatency) {
        const int fd = int(m_port.handle());
        serial_struct ss {};
        if (fd >= 0 && ::ioctl(fd, TIOCGSERIAL, &ss) == 0) {
            ss.flags = (ss.flags & ~ASYNC_LOW_LATENCY) | (m_savedSerialFlags & ASYNC_LOW_LATENCY);
            ::ioctl(fd, TIOCSSERIAL, &ss);
        }
    }
#endif
    m_restoreLatency = false;
    m_lowLatency = false;
}

PortLatency QtSerialPortControl::latency() const
{
    PortLatency l;
    if (m_network || !isOpen())
        return l;
    l.lowLatencyMode = m_lowLatency;
    if (m_latencyTimer.attached()) {
        l.timerMs = m_latencyTimer.inForce();
        l.timerPath = m_latencyTimer.path();
    }
    return l;
}

// ---- bytes ----

namespace {

bool peerLost(QSerialPort::SerialPortError e)
{
    return e == QSerialPort::ReadError || e == QSerialPort::ResourceError;
}

} // namespace

int QtSerialPortControl::bytesAvailable()
{
    if (m_network)
        return m_network->bytesAvailable();
    if (!isOpen())
        return 0;
    if (m_port.bytesAvailable() > 0)
        return int(m_port.bytesAvailable());
#ifdef Q_OS_UNIX
    // Straight from the driver: one ioctl instead of a poll and a read
    // through the port's buffer for every byte of the protocol.
    int n = 0;
    if (::ioctl(int(m_port.handle()), FIONREAD, &n) == 0)
        return n;
    return 0;
#else
    // Take in what the driver holds already, without waiting.
    m_port.waitForReadyRead(0);
    m_port.clearError();
    return int(m_port.bytesAvailable());
#endif
}

void QtSerialPortControl::discardInput()
{
    if (m_network) {
        m_network->discardInput();
        return;
    }
    if (!isOpen())
        return;
    m_port.clear(QSerialPort::Input);
    m_port.clearError();
}

int QtSerialPortControl::readByte()
{
    if (m_network)
        return m_network->readByte();
    if (!isOpen())
        return -1;
    char c = 0;
    // Bytes the port took in while the event loop ran (a modal box) come first.
    if (m_port.bytesAvailable() > 0)
        return m_port.getChar(&c) ? static_cast<unsigned char>(c) : -1;
#ifdef Q_OS_UNIX
    if (bytesAvailable() == 0)
        return -1;
    const ssize_t got = ::read(int(m_port.handle()), &c, 1);
    return got == 1 ? static_cast<unsigned char>(c) : -1;
#else
    if (bytesAvailable() == 0 || !m_port.getChar(&c))
        return -1;
    return static_cast<unsigned char>(c);
#endif
}

void QtSerialPortControl::write(const QByteArray& bytes)
{
    if (m_network) {
        m_network->write(bytes);
        return;
    }
    if (!isOpen())
        throw SerialError(SerialErrorNumber::kPortNotOpen, kSource, QStringLiteral("Port not open"));
#ifdef Q_OS_UNIX
    // The protocol sends one byte and waits for its reply: write it to the
    // driver at once. A vanished peer loses the bytes, as a broken line would.
    if (m_port.bytesToWrite() == 0) {
        const int fd = int(m_port.handle());
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // Output full: hand the rest to the port, which waits for room.
                m_port.write(bytes.mid(done));
                m_port.flush();
                m_port.clearError();
            }
            break;
        }
        return;
    }
#endif
    if (m_port.write(bytes) < 0 || !m_port.flush()) {
        // A vanished peer: the bytes are lost, as on a broken line.
        m_port.clear(QSerialPort::Output);
    }
    m_port.clearError();
}

bool QtSerialPortControl::waitForInput(int timeoutMs)
{
    if (m_network)
        return m_network->waitForInput(timeoutMs);
    if (timeoutMs <= 0)
        return bytesAvailable() > 0;
    // Bytes already taken in count at once; the wait below returns at once
    // for bytes the driver holds.
    if (isOpen() && m_port.bytesAvailable() > 0)
        return true;
    QElapsedTimer timer;
    timer.start();
    if (!isOpen()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return false;
    }
#ifdef Q_OS_UNIX
    // Block on the descriptor itself (no CPU is spent while waiting).
    pollfd watch { int(m_port.handle()), POLLIN, 0 };
    for (;;) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0)
            return bytesAvailable() > 0;
        watch.revents = 0;
        const int r = ::poll(&watch, 1, int(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r == 0)
            return bytesAvailable() > 0;
        if (r > 0 && !(watch.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return true;
        if (bytesAvailable() > 0)
            return true; // the last bytes before a hang-up
        // Hang-up or error: nobody at the other end, a silent line until the timeout.
        const qint64 rest = timeoutMs - timer.elapsed();
        if (rest > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(rest));
        return false;
    }
#endif
    for (;;) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0)
            return m_port.bytesAvailable() > 0;
        if (m_port.waitForReadyRead(int(left))) {
            m_port.clearError();
            return true;
        }
        const QSerialPort::SerialPortError e = m_port.error();
        m_port.clearError();
        if (peerLost(e)) {
            // Nobody at the other end: a silent line until the timeout.
            const qint64 rest = timeoutMs - timer.elapsed();
            if (rest > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(rest));
            return false;
        }
        if (m_port.bytesAvailable() > 0)
            return true;
        if (e == QSerialPort::TimeoutError)
            return false;
        if (e == QSerialPort::NoError)
            continue; // woken without data: wait out the rest
        // Any other error: keep waiting out the time, without spinning.
        const qint64 rest = timeoutMs - timer.elapsed();
        if (rest > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<qint64>(rest, 10)));
    }
}

} // namespace talvek
