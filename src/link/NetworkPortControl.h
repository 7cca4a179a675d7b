#pragma once

#include "link/PortAddress.h"
#include "link/SerialPortControl.h"
#include "link/TelnetComPort.h"

#include <QTcpSocket>
#include <memory>

namespace talvek {

class Clock;

// A serial port on a serial device server, reached over TCP: a Telnet port
// with RFC 2217 control of the line (rfc2217://HOST:PORT), or raw TCP
// (socket://HOST:PORT), where the server holds the line settings itself.
//
// It behaves as a serial line whose far end may vanish:
// - open() connects (TCP_NODELAY, within connectTimeoutMs()) and, for RFC
//   2217, sets the speed, 8 data bits, no parity, 1 stop bit and no flow
//   control as the settings say, checks that the server took each, and
//   purges the server's buffers. It throws only for what an open of a serial
//   port throws for (already open, no address).
// - A connection that cannot be made (refused, no answer, unknown host), a
//   server that refuses the settings and a server that closes the connection
//   later leave the port open but silent: bytes written are lost and
//   waitForInput() waits its time out, so the link's own timeouts end in its
//   "Cannot Communicate with Target Board" box. fault() and portFacts() name
//   what failed, with the host and the TCP port. The next write() at least
//   kReconnectAfterMs after the last try connects again (the operator's Retry).
// - Every wait is measured on the link's clock. A real wait that a clock
//   does not see pass (a test's fake clock) is let pass on it afterwards, so
//   that the link's timeouts run out as they would.
class NetworkPortControl final : public SerialPortControl
{
public:
    static constexpr int kConnectTimeoutMs = 3000;
    static constexpr int kAnswerTimeoutMs = 2000;
    static constexpr qint64 kReconnectAfterMs = 4000;
    // How long a raw port listens after connecting for a server that refuses
    // the session (its serial device taken) before the first byte goes out.
    static constexpr int kSettleMs = 30;

    explicit NetworkPortControl(Clock& clock);
    ~NetworkPortControl() override;
    Q_DISABLE_COPY_MOVE(NetworkPortControl)

    // The server; a device address is refused with SerialError(kInvalidPropertyValue).
    void setAddress(const PortAddress& address);
    const PortAddress& address() const { return m_address; }
    void setConnectTimeoutMs(int ms) { m_connectTimeoutMs = ms; }
    int connectTimeoutMs() const { return m_connectTimeoutMs; }

    void setCommPort(int port) override;
    int commPort() const override { return m_commPort; }
    void setSettings(const QString& settings) override;
    QString settings() const override { return m_settings; }

    void open() override;
    void close() override;
    bool isOpen() const override { return m_open; }

    int bytesAvailable() override;
    void discardInput() override;
    int readByte() override;
    void write(const QByteArray& bytes) override;
    bool waitForInput(int timeoutMs) override;

    QString deviceForPort(int port) const override;
    // "Network port rfc2217://host:4001 (COM1), 9600 baud." and, while the
    // connection is down, why.
    QString portFacts() const override;

    // Connected and set up now.
    bool connected() const;
    // What failed last ("the connection was refused ..."), empty while the
    // connection stands.
    QString fault() const { return m_fault; }

private:
    bool connectNow();
    bool negotiate();
    bool settle();
    QString closedText() const;
    bool awaitConsent(qint64 deadline);
    bool checkAnswers(qint64 deadline);
    void sendRaw(const QByteArray& bytes);
    // Reads what the socket holds (waiting up to waitMs real time), decodes
    // it and answers the server; false when the connection is gone.
    bool pump(int waitMs);
    void lost(const QString& why);
    void letClockCatchUp(qint64 clockBefore, qint64 realWaitedMs);
    QString where() const;

    Clock& m_clock;
    PortAddress m_address;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    int m_connectTimeoutMs = kConnectTimeoutMs;
    bool m_open = false;
    std::unique_ptr<QTcpSocket> m_socket;
    TelnetComPort m_telnet;
    QByteArray m_input;
    QString m_fault;
    qint64 m_lastAttempt = 0;
    bool m_settling = false; // connecting: what comes is the server's, not the board's
};

} // namespace talvek
