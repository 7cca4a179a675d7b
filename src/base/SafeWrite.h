#pragma once

#include <QFileDevice>
#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

class QByteArray;

namespace talvek {

// Why a file could not be replaced.
struct SafeWriteFailure
{
    enum class Stage
    {
        Create, // the new file could not be opened for writing
        Write, // writing or putting it in place failed
    };

    Stage stage = Stage::Create;
    // The file's error; NoError when a write stopped short without one.
    QFileDevice::FileError error = QFileDevice::NoError;
    // The file's error text, or "no more data could be written".
    QString reason;

    // "The file could not be created: <reason>." or
    // "The file could not be written: <reason>."
    QString sentence() const;
};

// Replaces the file at `path` with `bytes` as a whole, through QSaveFile: the
// old file stays untouched (and no temporary file is left) unless the new
// content was written completely. The file is written unbuffered and every
// write is checked: a buffered QSaveFile flushes inside commit() and, in Qt
// 6.4, does not notice when that flush fails, so it could put a cut-off file
// in place of the old one.
// Returns nothing on success.
std::optional<SafeWriteFailure> safeWrite(const QString& path, const QByteArray& bytes);

// Replaces several files that belong together, each as safeWrite does, and
// none of them unless all new contents were written: every new file is
// written in full beside its target before the first one is put in place,
// and a target that is a folder or anything else but a file is refused
// before then. Only putting the files in place (a rename each) can still
// fail between them. The failure names the path it concerns.
struct SafeWriteItem
{
    QString path;
    QByteArray bytes;
};
std::optional<std::pair<QString, SafeWriteFailure>> safeWriteAll(const QList<SafeWriteItem>& items);

// Called with the target path after the new content is written and before it
// is put in place; none by default. Tests use it to make putting it in place
// fail (what a full disk or a vanished folder does), which nothing else can
// reach from outside.
void setSafeWriteBeforeCommit(std::function<void(const QString& path)> hook);

} // namespace talvek
