#include "link/WriteAheadRecord.h"

#include "base/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace talvek {

namespace {

const QByteArray kHeader = QByteArrayLiteral("TALVEK write-ahead record");
const QByteArray kStore = QByteArrayLiteral("store ");
const QByteArray kPls = QByteArrayLiteral("pls");
const QByteArray kEnd = QByteArrayLiteral("end");

QByteArray encode(const WriteAheadRecord::Entry& entry)
{
    QByteArray text = kHeader + '\n';
    for (const int address : entry.addresses)
        text += kStore + QByteArray::number(address) + '\n';
    if (entry.plsWrite)
        text += kPls + '\n';
    return text + kEnd + '\n';
}

// The folder's own entry for a file renamed into it reaches the disk only
// with the folder synced.
void syncFolder(const QString& folder)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

void addAll(QList<int>& into, const QList<int>& addresses)
{
    for (const int a : addresses)
        if (!into.contains(a & 0xFFFF))
            into.append(a & 0xFFFF);
    std::sort(into.begin(), into.end());
}

} // namespace

void WriteAheadRecord::setPath(const QString& path)
{
    if (path == m_path)
        return;
    m_path = path;
    m_held = {};
    m_kept = {};
    m_onDisk = false;
}

std::optional<WriteAheadRecord::Left> WriteAheadRecord::left() const
{
    if (m_path.isEmpty() || !QFileInfo::exists(m_path))
        return std::nullopt;
    Left left;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        left.unreadable = true;
        return left;
    }
    const QList<QByteArray> lines = file.read(1 << 20).split('\n');
    bool whole = lines.value(0) == kHeader;
    bool ended = false;
    for (qsizetype i = 1; whole && i < lines.size() && !ended; ++i) {
        const QByteArray& line = lines.at(i);
        bool number = false;
        if (line.startsWith(kStore)) {
            const int address = line.mid(kStore.size()).toInt(&number);
            whole = number && address >= 0 && address <= 0xFFFF;
            if (whole)
                addAll(left.entry.addresses, { address });
        } else if (line == kPls) {
            left.entry.plsWrite = true;
        } else {
            ended = line == kEnd;
            whole = ended;
        }
    }
    left.unreadable = !whole || !ended;
    return left;
}

bool WriteAheadRecord::covers(const QList<int>& addresses, bool plsWrite) const
{
    if (plsWrite && !m_held.plsWrite)
        return false;
    return std::all_of(
        addresses.cbegin(), addresses.cend(), [&](int a) { return m_held.addresses.contains(a & 0xFFFF); });
}

Status WriteAheadRecord::cover(const QList<int>& addresses, bool plsWrite)
{
    if (m_path.isEmpty() || (m_onDisk && covers(addresses, plsWrite)))
        return done();
    Entry next = m_held;
    addAll(next.addresses, addresses);
    next.plsWrite = next.plsWrite || plsWrite;
    return store(next);
}

Status WriteAheadRecord::store(const Entry& entry)
{
    const QString folder = QFileInfo(m_path).absolutePath();
    QDir().mkpath(folder);
    if (const std::optional<SafeWriteFailure> failure = safeWrite(m_path, encode(entry)))
        return fail(Cause::BadFile, QStringLiteral("%1: %2").arg(m_path, failure->sentence()));
    syncFolder(folder);
    ++m_writes;
    m_held = entry;
    m_onDisk = true;
    return done();
}

void WriteAheadRecord::keep(const Entry& entry)
{
    // The file on disk holds it already: it was just read from there.
    m_kept = entry;
    m_held = entry;
    m_onDisk = !entry.isEmpty();
}

void WriteAheadRecord::clear()
{
    if (m_path.isEmpty())
        return;
    if (!m_kept.isEmpty()) {
        // When the smaller record cannot be written, the larger one stays:
        // it names no less.
        if (m_held != m_kept)
            (void)store(m_kept).ok();
        return;
    }
    // Not synced (see the class comment).
    if (m_onDisk || QFileInfo::exists(m_path))
        QFile::remove(m_path);
    m_held = {};
    m_onDisk = false;
}

} // namespace talvek
