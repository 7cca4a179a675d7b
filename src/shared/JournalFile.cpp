#include "shared/JournalFile.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talvek {

namespace {

// SQLite's lock bytes in the database (pending, reserved, the shared range)
// and in the -shm (the eight WAL locks and the "a connection is open" byte).
constexpr off_t kDbLockStart = 0x40000000;
constexpr off_t kDbLockLength = 512;
constexpr off_t kShmLockStart = 120;
constexpr off_t kShmLockLength = 9;

bool lockedByAnother(const QString& path, off_t start, off_t length)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock lock
    {
    };
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    const bool held = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

// Links `from` to `to` (refused when `to` exists), then removes `from`.
Status moveNoReplace(const QString& from, const QString& to)
{
    const QByteArray a = QFile::encodeName(from);
    const QByteArray b = QFile::encodeName(to);
    if (::link(a.constData(), b.constData()) != 0)
        return fail(Cause::BadFile, to + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
    if (::unlink(a.constData()) != 0) {
        const int error = errno;
        ::unlink(b.constData());
        return fail(
            Cause::BadFile, from + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
    }
    return done();
}

// SQLite's primary result codes for a damaged file, under any extended one.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

} // namespace

QString damageText(const QStringList& problems)
{
    // "*** in database main ***\nPage 3: btreeInitPage() returns error code 11"
    // as one line, without the heading.
    QStringList lines;
    for (const QString& line : problems.value(0).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.trimmed().startsWith(QLatin1String("***")))
            lines << line.trimmed();
    }
    QString text
        = lines.isEmpty() ? QStringLiteral("the check found it damaged") : lines.join(QStringLiteral("; "));
    if (problems.size() > 1)
        text += QStringLiteral(" and %1 more").arg(problems.size() - 1);
    return text;
}

bool isDamageError(const QSqlError& e)
{
    bool ok = false;
    const int code = e.nativeErrorCode().toInt(&ok) & 0xff;
    return ok && (code == kSqliteCorrupt || code == kSqliteNotADatabase);
}

FileIdentity fileIdentity(const QString& path)
{
    struct stat st
    {
    };
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &st) != 0)
        return {};
    return FileIdentity { true, quint64(st.st_dev), quint64(st.st_ino) };
}

bool holdsSqliteHeader(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.read(16) == QByteArray("SQLite format 3", 16);
}

bool sqliteFileInUse(const QString& path)
{
    return lockedByAnother(path, kDbLockStart, kDbLockLength)
        || lockedByAnother(path + QStringLiteral("-shm"), kShmLockStart, kShmLockLength);
}

Status moveSqliteFile(const QString& from, const QString& to)
{
    if (fileIdentity(to).exists)
        return fail(Cause::BadFile, to + QStringLiteral(" exists"));
    // The -wal first: a move cut short leaves the database where it was,
    // and the next move takes it to its -wal.
    const QString wal = from + QStringLiteral("-wal");
    if (fileIdentity(wal).exists) {
        if (Status moved = moveNoReplace(wal, to + QStringLiteral("-wal")); !moved)
            return moved;
    }
    if (Status db = moveNoReplace(from, to); !db)
        return db;
    QFile::remove(from + QStringLiteral("-shm"));
    return done();
}

bool closeWithoutCheckpoint(QSqlDatabase& db)
{
    bool set = false;
    if (db.driver()) {
        const QVariant handle = db.driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
            if (sqlite3* h = *static_cast<sqlite3* const*>(handle.data()))
                set = sqlite3_db_config(h, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr) == SQLITE_OK;
        }
    }
    db.close();
    return set;
}

} // namespace talvek

// ---------------------------------------------------------------------------
// The journal's SQLite file: found at its former place, checked when opened,
// watched while open.

#include "shared/Journal.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlQuery>

