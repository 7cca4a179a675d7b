#include "link/UsbLatencyTimer.h"

#include <QFile>
#include <QFileInfo>

namespace talvek {

UsbLatencyTimer::UsbLatencyTimer(QString sysfsRoot)
    : m_sysfsRoot(std::move(sysfsRoot))
{ }

bool UsbLatencyTimer::attach(unsigned major, unsigned minor)
{
    release();
    const QString path
        = QStringLiteral("%1/dev/char/%2:%3/device/latency_timer").arg(m_sysfsRoot).arg(major).arg(minor);
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return false;
    m_path = path;
    return true;
}

int UsbLatencyTimer::parse(const QByteArray& text)
{
    bool ok = false;
    const int ms = text.trimmed().toInt(&ok, 10);
    // The chips count the timer in one byte of milliseconds.
    return ok && ms >= 0 && ms <= 255 ? ms : -1;
}

int UsbLatencyTimer::read() const
{
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return parse(f.read(16));
}

bool UsbLatencyTimer::write(int ms) const
{
    // A sysfs attribute takes its value in one write; nothing is created or
    // truncated (ExistingOnly), so a wrong path is never turned into a file.
    QFile f(m_path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::ExistingOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray text = QByteArray::number(ms) + '\n';
    return f.write(text) == text.size();
}

int UsbLatencyTimer::lower(int ms)
{
    m_inForce = -1;
    if (!attached())
        return -1;
    if (!m_changed)
        m_found = read();
    if (m_found > ms && write(ms))
        m_changed = true;
    // What the driver took, not what was asked: an attribute that could not
    // be written keeps its value, and a driver may bound what it accepts.
    m_inForce = read();
    return m_inForce;
}

void UsbLatencyTimer::release()
{
    if (m_changed && m_found >= 0)
        write(m_found);
    m_path.clear();
    m_found = -1;
    m_inForce = -1;
    m_changed = false;
}

} // namespace talvek
