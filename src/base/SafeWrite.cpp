#include "base/SafeWrite.h"

#include <QByteArray>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <memory>
#include <vector>

namespace talvek {

QString SafeWriteFailure::sentence() const
{
    return (stage == Stage::Create ? QStringLiteral("The file could not be created: %1.")
                                   : QStringLiteral("The file could not be written: %1."))
        .arg(reason);
}

namespace {

// Opens `file` and writes `bytes` to it in full; on failure the temporary
// file is removed and the old file stays.
std::optional<SafeWriteFailure> writeUncommitted(QSaveFile& file, const QByteArray& bytes)
{
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return SafeWriteFailure { SafeWriteFailure::Stage::Create, file.error(), file.errorString() };
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0 || file.error() != QFileDevice::NoError) {
            // Taken before cancelWriting(), which puts its own error in place.
            SafeWriteFailure failure { SafeWriteFailure::Stage::Write, file.error(),
                file.error() != QFileDevice::NoError ? file.errorString()
                                                     : QStringLiteral("no more data could be written") };
            file.cancelWriting();
            file.commit(); // removes the temporary file; the old file stays
            return failure;
        }
        done += written;
    }
    return std::nullopt;
}

std::function<void(const QString&)>& beforeCommit()
{
    static std::function<void(const QString&)> hook;
    return hook;
}

} // namespace

void setSafeWriteBeforeCommit(std::function<void(const QString& path)> hook)
{
    beforeCommit() = std::move(hook);
}

std::optional<SafeWriteFailure> safeWrite(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (auto failure = writeUncommitted(file, bytes))
        return failure;
    if (beforeCommit())
        beforeCommit()(path);
    if (!file.commit())
        return SafeWriteFailure { SafeWriteFailure::Stage::Write, file.error(), file.errorString() };
    return std::nullopt;
}

std::optional<std::pair<QString, SafeWriteFailure>> safeWriteAll(const QList<SafeWriteItem>& items)
{
    for (const SafeWriteItem& item : items) {
        const QFileInfo info(item.path);
        if (info.exists() && !info.isFile())
            return std::pair { item.path,
                SafeWriteFailure {
                    SafeWriteFailure::Stage::Create, QFileDevice::OpenError, QStringLiteral("not a file") } };
    }
    std::vector<std::unique_ptr<QSaveFile>> files;
    for (const SafeWriteItem& item : items) {
        files.push_back(std::make_unique<QSaveFile>(item.path));
        if (auto failure = writeUncommitted(*files.back(), item.bytes)) {
            // Destroying the uncommitted ones removes their temporary files.
            return std::pair { item.path, *failure };
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (beforeCommit())
            beforeCommit()(items[qsizetype(i)].path);
        if (!files[i]->commit())
            return std::pair { items[qsizetype(i)].path,
                SafeWriteFailure {
                    SafeWriteFailure::Stage::Write, files[i]->error(), files[i]->errorString() } };
    }
    return std::nullopt;
}

} // namespace talvek
