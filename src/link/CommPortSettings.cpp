#include "link/CommPortSettings.h"

#include "base/BasicError.h"
#include "base/BasicText.h"
#include "base/FieldInput.h"
#include "base/ProgramFolder.h"
#include "base/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

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
        throw BasicError(RuntimeError::kPathFileAccess, kSource,
            QStringLiteral("Path/File access error: cannot create the folder %1").arg(native(dir)));
    }
}

// Replaces a file as a whole: the old file stays untouched unless the new
// content was written completely.
void writeWholeFile(const QString& path, const QByteArray& bytes)
{
    if (const auto failure = safeWrite(path, bytes))
        throwSettingsFileError(failure->error, failure->reason, path, QStringLiteral("write"));
}

// The reader's faults name the link as their source.
const QString kReadSource = QStringLiteral("RSComm");

// Reads a field the way "Input #" fills a 16-bit integer: empty gives 0, a
// number is rounded (ties to even), anything else is a type mismatch.
int integerField(const QString& field)
{
    if (field.trimmed().isEmpty())
        return 0;
    if (!IsNumeric(field))
        throw BasicError(RuntimeError::kTypeMismatch, kReadSource, QStringLiteral("Type mismatch"));
    try {
        return CInt(Val(field));
    } catch (const BasicError&) {
        throw BasicError(RuntimeError::kOverflow, kReadSource, QStringLiteral("Overflow"));
    }
}

// The defaults go where the program keeps what it writes (an empty file
// among the installed, read-only files is not rewritten in place). A program
// that only reads the settings writes nothing.
void writeDefaultSettings(const ProgramFolder& folder)
{
    if (folder.settingsReadOnly())
        return;
    const QString target = folder.writablePath(QLatin1String(kPortSettingsFile));
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile f(target);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || f.write(QByteArrayLiteral("1,9600\r\n")) != 8) {
        throw BasicError(RuntimeError::kPathFileAccess, kReadSource,
            QStringLiteral("Path/File access error: cannot write ") + native(target) + QStringLiteral(" (")
                + f.errorString() + QStringLiteral(")"));
    }
}

} // namespace

QString portLinkFile(int port)
{
    return QStringLiteral("support/ports/COM%1").arg(port);
}

PortSettings parsePortSettings(const QByteArray& contents)
{
    PortSettings s;
    FieldInput in(contents);
    const QString portField = in.next();
    if (in.pastEnd())
        throw BasicError(RuntimeError::kInputPastEnd, kReadSource, QStringLiteral("Input past end of file"));
    const int port = integerField(portField);
    const QString speedField = in.next();
    if (in.pastEnd())
        throw BasicError(RuntimeError::kInputPastEnd, kReadSource, QStringLiteral("Input past end of file"));

    s.port = std::clamp(port, 1, 99);
    // The speed the link accepts is a speed it can open: the canonical text
    // of 9600 or 19200, however the file spells it ("1.92E4", "&H2580").
    const double speed = Val(speedField);
    const int baud = speed == double(kSupportedSpeeds[1]) ? kSupportedSpeeds[1] : kSupportedSpeeds[0];
    s.speed = QString::number(baud);
    return s;
}

PortSettings readPortSettings(const ProgramFolder& folder)
{
    const QString path = folder.resolve(QLatin1String(kPortSettingsFile));
    const QFileInfo info(path);
    if (!info.exists()) {
        writeDefaultSettings(folder);
        return {};
    }
    // A pipe or a device in its place would block the open (and is no
    // settings file).
    if (!info.isFile()) {
        throw BasicError(RuntimeError::kPathFileAccess, kReadSource,
            QStringLiteral("Path/File access error: cannot read ") + native(path)
                + QStringLiteral(" (not a file)"));
    }
    if (info.size() == 0) {
        writeDefaultSettings(folder);
        return {};
    }

    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        throw BasicError(RuntimeError::kPathFileAccess, kReadSource,
            QStringLiteral("Path/File access error: cannot read ") + native(path) + QStringLiteral(" (")
                + f.errorString() + QStringLiteral(")"));
    }
    return parsePortSettings(f.read(kPortSettingsReadLimit));
}

std::optional<PortSettings> loadPortSettings(const ProgramFolder& folder)
{
    const QString path = folder.resolve(QLatin1String(kPortSettingsFile));
    const QFileInfo info(path);
    if (!info.exists() || info.size() == 0)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throwSettingsFileError(file.error(), file.errorString(), path, QStringLiteral("read"));
    return parsePortSettings(file.read(kPortSettingsReadLimit));
}

const QStringList& developmentSystemFolders()
{
    static const QStringList kFolders { QStringLiteral("NVK51"), QStringLiteral("NVK96"),
        QStringLiteral("PLS51") };
    return kFolders;
}

void throwSettingsFileError(
    QFileDevice::FileError error, const QString& errorText, const QString& path, const QString& what)
{
    int number = RuntimeError::kPathFileAccess;
    QString name = QStringLiteral("Path/File access error");
    if (error == QFileDevice::PermissionsError) {
        number = RuntimeError::kPermissionDenied;
        name = QStringLiteral("Permission denied");
    } else if (error == QFileDevice::ResourceError) {
        number = RuntimeError::kDiskFull;
        name = QStringLiteral("Disk full");
    }
    throw BasicError(
        number, kSource, QStringLiteral("%1: cannot %2 %3 (%4)").arg(name, what, native(path), errorText));
}

void saveCommPortSettings(const ProgramFolder& folder, int port, int speed, const QString& pinTarget)
{
    const QString settingsFile = folder.writablePath(QLatin1String(kPortSettingsFile));
    makeFolderFor(settingsFile);

#ifdef Q_OS_UNIX
    if (!pinTarget.isEmpty()) {
        const QString link = folder.writablePath(portLinkFile(port));
        makeFolderFor(link);
        const QFileInfo old(link);
        if ((old.isSymLink() || old.exists()) && !QFile::remove(link)) {
            throw BasicError(RuntimeError::kPathFileAccess, kSource,
                QStringLiteral("Path/File access error: cannot replace %1").arg(native(link)));
        }
        if (!QFile::link(pinTarget, link)) {
            throw BasicError(RuntimeError::kPathFileAccess, kSource,
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
    for (const QString& name : developmentSystemFolders()) {
        if (!QFileInfo(folder.resolve(name)).isDir())
            continue;
        const QString target = folder.writablePath(name + QStringLiteral("/NORVIK.SFG"));
        makeFolderFor(target);
        writeWholeFile(target, norvik);
    }
}

} // namespace talvek
