#pragma once

#include <QFileDevice>
#include <QString>
#include <optional>

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
std::optional<SafeWriteFailure> SafeWrite(const QString& path, const QByteArray& bytes);

} // namespace talvek
