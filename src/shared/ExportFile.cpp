#include "shared/ExportFile.h"

#include "base/SafeWrite.h"

namespace talvek {

Export exportToFile(Prompter& prompter, const FileDialogRequest& request, const QByteArray& bytes)
{
    const std::optional<QString> path = prompter.saveFileName(request);
    if (!path || path->isEmpty())
        return { QString(), fail(Cause::Cancelled) };
    if (const std::optional<SafeWriteFailure> failure = safeWrite(*path, bytes))
        return { *path, fail(Cause::BadFile, failure->sentence()) };
    return { *path, done() };
}

QString exportFailureText(const Export& e)
{
    if (e.written || e.written.cause() != Cause::BadFile)
        return QString();
    return QStringLiteral("The file could not be written:\r\n") + e.path;
}

} // namespace talvek
