#include "SafeWrite.h"

#include <QByteArray>
#include <QSaveFile>

namespace talvek {

QString SafeWriteFailure::sentence() const
{
    return (stage == Stage::Create ? QStringLiteral("The file could not be created: %1.")
                                   : QStringLiteral("The file could not be written: %1."))
        .arg(reason);
}

std::optional<SafeWriteFailure> SafeWrite(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
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
    if (!file.commit())
        return SafeWriteFailure { SafeWriteFailure::Stage::Write, file.error(), file.errorString() };
    return std::nullopt;
}

} // namespace talvek
