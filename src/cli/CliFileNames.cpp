#include "cli/CliFileNames.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace talvek {

namespace {

// A byte that is no part of UTF-8 is kept as kEscapedByteBase + the byte.
constexpr char16_t kEscapedByteBase = 0xDC00;

bool isEscapedByte(QChar c)
{
    return c.unicode() >= kEscapedByteBase + 0x80 && c.unicode() <= kEscapedByteBase + 0xFF;
}

// Calls `text` with each run of ordinary text and `byte` with each escaped
// byte of `name`, in order (a surrogate pair is text).
template <typename Text, typename Byte> void walkName(const QString& name, Text text, Byte byte)
{
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (isEscapedByte(c)) {
            text(QStringView(name).sliced(runStart, i - runStart));
            byte(char(c.unicode() - kEscapedByteBase));
            runStart = i + 1;
        }
    }
    text(QStringView(name).sliced(runStart));
}

// The length of the UTF-8 sequence at `p` (at most `left` bytes) and its code
// point, or 0 when it is no well-formed sequence.
int utf8Sequence(const unsigned char* p, qsizetype left, char32_t& point)
{
    const unsigned char b = p[0];
    int length = 0;
    char32_t least = 0;
    if ((b & 0xE0) == 0xC0) {
        length = 2;
        point = b & 0x1F;
        least = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3;
        point = b & 0x0F;
        least = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4;
        point = b & 0x07;
        least = 0x10000;
    }
    if (length == 0 || length > left)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
        point = (point << 6) | (p[k] & 0x3F);
    }
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    return point < least || point > 0x10FFFF || surrogate ? 0 : length;
}

#ifdef Q_OS_UNIX
QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
#endif

} // namespace

QString argumentFromNative(QByteArrayView native)
{
    QString text;
    text.reserve(native.size());
    const auto* p = reinterpret_cast<const unsigned char*>(native.data());
    qsizetype i = 0;
    while (i < native.size()) {
        if (p[i] < 0x80) {
            text += QLatin1Char(char(p[i]));
            ++i;
            continue;
        }
        char32_t point = 0;
        const int length = utf8Sequence(p + i, native.size() - i, point);
        if (length == 0) {
            text += QChar(char16_t(kEscapedByteBase + p[i]));
            ++i;
            continue;
        }
        if (point > 0xFFFF) {
            text += QChar(QChar::highSurrogate(point));
            text += QChar(QChar::lowSurrogate(point));
        } else {
            text += QChar(char16_t(point));
        }
        i += length;
    }
    return text;
}

QByteArray nativeFileName(const QString& name)
{
    QByteArray bytes;
    walkName(
        name, [&bytes](QStringView text) { bytes += text.toUtf8(); }, [&bytes](char byte) { bytes += byte; });
    return bytes;
}

bool qtCanName(const QString& name)
{
    bool can = true;
    walkName(
        name, [](QStringView) {}, [&can](char) { can = false; });
    return can;
}

QString shownFileName(const QString& name)
{
    QString shown;
    walkName(
        name, [&shown](QStringView text) { shown += text; },
        [&shown](char byte) {
            shown += QStringLiteral("\\x")
                + QString::number(quint8(byte), 16).toUpper().rightJustified(2, u'0');
        });
    return shown;
}

std::optional<QString> notARegularFile(const QString& path, bool* missing)
{
    if (missing)
        *missing = false;
    const QString shown = shownFileName(path);
#ifdef Q_OS_UNIX
    struct stat st
    {
    };
    const QByteArray native = nativeFileName(path);
    bool none = ::lstat(native.constData(), &st) != 0;
    if (!none && S_ISLNK(st.st_mode) && ::stat(native.constData(), &st) != 0) {
        if (errno == ELOOP)
            return QStringLiteral("%1: a loop of symbolic links").arg(shown);
        none = true; // a link that leads nowhere
    }
    if (none) {
        if (missing)
            *missing = true;
        return std::nullopt;
    }
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("%1: is a folder").arg(shown);
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("%1: is a FIFO, not a regular file").arg(shown);
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return QStringLiteral("%1: is a device, not a regular file").arg(shown);
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("%1: is not a regular file").arg(shown);
#else
    const QFileInfo info(path);
    if (!info.exists()) {
        if (missing)
            *missing = true;
        return std::nullopt;
    }
    if (info.isDir())
        return QStringLiteral("%1: is a folder").arg(shown);
    if (!info.isFile())
        return QStringLiteral("%1: is not a regular file").arg(shown);
#endif
    return std::nullopt;
}

#ifdef Q_OS_UNIX

std::optional<QByteArray> readNativeFile(const QString& path, qint64 limit, QString* reason)
{
    // Not blocking: whatever the name came to name by now, a FIFO must not
    // hold the run.
    const int fd = ::open(nativeFileName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        *reason = QStringLiteral("The file could not be opened: %1.").arg(systemError(errno));
        return std::nullopt;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *reason = QStringLiteral("It is not a regular file.");
        return std::nullopt;
    }
    QByteArray bytes;
    char piece[64 * 1024];
    while (bytes.size() < limit) {
        const ssize_t n = ::read(fd, piece, size_t(std::min<qint64>(sizeof piece, limit - bytes.size())));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *reason = QStringLiteral("The file could not be read: %1.").arg(systemError(errno));
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.append(piece, n);
    }
    ::close(fd);
    return bytes;
}

namespace {

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool replaceNativeFile(const QString& path, const QByteArray& bytes, QString* reason)
{
    const QByteArray target = nativeFileName(path);
    const qsizetype slash = target.lastIndexOf('/');
    QByteArray temporary = (slash < 0 ? QByteArray() : target.left(slash + 1)) + ".talvek-cli-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        *reason = QStringLiteral("The file could not be created: %1.").arg(systemError(errno));
        return false;
    }
    // The permissions of the file it replaces, or those of a new file.
    struct stat old
    {
    };
    mode_t mode = 0;
    if (::stat(target.constData(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool written = writeAll(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int writeError = errno;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temporary.constData(), target.constData()) != 0) {
        const int error = written ? errno : writeError;
        ::unlink(temporary.constData());
        *reason = QStringLiteral("The file could not be written: %1.").arg(systemError(error));
        return false;
    }
    return true;
}

#else

std::optional<QByteArray> readNativeFile(const QString& path, qint64 limit, QString* reason)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = QStringLiteral("The file could not be opened: %1.").arg(file.errorString());
        return std::nullopt;
    }
    QByteArray bytes = file.read(limit);
    if (file.error() != QFileDevice::NoError) {
        *reason = QStringLiteral("The file could not be read: %1.").arg(file.errorString());
        return std::nullopt;
    }
    return bytes;
}

bool replaceNativeFile(const QString&, const QByteArray&, QString* reason)
{
    *reason = QStringLiteral("The file could not be created: its name is not text.");
    return false;
}

#endif

} // namespace talvek
