#include "link/NetworkPortControl.h"

#include "base/Clock.h"
#include "link/QtSerialPortControl.h"

#include <QElapsedTimer>
#include <algorithm>

namespace talvek {

namespace {

const QString kSource = QStringLiteral("MSComm1");

quint8 parityCode(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::OddParity:
        return TelnetComPort::kParityOdd;
    case QSerialPort::EvenParity:
        return TelnetComPort::kParityEven;
    case QSerialPort::MarkParity:
        return TelnetComPort::kParityMark;
    case QSerialPort::SpaceParity:
        return TelnetComPort::kParitySpace;
    default:
        return TelnetComPort::kParityNone;
    }
}

quint32 bigEndian32(const QByteArray& value)
{
    quint32 v = 0;
    for (int i = 0; i < std::min<int>(4, int(value.size())); ++i)
        v = (v << 8) | quint8(value.at(i));
    return v;
}

} // namespace

NetworkPortControl::NetworkPortControl(Clock& clock)
    : m_clock(clock)
{ }

NetworkPortControl::~NetworkPortControl()
{
    close();
}

void NetworkPortControl::setAddress(const PortAddress& address)
{
    if (!address.isNetwork())
        throw SerialError(SerialErrorNumber::kInvalidPropertyValue, kSource,
            QStringLiteral("Invalid property value: %1 is no network port.").arg(address.text()));
    if (m_open)
        throw SerialError(SerialErrorNumber::kPortAlreadyOpen, kSource, QStringLiteral("Port already open"));
    m_address = address;
}

void NetworkPortControl::setCommPort(int port)
{
    if (m_open)
        throw SerialError(SerialErrorNumber::kPortAlreadyOpen, kSource, QStringLiteral("Port already open"));
    if (port < 1 || port > 99)
        throw SerialError(SerialErrorNumber::kInvalidPortNumber, kSource,
            QStringLiteral("Invalid port number: %1 (ports are numbered 1 to 99).").arg(port));
    m_commPort = port;
}

void NetworkPortControl::setSettings(const QString& settings)
{
    QtSerialPortControl::parseSettings(settings); // throws for a text that is none
    m_settings = settings;
    // A port already set up takes the new speed at once.
    if (connected() && m_address.kind == PortAddress::Kind::Rfc2217 && !negotiate())
        return; // the fault is told by the link's timeouts
}

QString NetworkPortControl::deviceForPort(int port) const
{
    Q_UNUSED(port);
    return m_address.text();
}

QString NetworkPortControl::where() const
{
    return QStringLiteral("%1 port %2").arg(m_address.host).arg(m_address.port);
}

QString NetworkPortControl::portFacts() const
{
    const int baud = QtSerialPortControl::parseSettings(m_settings).baud;
    QString facts
        = QStringLiteral("Network port %1 (COM%2), %3 baud").arg(m_address.text()).arg(m_commPort).arg(baud);
    if (m_address.kind == PortAddress::Kind::RawTcp)
        facts += QStringLiteral(" as set at the server");
    if (!m_fault.isEmpty())
        return facts + QStringLiteral(": ") + m_fault;
    return facts + QLatin1Char('.');
}

bool NetworkPortControl::connected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

// ---- open and close ----

void NetworkPortControl::open()
{
    if (m_open)
        throw SerialError(SerialErrorNumber::kPortAlreadyOpen, kSource, QStringLiteral("Port already open"));
    if (!m_address.isNetwork())
        throw SerialError(SerialErrorNumber::kInvalidPortNumber, kSource,
            QStringLiteral("Invalid port number: COM%1 has no network port.").arg(m_commPort));
    m_open = true;
    m_fault.clear();
    connectNow();
}

void NetworkPortControl::close()
{
    if (m_socket) {
        m_socket->abort();
        m_socket.reset();
    }
    m_open = false;
    m_input.clear();
}

bool NetworkPortControl::connectNow()
{
    if (m_socket)
        m_socket->abort();
    m_socket = std::make_unique<QTcpSocket>();
    m_telnet = TelnetComPort {};
    m_input.clear();
    m_lastAttempt = m_clock.nowMs();
    QElapsedTimer real;
    real.start();
    m_socket->connectToHost(m_address.host, m_address.port);
    const bool ok = m_socket->waitForConnected(m_connectTimeoutMs);
    letClockCatchUp(m_lastAttempt, real.elapsed());
    if (!ok) {
        QString why;
        switch (m_socket->error()) {
        case QAbstractSocket::ConnectionRefusedError:
            why = QStringLiteral("the connection to %1 was refused (no server listens there, or it "
                                 "takes no more connections).")
                      .arg(where());
            break;
        case QAbstractSocket::HostNotFoundError:
            why = QStringLiteral("the host %1 is not known.").arg(m_address.host);
            break;
        case QAbstractSocket::SocketTimeoutError:
            why = QStringLiteral("%1 did not answer the connection to port %2 within %3 ms.")
                      .arg(m_address.host)
                      .arg(m_address.port)
                      .arg(m_connectTimeoutMs);
            break;
        default:
            why = QStringLiteral("the connection to %1 failed: %2.").arg(where(), m_socket->errorString());
            break;
        }
        lost(why);
        return false;
    }
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_fault.clear();
    m_settling = true;
    const bool ready = m_address.kind == PortAddress::Kind::Rfc2217 ? negotiate() : settle();
    m_settling = false;
    // What came before the first byte is no reply (a server's greeting).
    m_input.clear();
    return ready;
}