namespace talvek {

void Journal::adoptFormerFile()
{
    const QString former = m_config.formerFile;
    if (former.isEmpty() || former == m_config.file || !fileIdentity(former).exists
        || fileIdentity(m_config.file).exists)
        return;
    if (sqliteFileInUse(former)) {
        // Moved under the program that has it open, its rows would go into
        // a file that is no longer there: this run keeps it where it is.
        m_fileNote = QStringLiteral("kept at its former place while another program has it open");
        m_config.file = former;
        return;
    }
    QDir().mkpath(QFileInfo(m_config.file).absolutePath());
    const Status moved = moveSqliteFile(former, m_config.file);
    m_fileNote = moved
        ? QStringLiteral("moved here from ") + former
        : QStringLiteral("the journal at %1 could not be moved here (%2)").arg(former, moved.error().detail);
}

Status Journal::connectChecked()
{
    m_damageSeen = false;
    Status outcome = connectDatabase();
    QString damage;
    if (outcome) {
        QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
        if (!q.exec(QStringLiteral("PRAGMA quick_check"))) {
            outcome = dbFailure(q.lastError());
        } else {
            QStringList problems;
            while (q.next())
                problems << q.value(0).toString();
            if (problems != QStringList { QStringLiteral("ok") })
                damage = damageText(problems);
        }
    }
    if (damage.isEmpty() && m_damageSeen)
        damage = outcome.error().detail;
    if (damage.isEmpty())
        return outcome;
    if (Status aside = setDamagedFileAside(damage, outcome); !aside)
        return aside;
    m_damageSeen = false;
    return connectDatabase();
}

Status Journal::setDamagedFileAside(const QString& why, const Status& connected)
{
    {
        // Its WAL stays as it is, beside it: nothing is written into it.
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        closeWithoutCheckpoint(db);
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    // Looked into only now that no connection of the program holds it (a
    // descriptor closed on it would drop the connection's locks). A file
    // that is no SQLite database at all may be another program's: it is
    // left as it is, and the journal off.
    if (!holdsSqliteHeader(m_config.file))
        return connected ? Status(fail(Cause::BadFile, why)) : connected;
    if (sqliteFileInUse(m_config.file))
        return fail(
            Cause::BadFile, QStringLiteral("the file is damaged (%1) and open in another program").arg(why));
    const QFileInfo info(m_config.file);
    const QString stamp = m_now().toLocalTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    const QString aside = info.dir().filePath(info.completeBaseName() + QStringLiteral("-damaged-") + stamp
        + (info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix()));
    if (Status moved = moveSqliteFile(m_config.file, aside); !moved)
        return fail(Cause::BadFile,
            QStringLiteral("the file is damaged (%1) and cannot be set aside: %2")
                .arg(why, moved.error().detail));
    m_fileNote
        = QStringLiteral("the journal file was damaged (%1); it was kept as %2 and a new journal begun")
              .arg(why, aside);
    if (m_onFailure)
        m_onFailure(QStringLiteral("Press journal damaged (%1): kept as %2, a new journal begun.")
                        .arg(why, QFileInfo(aside).fileName()));
    return done();
}

void Journal::rememberFile()
{
    m_fileOpened = fileIdentity(m_config.file);
    m_walOpened = fileIdentity(m_config.file + QStringLiteral("-wal"));
}

QString Journal::fileChange() const
{
    const QString name = QFileInfo(m_config.file).fileName();
    const FileIdentity now = fileIdentity(m_config.file);
    if (!now.exists)
        return name + QStringLiteral(" was removed");
    if (now != m_fileOpened)
        return name + QStringLiteral(" was replaced");
    if (!m_walOpened.exists)
        return {};
    const FileIdentity wal = fileIdentity(m_config.file + QStringLiteral("-wal"));
    if (!wal.exists)
        return name + QStringLiteral("-wal was removed");
    if (wal != m_walOpened)
        return name + QStringLiteral("-wal was replaced");
    return {};
}

bool Journal::checkFile()
{
    if (isPostgres() || !m_open || m_fileChanged)
        return !m_fileChanged;
    const QString change = fileChange();
    if (change.isEmpty())
        return true;
    m_fileChanged = true;
    failed(QStringLiteral("the journal's file changed under the program"),
        change + QStringLiteral("; rows recorded before may be missing from it"));
    return false;
}

} // namespace talvek
