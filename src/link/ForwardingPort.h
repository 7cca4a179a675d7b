#pragma once

#include "link/SerialPortControl.h"

namespace talvek {

// A port that passes every call to another one. A port that watches or
// spoils the traffic (a recorder, a faulty line) derives from it and
// overrides only what it changes.
class ForwardingPort : public SerialPortControl
{
public:
    explicit ForwardingPort(SerialPortControl& inner)
        : m_inner(inner)
    {
    }
    void setCommPort(int port) override { m_inner.setCommPort(port); }
    int commPort() const override { return m_inner.commPort(); }
    void setSettings(const QString& s) override { m_inner.setSettings(s); }
    QString settings() const override { return m_inner.settings(); }
    void open() override { m_inner.open(); }
    void close() override { m_inner.close(); }
    bool isOpen() const override { return m_inner.isOpen(); }
    int bytesAvailable() override { return m_inner.bytesAvailable(); }
    void discardInput() override { m_inner.discardInput(); }
    int readByte() override { return m_inner.readByte(); }
    void write(const QByteArray& bytes) override { m_inner.write(bytes); }
    bool waitForInput(int timeoutMs) override { return m_inner.waitForInput(timeoutMs); }
    QString deviceForPort(int port) const override { return m_inner.deviceForPort(port); }
    QString portFacts() const override { return m_inner.portFacts(); }
    PortLatency latency() const override { return m_inner.latency(); }

protected:
    SerialPortControl& inner() const { return m_inner; }

private:
    SerialPortControl& m_inner;
};

} // namespace talvek