// A raw port has no handshake: a server whose serial device is taken says so
// and closes at once. The short wait keeps its words from being taken as the
// board's reply.
bool NetworkPortControl::settle()
{
    const qint64 deadline = m_clock.nowMs() + kSettleMs;
    for (;;) {
        const qint64 left = deadline - m_clock.nowMs();
        if (left <= 0)
            return true;
        if (!pump(int(left)))
            return false;
    }
}

QString NetworkPortControl::closedText() const
{
    QString said;
    for (const char c : m_input) {
        if (c >= ' ' && c < 127)
            said += QLatin1Char(c);
        else if (!said.endsWith(QLatin1Char(' ')))
            said += QLatin1Char(' ');
    }
    said = said.trimmed().left(120);
    if (m_settling && !said.isEmpty())
        return QStringLiteral("the server at %1 closed the connection, saying \"%2\".").arg(where(), said);
    return QStringLiteral("the server at %1 closed the connection.").arg(where());
}

void NetworkPortControl::lost(const QString& why)
{
    m_fault = why;
    // The next try waits: the operator sees why first, and Retry tries again.
    m_lastAttempt = m_clock.nowMs();
    if (m_socket)
        m_socket->abort();
    m_socket.reset();
}

void NetworkPortControl::letClockCatchUp(qint64 clockBefore, qint64 realWaitedMs)
{
    const qint64 seen = m_clock.nowMs() - clockBefore;
    if (realWaitedMs - seen > 1)
        m_clock.sleepMs(realWaitedMs - seen);
}

// ---- RFC 2217 ----

bool NetworkPortControl::negotiate()
{
    const qint64 deadline = m_clock.nowMs() + kAnswerTimeoutMs;
    if (m_telnet.comPort() != TelnetComPort::Consent::Agreed) {
        sendRaw(m_telnet.start());
        if (!awaitConsent(deadline))
            return false;
    }
    const QtSerialPortControl::LineSettings line = QtSerialPortControl::parseSettings(m_settings);
    QByteArray request = TelnetComPort::setBaudRate(quint32(line.baud));
    request += TelnetComPort::setByte(TelnetComPort::kSetDataSize, quint8(line.dataBits));
    request += TelnetComPort::setByte(TelnetComPort::kSetParity, parityCode(line.parity));
    request += TelnetComPort::setByte(TelnetComPort::kSetStopSize,
        line.stopBits == QSerialPort::TwoStop ? TelnetComPort::kStopTwo : TelnetComPort::kStopOne);
    request += TelnetComPort::setByte(TelnetComPort::kSetControl, TelnetComPort::kControlNoFlow);
    request += TelnetComPort::setByte(TelnetComPort::kPurgeData, TelnetComPort::kPurgeBoth);
    m_telnet.takeAnswers();
    sendRaw(request);
    return checkAnswers(deadline);
}

bool NetworkPortControl::awaitConsent(qint64 deadline)
{
    while (m_telnet.comPort() == TelnetComPort::Consent::Asked) {
        const qint64 left = deadline - m_clock.nowMs();
        if (left <= 0) {
            lost(QStringLiteral("the server at %1 did not answer the RFC 2217 negotiation within %2 ms "
                                "(for a raw TCP port, write socket:// instead of rfc2217://).")
                     .arg(where())
                     .arg(kAnswerTimeoutMs));
            return false;
        }
        if (!pump(int(left)))
            return false;
    }
    if (m_telnet.comPort() == TelnetComPort::Consent::Refused) {
        lost(QStringLiteral("the server at %1 refuses RFC 2217 control of the line (for a raw TCP "
                            "port, write socket:// instead of rfc2217://).")
                 .arg(where()));
        return false;
    }
    return true;
}

