#pragma once

#include "base/Outcome.h"

#include <QString>
#include <QStringList>

class QSqlDatabase;
class QSqlError;

namespace talvek {

// The SQLite journal file as the file system holds it: which file a path
// names now, whether another program has it open, and moving it (with its
// -wal) without ever replacing a file that is there.

// Which file a path names: its device and inode; `exists` false when none.
struct FileIdentity
{
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity fileIdentity(const QString& path);

// What PRAGMA quick_check found, on one line ("Page 3: btreeInitPage()
// returns error code 11 and 2 more").
QString damageText(const QStringList& problems);

// SQLite's "database disk image is malformed" or "file is not a database".
bool isDamageError(const QSqlError& e);

// Whether the file starts with SQLite's header ("SQLite format 3").
bool holdsSqliteHeader(const QString& path);

// Whether a program holds a SQLite lock on the database or its -shm (every
// connection in WAL mode holds one on the -shm while it is open). The caller
// must not have the file open itself: closing the descriptor this opens
// drops every lock of the process on the file.
bool sqliteFileInUse(const QString& path);

// Moves `from` and its -wal to `to` (and `to`-wal); the -shm is left to be
// made again and removed. Fails, moving nothing more, when `to` exists.
Status moveSqliteFile(const QString& from, const QString& to);

// The connection closes without writing its WAL into the database (a
// database changed under it, or damaged); false when the driver has no
// SQLite handle.
bool closeWithoutCheckpoint(QSqlDatabase& db);

} // namespace talvek
