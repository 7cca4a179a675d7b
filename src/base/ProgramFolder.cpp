#include "base/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace talvek {

ProgramFolder::ProgramFolder()
    : ProgramFolder(
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath())
{
    if (holdsPortableCopy(m_root))
        return;

    // Installed: bin/ beside share/talvek/ (any prefix), then the system's
    // data folders; a read-only copy of the files beside the program counts too.
    QStringList data;
    const auto addData = [&data](const QString& dir) {
        const QString clean = QDir::cleanPath(dir);
        if (QFileInfo(clean).isDir() && !data.contains(clean))
            data.append(clean);
    };
    if (QFileInfo(resolveUnder(m_root, QStringLiteral("support"))).isDir())
        addData(m_root);
    addData(m_root + QStringLiteral("/../share/talvek"));
    const QStringList shared = QStandardPaths::locateAll(
        QStandardPaths::GenericDataLocation, QStringLiteral("talvek"), QStandardPaths::LocateDirectory);
    for (const QString& dir : shared)
        addData(dir);

    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QFileInfo(documents).isDir())
        documents = QDir::homePath();
    *this = installed(m_root, data, userConfigDir(), documents);
}

ProgramFolder::ProgramFolder(const QString& root)
    : m_root(QDir::cleanPath(root))
    , m_configDir(m_root)
    , m_dataDirs { m_root }
    , m_documentsDir(m_root)
{
}

ProgramFolder ProgramFolder::installed(
    const QString& root, const QStringList& dataDirs, const QString& configDir, const QString& documentsDir)
{
    ProgramFolder folder(root);
    folder.m_portable = false;
    folder.m_configDir = QDir::cleanPath(configDir);
    folder.m_dataDirs.clear();
    for (const QString& dir : dataDirs)
        folder.m_dataDirs.append(QDir::cleanPath(dir));
    folder.m_documentsDir = QDir::cleanPath(documentsDir);
    return folder;
}

bool ProgramFolder::holdsPortableCopy(const QString& dir)
{
    const QFileInfo info(dir);
    return info.isDir() && info.isWritable()
        && QFileInfo(resolveUnder(dir, QStringLiteral("support"))).isDir();
}

QString ProgramFolder::resolveUnder(const QString& base, const QString& relative)
{
    QString rel = relative;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList parts = rel.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path = base;
    for (const QString& part : parts) {
        QString chosen = part;
        const QDir dir(path);
        if (dir.exists() && !QFileInfo::exists(dir.filePath(part))) {
            const QStringList entries
                = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
            for (const QString& e : entries) {
                if (e.compare(part, Qt::CaseInsensitive) == 0) {
                    chosen = e;
                    break;
                }
            }
        }
        path = dir.filePath(chosen);
    }
    return QDir::cleanPath(path);
}

QString ProgramFolder::resolve(const QString& relative) const
{
    const QString own = resolveUnder(m_configDir, relative);
    if (m_portable)
        return own;
    // A dangling link (a pinned adapter that is unplugged) still counts as there.
    const auto present = [](const QString& path) {
        const QFileInfo info(path);
        return info.exists() || info.isSymLink();
    };
    if (present(own))
        return own;
    for (const QString& dir : m_dataDirs) {
        const QString candidate = resolveUnder(dir, relative);
        if (present(candidate))
            return candidate;
    }
    return own;
}

QString ProgramFolder::writablePath(const QString& relative) const
{
    return resolveUnder(m_configDir, relative);
}

ProgramFolder ProgramFolder::withSettingsIn(const QString& dir) const
{
    ProgramFolder folder = *this;
    folder.m_portable = false;
    folder.m_configDir = QDir::cleanPath(QDir(dir).absolutePath());
    // The data folders stay: a portable copy lists its own folder there.
    return folder;
}

QString ProgramFolder::udevRule(const QString& name) const
{
    QStringList roots { m_root };
    if (QCoreApplication::instance())
        roots << QDir::cleanPath(QCoreApplication::applicationDirPath());
    for (const QString& root : roots) {
        for (const QString& place : { resolveUnder(root, QStringLiteral("udev/") + name),
                 QDir::cleanPath(root + QStringLiteral("/../lib/udev/rules.d/") + name) }) {
            if (QFileInfo(place).isFile())
                return place;
        }
    }
    return {};
}

QString ProgramFolder::userConfigDir()
{
    // Not AppConfigLocation: that follows the application name, and
    // talvek-cli would keep settings of its own.
    return QDir::cleanPath(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/TALVEK"));
}

QString ProgramFolder::userDataDir()
{
    return QDir::cleanPath(
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/TALVEK"));
}

QString ProgramFolder::dataFilePath(const QString& name) const
{
    return QDir::cleanPath((m_portable ? m_root : userDataDir()) + QLatin1Char('/') + name);
}

QString ProgramFolder::privateDataDir() const
{
    return m_portable ? QDir::cleanPath(m_root + QStringLiteral("/.talvek")) : userDataDir();
}

} // namespace talvek
