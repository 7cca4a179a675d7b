#include "link/ProgramFiles.h"

#include "base/BasicError.h"
#include "base/FieldInput.h"
#include "base/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace talvek {

namespace {

const QString kSource = QStringLiteral("RSComm");

BasicError fileNotFound(const QString& path)
{
    return BasicError(RuntimeError::kFileNotFound, kSource,
        QStringLiteral("File not found: ") + QDir::toNativeSeparators(path));
}

BasicError accessError(const QString& what, const QString& path, const QString& why)
{
    return BasicError(RuntimeError::kPathFileAccess, kSource,
        QStringLiteral("Path/File access error: cannot ") + what + QLatin1Char(' ')
            + QDir::toNativeSeparators(path) + QStringLiteral(" (") + why + QLatin1Char(')'));
}

// Opens a plain file for reading. A folder, a pipe or a device of that name
// is refused before it is opened (a pipe would block the open).
void openForReading(QFile& file)
{
    const QFileInfo info(file.fileName());
    if (!info.exists())
        throw fileNotFound(file.fileName());
    if (!info.isFile())
        throw accessError(QStringLiteral("read"), file.fileName(), QStringLiteral("not a file"));
    if (!file.open(QIODevice::ReadOnly))
        throw accessError(QStringLiteral("read"), file.fileName(), file.errorString());
}

// Base & ext, or the existing file whose name differs from it only in case.
QString memberPath(const QString& base, const QString& ext)
{
    const QString path = base + ext;
    const QFileInfo info(path);
    if (info.exists())
        return path;
    const QString name = info.fileName();
    const QDir dir = info.dir();
    if (name.isEmpty() || !dir.exists())
        return path;
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return path.chopped(name.size()) + entry;
    }
    return path;
}

} // namespace

ProgramSetPaths deriveProgramSet(const QString& p)
{
    const QString base = p.size() > 3 ? p.chopped(3) : QString();
    return { memberPath(base, QStringLiteral("nvk")), memberPath(base, QStringLiteral("rev")),
        memberPath(base, QStringLiteral("hex")), memberPath(base, QStringLiteral("lcf")) };
}

QString programBaseName(const QString& p)
{
    return QFileInfo(QDir::fromNativeSeparators(p)).completeBaseName();
}

std::optional<QString> readFirstField(const QString& path)
{
    QFile file(path);
    openForReading(file);
    const QByteArray data = file.read(kMaxFirstFieldBytes);
    if (file.error() != QFileDevice::NoError)
        throw accessError(QStringLiteral("read"), path, file.errorString());
    file.close();
    if (data.isEmpty())
        return std::nullopt;
    FieldInput input(data);
    const QString field = input.next();
    if (input.pastEnd())
        throw BasicError(RuntimeError::kInputPastEnd, kSource, QStringLiteral("Input past end of file"));
    return field;
}

std::optional<QByteArray> readWholeFile(const QString& path, qint64 maxBytes)
{
    QFile file(path);
    openForReading(file);
    if (file.size() > maxBytes)
        return std::nullopt;
    const QByteArray data = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw accessError(QStringLiteral("read"), path, file.errorString());
    if (data.size() > maxBytes)
        return std::nullopt; // grew while we read it
    return data;
}

void saveFileSet(const QList<std::pair<QString, QByteArray>>& files)
{
    QList<SafeWriteItem> items;
    for (const auto& [path, bytes] : files)
        items.append({ path, bytes });
    if (const auto failure = safeWriteAll(items))
        throw accessError(QStringLiteral("write"), failure->first, failure->second.reason);
}

} // namespace talvek
