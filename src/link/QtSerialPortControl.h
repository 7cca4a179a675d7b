#pragma once

#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "link/SerialDevices.h"
#include "link/SerialPortControl.h"
#include "link/UsbLatencyTimer.h"

#include <QSerialPort>
#include <memory>

namespace talvek {

class NetworkPortControl;

// The real serial-port control, on QSerialPort.
//
// Port numbers: on Windows port n is COMn. Elsewhere port n is the device the
// link support/ports/COMn beside the program points to, when that link exists
// (an operator pins a USB adapter with a link to /dev/serial/by-id/..., the
// simulator links its pseudo-terminal there); otherwise, on Linux, COM1..32
// are /dev/ttyS0..31, COM33..64 /dev/ttyUSB0..31, COM65..96 /dev/ttyACM0..31,
// and COM97..99 have no device.
//
// Behaviour on the wire:
// - open() discards whatever input is left over. On Linux it asks the
//   driver for low latency, and sets a USB adapter's latency timer to 1 ms
//   where its sysfs attribute is writable (adapters otherwise hold a lone
//   reply byte for their timer, 16 ms by default); close() puts both back as
//   they were. latency() reports what is in force afterwards. Ports without
//   these settings (pseudo-terminals, built-in UARTs) are fine as they are.
//   On Windows the adapter driver's own "Latency Timer" setting (Device
//   Manager, the port's Advanced settings) holds the timer; it is not read here.
// - write() sends at once (the caller never returns to the event loop while
//   it waits for the reply).
// - A peer that vanished (an unplugged adapter, a simulator that stopped)
//   is a silent line: bytes written are lost, and waitForInput() waits its
//   timeout out without input, so the link's timeout handling reports it.
//
// A port may lead to a serial device server instead of a device: a port link
// whose target is rfc2217://HOST:PORT or socket://HOST:PORT, or the same URL
// as the fixed device. open() then hands every call to a NetworkPortControl
// until close().
class QtSerialPortControl final : public SerialPortControl
{
public:
    explicit QtSerialPortControl(const ProgramFolder& folder);
    ~QtSerialPortControl() override;
    Q_DISABLE_COPY_MOVE(QtSerialPortControl)

    void setCommPort(int port) override;
    int commPort() const override { return m_commPort; }
    void setSettings(const QString& settings) override;
    QString settings() const override { return m_settings; }

    void open() override;
    // The URL in the port link support/ports/COMn as written there (a
    // network port), or empty for a link to a device or no link.
    QString linkedNetworkPort(int port) const;
    void close() override;
    bool isOpen() const override;

    int bytesAvailable() override;
    void discardInput() override;
    int readByte() override;
    void write(const QByteArray& bytes) override;
    bool waitForInput(int timeoutMs) override;

    // The device port n means here: the target of support/ports/COMn when that
    // link exists (even a dangling one), else the fixed table; empty when the
    // number has no device.
    QString deviceForPort(int port) const override;
    // Every port number names this device or network port URL (the command
    // line's --device); empty: the port links and the table decide.
    void setDevice(const QString& device) { m_fixedDevice = device; }
    // The clock the waits of a network port are measured on (default: the
    // steady clock); it must outlive the port.
    void setClock(Clock& clock) { m_clock = &clock; }
    // The network port in use while one is open, else null.
    NetworkPortControl* networkPort() const { return m_network.get(); }
    // "Device /dev/ttyUSB0 (COM33), 9600 baud."
    QString portFacts() const override;

    // The fixed table alone (no link), for this platform.
    static QString defaultDevice(int port);
    // The link support/ports/COMn that overrides the table for port n.
    QString portLink(int port) const;

    // Line parameters of a settings text such as "9600,n,8,1".
    struct LineSettings
    {
        qint32 baud = 9600;
        QSerialPort::Parity parity = QSerialPort::NoParity;
        QSerialPort::DataBits dataBits = QSerialPort::Data8;
        QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    };
    // Throws SerialError(kInvalidPropertyValue) for a text that is not one.
    static LineSettings parseSettings(const QString& text);

    // Who may use a device node, and the group a user may join to use it
    // (see SerialDevices.h, where the advice on port permissions is made).
    using DeviceOwnership = talvek::DeviceOwnership;
    static QString groupToJoin(const DeviceOwnership& node) { return talvek::groupToJoin(node); }
    // The text of the permission error for the device: portAdvice's.
    static QString permissionMessage(const QString& device, int port, const DeviceOwnership& node,
        const PortUser& user, const QString& udevRule);
    // The udev rule that gives serial devices to "dialout" and sets the USB
    // adapters' latency timer.
    static constexpr char kUdevRuleName[] = "99-talvek-serial.rules";
    // The text of the error for a port that another program holds; holder
    // names it ("minicom (process 4711)") when it is known.
    static QString busyMessage(const QString& portLabel, const QString& holder);

    // The low-latency mode and the adapter's latency timer in force on the
    // open port.
    PortLatency latency() const override;

    // Where sysfs is mounted (default /sys; a fake tree in tests). Takes
    // effect at the next open().
    void setSysfsRoot(const QString& root) { m_sysfsRoot = root; }

private:
    void applySettings();
    void openNetworkPort(const QString& url);
    [[noreturn]] void throwOpenError(const QString& device, const QString& qtError, int posixErrno) const;
    QString portLabel(const QString& device) const;
    void requestLowLatency();
    void restoreLatency();

    ProgramFolder m_folder;
    QSerialPort m_port;
    QString m_device; // of the last open()
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    LineSettings m_line;
    bool m_lowLatency = false;
    bool m_restoreLatency = false;
    int m_savedSerialFlags = 0;
    QString m_sysfsRoot = QStringLiteral("/sys");
    UsbLatencyTimer m_latencyTimer;
    QString m_fixedDevice;
    SteadyClock m_steadyClock;
    Clock* m_clock = &m_steadyClock;
    std::unique_ptr<NetworkPortControl> m_network;
};

} // namespace talvek
