#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace talvek {

ProgramFolder::ProgramFolder()
    : m_root(QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath())
{
}

ProgramFolder::ProgramFolder(const QString& root)
    : m_root(QDir::cleanPath(root))
{
}

QString ProgramFolder::resolve(const QString& relative) const
{
    QString rel = relative;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList parts = rel.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path = m_root;
    for (const QString& part : parts) {
        QString chosen = part;
        const QDir dir(path);
        if (dir.exists() && !QFileInfo::exists(dir.filePath(part))) {
            const QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
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

} // namespace talvek
