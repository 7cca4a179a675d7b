#pragma once

#include "cli/CliPrompter.h"
#include "link/SerialPortControl.h"

#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>
#include <optional>

namespace talvek {

class Clock;
class ProgramFolder;

// What talvek-cli runs on: TALVEK's program folder (port settings file, port
// links, code tables), the clock, the output streams and the serial-port
// control. The program passes the real ones; tests pass the in-process
// simulator's.
struct CliContext
{
    const ProgramFolder& folder;
    Clock& clock;
    QTextStream& out;
    QTextStream& err;
    // Progress lines on `err` (the program sets this when it is a terminal).
    bool progress = false;
    // The serial-port control, resolving port numbers through the program
    // folder, or (--device; not empty) opening that device whatever the
    // port number.
    std::function<std::unique_ptr<SerialPortControl>(const ProgramFolder& folder, const QString& device)> makePort;
};

// Runs one talvek-cli command line (the arguments after the program name) and
// returns the exit code (CliExit).
int runTalvekCli(const QStringList& arguments, CliContext& context);

// The usage text of --help.
QString talvekCliUsage();

// What is wrong with a controller address as the command line takes it, or
// nothing. It takes B, W or D and a number, F and a number, a bit address
// (letter, byte number, "." and 0..7), or hexadecimal digits and H; byte
// numbers up to 65535, of which those from FF00H cannot be reached (the
// value's last byte counts: W65279 ends at FF00H).
std::optional<QString> cliAddressProblem(const QString& address);
bool isCliAddress(const QString& address);

// The serial-port control of the command line: the real one, with the port
// number and speed of the command line in place of those of the settings
// file (when given).
class CliPort final : public SerialPortControl
{
public:
    CliPort(std::unique_ptr<SerialPortControl> inner, std::optional<int> port, std::optional<int> baud);
    Q_DISABLE_COPY_MOVE(CliPort)

    void setCommPort(int port) override;
    int commPort() const override { return m_inner->commPort(); }
    void setSettings(const QString& settings) override;
    QString settings() const override { return m_inner->settings(); }
    void open() override { m_inner->open(); }
    void close() override { m_inner->close(); }
    bool isOpen() const override { return m_inner->isOpen(); }
    int bytesAvailable() override { return m_inner->bytesAvailable(); }
    void discardInput() override { m_inner->discardInput(); }
    int readByte() override { return m_inner->readByte(); }
    void write(const QByteArray& bytes) override { m_inner->write(bytes); }
    bool waitForInput(int timeoutMs) override { return m_inner->waitForInput(timeoutMs); }
    QString deviceForPort(int port) const override { return m_inner->deviceForPort(port); }
    QString portFacts() const override { return m_inner->portFacts(); }
    PortLatency latency() const override { return m_inner->latency(); }

private:
    std::unique_ptr<SerialPortControl> m_inner;
    std::optional<int> m_port;
    std::optional<int> m_baud;
};

} // namespace talvek
