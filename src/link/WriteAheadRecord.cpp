#include "link/WriteAheadRecord.h"

#include "base/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace talvek {

QString WriteAheadRecord::fileNameFor(const QString& device)
{
    const QString canonical = QFileInfo(device).canonicalFilePath();
    QString name = canonical.isEmpty() ? device : canonical;
    for (QChar& c : name) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            || c == QLatin1Char('.') || c == QLatin1Char('-');
        if (!plain)
            c = QLatin1Char('_');
    }
    while (name.startsWith(QLatin1Char('_')))
        name.remove(0, 1);
    return name.isEmpty() ? QStringLiteral("port") : name;
}

namespace {

const QByteArray kHeader = QByteArrayLiteral("TALVEK write-ahead record");
const QByteArray kStore = QByteArrayLiteral("store ");
const QByteArray kPls = QByteArrayLiteral("pls");
const QByteArray kEnd = QByteArrayLiteral("end");
// The record is one block of this size, padded with empty lines after its
// "end" line (a record that does not fit is written whole, as a new file).
constexpr qsizetype kBlock = 512;

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
    closeFile();
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
    if (!left.unreadable && left.entry.isEmpty())
        return std::nullopt; // cleared
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
    const QByteArray text = encode(entry);
    Status stored = text.size() <= kBlock ? storeInPlace(text.leftJustified(kBlock, '\n')) : storeWhole(text);
    if (!stored)
        return stored;
    ++m_writes;
    m_held = entry;
    m_onDisk = true;
    return done();
}

Status WriteAheadRecord::storeWhole(const QByteArray& text)
{
    closeFile();
    const QString folder = QFileInfo(m_path).absolutePath();
    QDir().mkpath(folder);
    if (const std::optional<SafeWriteFailure> failure = safeWrite(m_path, text))
        return fail(Cause::BadFile, QStringLiteral("%1: %2").arg(m_path, failure->sentence()));
    syncFolder(folder);
    return done();
}

Status WriteAheadRecord::storeInPlace(const QByteArray& block)
{
#ifdef Q_OS_UNIX
    if (m_fd < 0) {
        const QString folder = QFileInfo(m_path).absolutePath();
        QDir().mkpath(folder);
        const bool existed = QFileInfo::exists(m_path);
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0)
            return fail(Cause::BadFile, QStringLiteral("%1: %2").arg(m_path, QString::fromLocal8Bit(::strerror(errno))));
        // The file's entry in its folder is on disk before anything relies
        // on the file.
        if (!existed)
            syncFolder(folder);
    }
    // One block, overwritten where it stands: one data sync, no rename. A
    // block the disk tore is not whole (its "end" line is missing) and is
    // read as a record that cannot tell where the board stored.
    if (::pwrite(m_fd, block.constData(), size_t(block.size()), 0) != block.size() || ::fdatasync(m_fd) != 0) {
        const QString reason = QString::fromLocal8Bit(::strerror(errno));
        closeFile();
        return fail(Cause::BadFile, QStringLiteral("%1: %2").arg(m_path, reason));
    }
    return done();
#else
    return storeWhole(block);
#endif
}

void WriteAheadRecord::closeFile()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
#endif
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
    // Not synced (see the class comment): the empty record written over the
    // block, or the file removed when this link has not opened it.
#ifdef Q_OS_UNIX
    if (m_fd >= 0) {
        if (m_onDisk) {
            const QByteArray empty = encode({}).leftJustified(kBlock, '\n');
            if (::pwrite(m_fd, empty.constData(), size_t(empty.size()), 0) != empty.size())
                closeFile();
        }
        m_held = {};
        m_onDisk = false;
        if (m_fd >= 0)
            return;
    }
#endif
    // A file this link has not opened holds another run's record unless
    // this link wrote it whole: it is left for whoever reads it back.
    if (m_onDisk && QFileInfo::exists(m_path))
        QFile::remove(m_path);
    m_held = {};
    m_onDisk = false;
}

void WriteAheadRecord::discard()
{
    closeFile();
    if (!m_path.isEmpty() && QFileInfo::exists(m_path))
        QFile::remove(m_path);
    m_held = {};
    m_kept = {};
    m_onDisk = false;
}

void WriteAheadRecord::release()
{
    // Only the file this link holds open and has emptied goes: a record an
    // earlier run left, not read back, stays.
    const bool ownEmpty = m_fd >= 0 && m_held.isEmpty() && m_kept.isEmpty();
    closeFile();
    if (ownEmpty && QFileInfo::exists(m_path))
        QFile::remove(m_path);
}

WriteAheadRecord::~WriteAheadRecord()
{
    closeFile();
}

} // namespace talvek
