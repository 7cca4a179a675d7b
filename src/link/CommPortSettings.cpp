#include "CommPortSettings.h"

#include "BasicError.h"
#include "ProgramFolder.h"
#include "SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace talvek {

namespace {

const QString kSource = QStringLiteral("SetupComm");

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

void makeFolderFor(const QString& file)
{
    const QString dir = QFileInfo(file).absolutePath();
    if (!QFileInfo(dir).isDir() && !QDir().mkpath(dir)) {
        throw BasicError(RuntimeError::PathFileAccess, kSource,
            QStringLiteral("Path/File access error: cannot create the folder %1").arg(native(dir)));
    }
}

// Replaces a file as a whole: the old file stays untouched unless the new
// content was written completely.
void writeWholeFile(const QString& path, const QByteArray& bytes)
{
    if (const auto failure = SafeWrite(path, bytes))
        ThrowSettingsFileError(failure->error, failure->reason, path, QStringLiteral("write"));
}

} // namespace

const QStringList& DevelopmentSystemFolders()
{
    static const QStringList folders { QStringLiteral("NVK51"), QStringLiteral("NVK96"),
        QStringLiteral("PLS51") };
    return folders;
}

void ThrowSettingsFileError(
    QFileDevice::FileError error, const QString& errorText, const QString& path, const QString& what)
{
    int number = RuntimeError::PathFileAccess;
    QString name = QStringLiteral("Path/File access error");
    if (error == QFileDevice::PermissionsError) {
        number = RuntimeError::PermissionDenied;
        name = QStringLiteral("Permission denied");
    } else if (error == QFileDevice::ResourceError) {
        number = RuntimeError::DiskFull;
        name = QStringLiteral("Disk full");
    }
    throw BasicError(
        number, kSource, QStringLiteral("%1: cannot %2 %3 (%4)").arg(name, what, native(path), errorText));
}

void SaveCommPortSettings(const ProgramFolder& folder, int port, int speed, const QString& pinTarget)
{
    const QString settingsFile = folder.writablePath(QStringLiteral("support/RSPort.cfg"));
    makeFolderFor(settingsFile);

#ifdef Q_OS_UNIX
    if (!pinTarget.isEmpty()) {
        const QString link = folder.writablePath(QStringLiteral("support/ports/COM%1").arg(port));
        makeFolderFor(link);
        const QFileInfo old(link);
        if ((old.isSymLink() || old.exists()) && !QFile::remove(link)) {
            throw BasicError(RuntimeError::PathFileAccess, kSource,
                QStringLiteral("Path/File access error: cannot replace %1").arg(native(link)));
        }
        if (!QFile::link(pinTarget, link)) {
            throw BasicError(RuntimeError::PathFileAccess, kSource,
                QStringLiteral("Path/File access error: cannot link %1 to %2").arg(native(link), pinTarget));
        }
    }
#else
    Q_UNUSED(pinTarget);
#endif

    // "3, 19200 ": the speed printed as a number, a blank before and after.
    writeWholeFile(settingsFile, QByteArray::number(port) + ", " + QByteArray::number(speed) + " \r\n");

    // The development system numbers its ports from 0. An installed copy keeps
    // its own copy of the folders per user.
    const QByteArray norvik = QByteArray::number(port - 1) + "\r\n";
    for (const QString& name : DevelopmentSystemFolders()) {
        if (!QFileInfo(folder.resolve(name)).isDir())
            continue;
        const QString target = folder.writablePath(name + QStringLiteral("/NORVIK.SFG"));
        makeFolderFor(target);
        writeWholeFile(target, norvik);
    }
}

} // namespace talvek
