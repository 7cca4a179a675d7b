#include "windows/WindowMemory.h"

#include "windows/FormUtility.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QSettings>
#include <QWidget>

namespace talvek {

namespace {

const char* const kRestoredProperty = "talvekGeometryRestored";
const QString kLastFolderKey = QStringLiteral("Files/lastFolder");

QString geometryKey(const QWidget* window)
{
    return QStringLiteral("Geometry/") + window->objectName();
}

bool remembered(const QObject* object)
{
    const auto* widget = qobject_cast<const QWidget*>(object);
    return widget && widget->isWindow() && widget->objectName().startsWith(QLatin1String("frm"));
}

} // namespace

WindowMemory::WindowMemory(QObject* parent)
    : WindowMemory(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                       QStringLiteral("TALVEK"), QStringLiteral("talvek")),
        parent)
{ }

WindowMemory::WindowMemory(std::unique_ptr<QSettings> settings, QObject* parent)
    : QObject(parent)
    , m_settings(std::move(settings))
{ }

WindowMemory::~WindowMemory()
{
    m_settings->sync();
}

QString WindowMemory::lastFolder() const
{
    const QString folder = m_settings->value(kLastFolderKey).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return QString();
    return folder;
}

void WindowMemory::setLastFolder(const QString& folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    m_settings->setValue(kLastFolderKey, QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
}

void WindowMemory::restore(QWidget* window)
{
    const QByteArray geometry = m_settings->value(geometryKey(window)).toByteArray();
    if (!geometry.isEmpty())
        window->restoreGeometry(geometry);
    // What was remembered may be from a bigger screen.
    fitToScreen(window);
}

void WindowMemory::keep(QWidget* window)
{
    m_settings->setValue(geometryKey(window), window->saveGeometry());
}

bool WindowMemory::eventFilter(QObject* watched, QEvent* event)
{
    if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) && remembered(watched)) {
        auto* window = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && !window->property(kRestoredProperty).toBool()) {
            window->setProperty(kRestoredProperty, true);
            restore(window);
        } else if (event->type() == QEvent::Hide && window->property(kRestoredProperty).toBool()) {
            keep(window);
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace talvek