// The speed and the framing the server answers with must be the ones asked.
bool NetworkPortControl::checkAnswers(qint64 deadline)
{
    const QtSerialPortControl::LineSettings line = QtSerialPortControl::parseSettings(m_settings);
    struct Expected
    {
        quint8 command;
        quint32 value;
        const char* what;
    };
    const std::array<Expected, 4> expected { {
        { TelnetComPort::kSetBaudRate, quint32(line.baud), "baud" },
        { TelnetComPort::kSetDataSize, quint32(line.dataBits), "data bits" },
        { TelnetComPort::kSetParity, parityCode(line.parity), "parity code" },
        { TelnetComPort::kSetStopSize,
            line.stopBits == QSerialPort::TwoStop ? TelnetComPort::kStopTwo : TelnetComPort::kStopOne,
            "stop bits code" },
    } };
    std::array<bool, 4> answered {};
    QList<TelnetComPort::Answer> answers;
    while (!std::all_of(answered.begin(), answered.end(), [](bool b) { return b; })) {
        answers += m_telnet.takeAnswers();
        for (const TelnetComPort::Answer& a : std::as_const(answers)) {
            for (std::size_t i = 0; i < expected.size(); ++i) {
                if (a.command != expected[i].command || answered[i])
                    continue;
                answered[i] = true;
                const quint32 got = a.command == TelnetComPort::kSetBaudRate
                    ? bigEndian32(a.value)
                    : quint32(a.value.isEmpty() ? 0 : quint8(a.value.at(0)));
                if (got != expected[i].value) {
                    lost(QStringLiteral("the server at %1 refused %2 %3 (it answered %4).")
                             .arg(where())
                             .arg(expected[i].value)
                             .arg(QLatin1String(expected[i].what))
                             .arg(got));
                    return false;
                }
            }
        }
        answers.clear();
        if (std::all_of(answered.begin(), answered.end(), [](bool b) { return b; }))
            break;
        const qint64 left = deadline - m_clock.nowMs();
        if (left <= 0) {
            lost(QStringLiteral("the server at %1 did not confirm %2 baud, 8 data bits, no parity and "
                                "1 stop bit within %3 ms.")
                     .arg(where())
                     .arg(line.baud)
                     .arg(kAnswerTimeoutMs));
            return false;
        }
        if (!pump(int(left)))
            return false;
    }
    return true;
}

// ---- bytes ----

void NetworkPortControl::sendRaw(const QByteArray& bytes)
{
    if (!connected() || bytes.isEmpty())
        return;
    if (m_socket->write(bytes) != bytes.size()) {
        lost(QStringLiteral("the connection to %1 failed while sending: %2.")
                 .arg(where(), m_socket->errorString()));
        return;
    }
    m_socket->flush();
    // What the system did not take at once goes out while waiting for room.
    while (connected() && m_socket->bytesToWrite() > 0) {
        QElapsedTimer real;
        real.start();
        const qint64 before = m_clock.nowMs();
        const bool written = m_socket->waitForBytesWritten(kAnswerTimeoutMs);
        letClockCatchUp(before, real.elapsed());
        if (!written) {
            lost(QStringLiteral("the server at %1 took no data for %2 ms.")
                     .arg(where())
                     .arg(kAnswerTimeoutMs));
            return;
        }
    }
}

bool NetworkPortControl::pump(int waitMs)
{
    if (!connected()) {
        if (m_socket)
            lost(closedText());
        return false;
    }
    QByteArray raw = m_socket->readAll();
    if (raw.isEmpty() && waitMs >= 0) {
        QElapsedTimer real;
        real.start();
        const qint64 before = m_clock.nowMs();
        m_socket->waitForReadyRead(waitMs);
        letClockCatchUp(before, real.elapsed());
        raw = m_socket->readAll();
    }
    if (m_address.kind == PortAddress::Kind::Rfc2217) {
        m_input += m_telnet.feed(raw);
        sendRaw(m_telnet.takeReplies());
    } else {
        m_input += raw;
    }
    if (!connected()) {
        if (m_socket)
            lost(closedText());
        return false;
    }
    return true;
}

int NetworkPortControl::bytesAvailable()
{
    if (m_input.isEmpty() && connected())
        pump(0);
    return int(m_input.size());
}

void NetworkPortControl::discardInput()
{
    if (connected())
        pump(0);
    m_input.clear();
}

int NetworkPortControl::readByte()
{
    if (bytesAvailable() == 0)
        return -1;
    const int b = quint8(m_input.at(0));
    m_input.remove(0, 1);
    return b;
}

void NetworkPortControl::write(const QByteArray& bytes)
{
    if (!m_open)
        throw SerialError(SerialErrorNumber::kPortNotOpen, kSource, QStringLiteral("Port not open"));
    if (!connected()) {
        // A connection lost: a silent line, until the next try is due.
        if (m_clock.nowMs() - m_lastAttempt < kReconnectAfterMs || !connectNow())
            return;
    }
    sendRaw(m_address.kind == PortAddress::Kind::Rfc2217 ? TelnetComPort::escape(bytes) : bytes);
}

bool NetworkPortControl::waitForInput(int timeoutMs)
{
    if (!m_input.isEmpty())
        return true;
    if (timeoutMs <= 0)
        return bytesAvailable() > 0;
    const qint64 deadline = m_clock.nowMs() + timeoutMs;
    for (;;) {
        const qint64 left = deadline - m_clock.nowMs();
        if (left <= 0)
            return false;
        if (!connected()) {
            // Nobody at the other end: a silent line until the timeout.
            m_clock.sleepMs(left);
            return false;
        }
        pump(int(left));
        if (!m_input.isEmpty())
            return true;
    }
}

} // namespace talvek
