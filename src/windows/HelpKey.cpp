#include "windows/HelpKey.h"

#include "base/Prompter.h"
#include "windows/frmCompare.h"
#include "windows/frmMDIMain.h"

#include <QApplication>
#include <QHash>
#include <QKeyEvent>

namespace talvek {

namespace {

// The child windows of the Window menu and the page each has.
QString childPage(const QWidget* child)
{
    if (!child)
        return QStringLiteral("windows");
    if (child->objectName() == QLatin1String("frmTiming")) {
        const auto* diagram = child->findChild<QWidget*>(QStringLiteral("diagramPage"));
        return diagram && diagram->isVisible() ? QStringLiteral("diagram") : QStringLiteral("timing");
    }
    static const QHash<QString, QString> kPages { { QStringLiteral("frmMain"), QStringLiteral("main") },
        { QStringLiteral("frmSetup"), QStringLiteral("setup") },
        { QStringLiteral("frm8816DF1"), QStringLiteral("df1") },
        { QStringLiteral("frmData"), QStringLiteral("shift") },
        { QStringLiteral("frmDisplayIO"), QStringLiteral("io") } };
    return kPages.value(child->objectName(), QStringLiteral("windows"));
}

} // namespace

HelpKey::HelpKey(Prompter& prompter, const QString& helpFile, QWidget* main)
    : QObject(main)
    , m_prompter(prompter)
    , m_helpFile(helpFile)
    , m_main(main)
{
    // Before any window sees the key: dialogs that are modal too.
    qApp->installEventFilter(this);
}

HelpKey::~HelpKey()
{
    qApp->removeEventFilter(this);
}

QString HelpKey::pageOf(const QWidget* window)
{
    if (!window)
        return QStringLiteral("contents");
    if (const auto* main = qobject_cast<const frmMDIMain*>(window))
        return childPage(main->currentChild());
    if (const auto* compare = qobject_cast<const frmCompare*>(window))
        return compare->againstController() ? QStringLiteral("compare") : QStringLiteral("compare-files");
    static const QHash<QString, QString> kPages { { QStringLiteral("frmAlarmHistory"),
                                                      QStringLiteral("alarm-history") },
        { QStringLiteral("frmChangeLog"), QStringLiteral("change-log") },
        { QStringLiteral("frmTrends"), QStringLiteral("trends") },
        { QStringLiteral("frmSetupComm"), QStringLiteral("connect") },
        { QStringLiteral("frmTargetBoard"), QStringLiteral("program") },
        { QStringLiteral("frmDownloadProg"), QStringLiteral("program") },
        { QStringLiteral("frmSystemInfo"), QStringLiteral("trouble") },
        { QStringLiteral("frmLinkMonitor"), QStringLiteral("trouble") } };
    return kPages.value(window->objectName(), QStringLiteral("contents"));
}

QString HelpKey::helpFor(const QWidget* window) const
{
    return m_helpFile + QLatin1Char('#') + pageOf(window);
}

bool HelpKey::isOurs(const QWidget* window) const
{
    for (const QWidget* w = window; w; w = w->parentWidget()) {
        if (w == m_main)
            return true;
    }
    return false;
}

bool HelpKey::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier)
        return false;
    const QWidget* window = static_cast<QWidget*>(watched)->window();
    if (!m_main || !isOurs(window))
        return false;
    m_prompter.showHelp(helpFor(window));
    return true;
}

} // namespace talvek
