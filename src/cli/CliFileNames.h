#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace talvek {

// File names on the command line. On Unix a name is bytes, and it need not
// be UTF-8 (an old Latin-1 name, "out-\xe9.sdt"); Qt takes names as UTF-8
// text and puts U+FFFD for such a byte, so the file opened would be another.
// An argument is therefore decoded so that it can be encoded back: each byte
// that is no part of UTF-8 becomes U+DC80..U+DCFF (a lone low surrogate,
// which no UTF-8 text decodes to), and the name goes to the file system as
// the very bytes it came as.

// One argument as the program received it.
QString argumentFromNative(QByteArrayView native);

// The bytes of a file name for the file system (for a name of UTF-8 text,
// QFile::encodeName's).
QByteArray nativeFileName(const QString& name);

// Whether Qt's file classes can name the file (every byte was UTF-8).
bool qtCanName(const QString& name);

// The name as a message shows it: a byte that is no part of UTF-8 as \xE9.
QString shownFileName(const QString& name);

// What kind of thing other than a regular file `path` names ("is a folder",
// "is a FIFO, not a regular file", ...), or nothing for a regular file or a
// name that leads to nothing (`missing` tells which).
std::optional<QString> notARegularFile(const QString& path, bool* missing = nullptr);

// Reads at most `limit` bytes of the regular file `path` (by its bytes); the
// reason on failure.
std::optional<QByteArray> readNativeFile(const QString& path, qint64 limit, QString* reason);

// Replaces the file `path` (by its bytes) with `bytes` as a whole: written
// beside it under another name, then renamed over it; the reason on failure,
// and then the old file is as it was.
bool replaceNativeFile(const QString& path, const QByteArray& bytes, QString* reason);

} // namespace talvek
