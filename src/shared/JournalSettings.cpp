#include "shared/JournalSettings.h"

#include "base/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace talvek {

JournalConfig journalConfigFor(const ProgramFolder& folder)
{
    JournalConfig config;
    config.file = QDir::cleanPath(folder.privateDataDir() + QLatin1Char('/') + QLatin1String(kJournalFolder)
        + QLatin1Char('/') + QLatin1String(kJournalFileName));
    config.formerFile = folder.dataFilePath(QString::fromLatin1(kJournalFileName));
    const QString path = folder.resolve(QString::fromLatin1(kJournalSettingsFile));
    if (!QFileInfo::exists(path))
        return config;
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Journal"));
    config.enabled = settings.value(QStringLiteral("Enabled"), true).toBool();
    bool ok = false;
    const int days = settings.value(QStringLiteral("RetentionDays")).toInt(&ok);
    if (ok && days > 0)
        config.retentionDays = days;
    config.press = settings.value(QStringLiteral("Press")).toString().trimmed();
    config.connection = settings.value(QStringLiteral("Connection")).toString().trimmed();
    return config;
}

void applyJournalOption(JournalConfig& config, const QString& option)
{
    const QString o = option.trimmed();
    if (o.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0) {
        config.enabled = false;
    } else if (o.contains(QLatin1Char('='))) {
        config.enabled = true;
        config.connection = o;
    } else if (!o.isEmpty()) {
        config.enabled = true;
        config.connection.clear();
        config.file = QDir::cleanPath(QFileInfo(o).absoluteFilePath());
        config.formerFile.clear();
    }
}

} // namespace talvek
