#pragma once

#include "base/Clock.h"
#include "K7700Sim.h"
#include "link/SerialPortControl.h"

#include <QByteArray>
#include <QList>
#include <optional>

namespace talvek::test {

// An in-process serial port wired to a K7700Sim, on a fake clock. Every byte
// written is handed to the simulator at once; its reply is scheduled at
// "now + reply delay" and lands in the receive buffer when the fake clock gets
// there. waitForInput() lets the fake time pass (up to the next reply or the
// timeout), and the simulated press moves by the time that passed, so the
// link's 1 s / 2 s timeouts run in microseconds and deterministically.
//
// It records the wire: every byte written, every byte read, every byte
// discarded, and one exchange per byte written (with the reply the board
// produced for it).
class SimPort final : public SerialPortControl
{
public:
    struct Exchange
    {
        quint8 sent = 0;
        QByteArray reply; // empty: the board did not answer
        qint64 sentAtMs = 0;
        qint64 replyAtMs = 0; // when the reply reaches the receive buffer
    };

    SimPort(K7700Sim& sim, FakeClock& clock);
    Q_DISABLE_COPY_MOVE(SimPort)

    // ---- SerialPortControl ----
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
    PortLatency latency() const override { return m_open ? m_latency : PortLatency {}; }

    // ---- test controls ----
    // open() throws this error (until cleared with nullopt).
    void failOpenWith(std::optional<SerialError> error) { m_openError = std::move(error); }
    // setCommPort / setSettings throw this error (until cleared).
    void refuseCommPort(std::optional<SerialError> error) { m_commPortError = std::move(error); }
    void refuseSettings(std::optional<SerialError> error) { m_settingsError = std::move(error); }
    // Bytes that sit in the receive buffer as if they had arrived already
    // (line noise before an exchange). open() and close() drop them, as they
    // drop all input.
    void injectInput(const QByteArray& bytes);
    // The last reply arrives a second time, right after the first.
    void repeatLastReply();
    // What latency() reports while the port is open (a USB adapter's timer).
    void setLatency(const PortLatency& latency) { m_latency = latency; }
    // Moves the fake clock (and the press) on without any port call.
    void letTimePass(qint64 ms);

    // ---- the record ----
    QByteArray written() const { return m_written; }
    // The bytes of each write() call, in order.
    const QList<QByteArray>& writes() const { return m_writes; }
    QByteArray readBytes() const { return m_readBytes; }
    QByteArray discarded() const { return m_discarded; }
    const QList<Exchange>& exchanges() const { return m_exchanges; }
    int openCount() const { return m_openCount; }
    int closeCount() const { return m_closeCount; }
    void clearRecord();

    K7700Sim& sim() { return m_sim; }
    FakeClock& clock() { return m_clock; }

private:
    struct Pending
    {
        qint64 dueMs;
        QByteArray bytes;
    };
    // Lets the simulator's press catch up with the clock and moves replies
    // that are due into the receive buffer.
    void sync();

    K7700Sim& m_sim;
    FakeClock& m_clock;
    qint64 m_lastSyncMs;

    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    bool m_open = false;
    QByteArray m_input;
    QList<Pending> m_pending; // in due order

    std::optional<SerialError> m_openError;
    std::optional<SerialError> m_commPortError;
    std::optional<SerialError> m_settingsError;
    PortLatency m_latency;

    QByteArray m_written;
    QList<QByteArray> m_writes;
    QByteArray m_readBytes;
    QByteArray m_discarded;
    QList<Exchange> m_exchanges;
    int m_openCount = 0;
    int m_closeCount = 0;
};

} // namespace talvek::test
