#pragma once

#include "base/BasicError.h"

#include <QByteArray>
#include <QString>

namespace talvek {

// A failure of the serial-port control, carrying what the error boxes show.
// It is a run-time fault like any other, so one handler catches both.
class SerialError : public BasicError
{
public:
    using BasicError::BasicError;
};

// Error numbers used by the serial-port controls (the numbers of the classic
// communications control, so operators and the code tables speak one language).
namespace SerialErrorNumber {
constexpr int kInvalidPropertyValue = 380;
constexpr int kInvalidPortNumber = 8002;
constexpr int kPortAlreadyOpen = 8005;
constexpr int kPortUnavailable = 8010; // hardware not available / in use
constexpr int kPortNotOpen = 8012;
constexpr int kSetStateFailed = 8015;
constexpr int kPermissionDenied = 8020;
constexpr int kDeviceNotFound = 8021;
} // namespace SerialErrorNumber

// How long a reply byte may wait in the open port before the program sees it.
struct PortLatency
{
    // The driver runs the port in its low-latency mode (in force, not only asked for).
    bool lowLatencyMode = false;
    // The USB adapter's latency timer in ms, as in force after open(); -1
    // when the port has none or it is not known here (a built-in UART, a
    // pseudo-terminal, a modem-class adapter, Windows, where the adapter
    // driver's own settings hold it).
    int timerMs = -1;
    // Where the timer is set (the sysfs attribute), for messages.
    QString timerPath;

    // Every lone reply byte waits for the timer: the link runs below the wire's speed.
    bool slow() const { return timerMs > 1; }
};

// The serial-port control the link drives (one byte out, one byte back).
// Setters and open() throw SerialError on failure.
class SerialPortControl
{
public:
    virtual ~SerialPortControl() = default;

    virtual void setCommPort(int port) = 0;
    virtual int commPort() const = 0;
    // "9600,n,8,1" style; throws SerialError(kInvalidPropertyValue) on a bad text.
    virtual void setSettings(const QString& settings) = 0;
    virtual QString settings() const = 0;

    virtual void open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Bytes waiting in the receive buffer.
    virtual int bytesAvailable() = 0;
    // Throws away everything received so far.
    virtual void discardInput() = 0;
    // One received byte, or -1 when none is there.
    virtual int readByte() = 0;
    virtual void write(const QByteArray& bytes) = 0;
    // Blocks until input is there or the timeout passes; true when input is there.
    virtual bool waitForInput(int timeoutMs) = 0;

    // The device a port number means on this machine, for messages and dialogs.
    virtual QString deviceForPort(int port) const = 0;
    // One line on the port in use (device and speed) that the link adds under
    // its communication failure message; empty when there is nothing to add.
    virtual QString portFacts() const { return {}; }

    // The latency of the open port (nothing to say for a port that is not open).
    virtual PortLatency latency() const { return {}; }
};

} // namespace talvek
