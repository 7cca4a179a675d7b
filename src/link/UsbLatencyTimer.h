#pragma once

#include <QString>

namespace talvek {

// The latency timer of a USB serial adapter (FTDI chips and their kin): how
// long the adapter holds the bytes it received before it passes them to the
// computer. A lone reply byte waits the whole time, 16 ms by default, which
// makes a byte-by-byte protocol many times slower than the wire.
//
// Linux shows the timer, in milliseconds, as the attribute latency_timer of
// the adapter's port in sysfs; for the character device major:minor it is
//   <sysfs>/dev/char/<major>:<minor>/device/latency_timer
// whatever name or link the device was opened by. The attribute is usually
// writable by root only; a udev rule can set it when the adapter is plugged in.
class UsbLatencyTimer final
{
public:
    // sysfsRoot: where sysfs is mounted (a fake tree in tests).
    explicit UsbLatencyTimer(QString sysfsRoot = QStringLiteral("/sys"));

    // Finds the timer of the device (after a release of the previous one).
    // False when the device has none: a built-in UART, a pseudo-terminal, a
    // modem-class (ACM) adapter, or a system without sysfs.
    bool attach(unsigned major, unsigned minor);

    // Sets the timer to ms where the attribute can be written, remembering
    // the value found, and reads back the value in force. Returns that value,
    // or -1 when the timer cannot be read.
    int lower(int ms);

    // Puts back the value found by lower() when lower() changed it; forgets
    // the device either way.
    void release();

    bool attached() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    // The value read back by the last lower(); -1 when unknown.
    int inForce() const { return m_inForce; }

    // The attribute's text as a number of ms; -1 when it is not one.
    static int parse(const QByteArray& text);

private:
    int read() const;
    bool write(int ms) const;

    QString m_sysfsRoot;
    QString m_path;
    int m_found = -1;
    int m_inForce = -1;
    bool m_changed = false;
};

} // namespace talvek
