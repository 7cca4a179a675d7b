#include "shared/modUtility.h"

#include "base/FieldInput.h"
#include "link/RSComm.h"
#include "link/SerialPortControl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>

namespace talvek {

namespace {

constexpr int kDefaultBoardType = 68; // "D"
// The first item of a ".nvk" file is a short code; nothing beyond this is read.
constexpr qint64 kBoardTypeReadLimit = 4096;
constexpr int kDeferredRetryMs = 50;

} // namespace

QString generalDateText(const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(QLatin1Char('s'))) {
        const qsizetype minutes = timeFormat.lastIndexOf(QLatin1Char('m'));
        if (minutes >= 0)
            timeFormat.insert(minutes + 1, QStringLiteral(":ss"));
    }
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')
        + locale.toString(when.time(), timeFormat);
}

QString ChangeExtension(const QString& path, const QString& extension)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QFileInfo info(p);
    return QDir::cleanPath(
        info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QLatin1Char('.') + extension);
}

QString withDefaultExtension(const QString& path, const QString& extension)
{
    const qsizetype slash = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    const QString name = path.mid(slash + 1);
    if (name.isEmpty() || name.contains(QLatin1Char('.')))
        return path;
    return path + QLatin1Char('.') + extension;
}

QString proposedSavePath(const QString& currentPath, const QString& extension)
{
    if (currentPath.isEmpty())
        return QString();
    QString p = currentPath;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QFileInfo info(p);
    const QString folder = info.path();
    const QString base = info.completeBaseName();
    if (base.isEmpty() || base.contains(QLatin1Char('*')) || base.contains(QLatin1Char('?')))
        return folder + QStringLiteral("/*.") + extension;
    return folder + QLatin1Char('/') + base + QLatin1Char('.') + extension;
}

namespace {
// The path as it exists on disk whatever the case of its file name
// (PRESS1.NVK for press1.nvk on a case-sensitive file system), else as given.
QString existingCaseOf(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists())
        return path;
    const QDir dir = info.absoluteDir();
    const QStringList entries = dir.entryList(QDir::Files);
    for (const QString& e : entries)
        if (e.compare(info.fileName(), Qt::CaseInsensitive) == 0)
            return dir.filePath(e);
    return path;
}
} // namespace

int ReadBoardTypeCode(const QString& path)
{
    QFile file(existingCaseOf(ChangeExtension(path, QStringLiteral("nvk"))));
    if (!QFileInfo(file.fileName()).isFile() || file.size() == 0 || !file.open(QIODevice::ReadOnly))
        return kDefaultBoardType;
    FieldInput input(file.read(kBoardTypeReadLimit));
    file.close();
    const QString item = input.next();
    if (item.isEmpty())
        return kDefaultBoardType;
    return item.at(0).unicode();
}

OnlineModeSwitch::OnlineModeSwitch(RSComm& rs, SerialPortControl* port, QObject* parent)
    : QObject(parent)
    , m_rs(rs)
    , m_port(port)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(kDeferredRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &OnlineModeSwitch::ApplyOnlineMode);
}

void OnlineModeSwitch::ApplyOnlineMode()
{
    if (m_rs.isBusy()) {
        // Never open or close the port under a waiting exchange.
        m_retry.start();
        return;
    }
    m_retry.stop();
    if (m_rs.OnlineMode)
        m_rs.OpenRSComm(m_port);
    else
        m_rs.CloseRSComm();
    emit modeShown(m_rs.OnlineMode);
    if (m_rs.OnlineMode && m_port && m_port->isOpen()) {
        const PortLatency latency = m_port->latency();
        if (latency.slow() && !m_slowPortsTold.contains(latency.timerPath)) {
            m_slowPortsTold.insert(latency.timerPath);
            emit slowPort(latency.timerMs);
        }
    }
    if (m_rs.CommError)
        m_rs.OnlineMode = false;
}

void OnlineModeSwitch::setMode(bool online)
{
    // Only the flag changes at once; ApplyOnlineMode waits for a running
    // operation to end before it touches the port.
    m_rs.OnlineMode = online;
    ApplyOnlineMode();
}

void OnlineModeSwitch::toggleMode()
{
    setMode(!m_rs.OnlineMode);
}

std::optional<MsgResult> QuerySaveChanges(Prompter& prompter, bool hasUnsavedChanges)
{
    if (!hasUnsavedChanges)
        return std::nullopt;
    return prompter.msgBox(
        QStringLiteral("Save Changes to File?"), kAppTitle, MsgIcon::Exclamation, MsgButtons::YesNoCancel);
}

} // namespace talvek
