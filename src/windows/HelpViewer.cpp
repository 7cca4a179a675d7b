#include "windows/HelpViewer.h"

#include "shared/modUtility.h"
#include "windows/FormUtility.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace talvek {

HelpViewer::HelpViewer(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_browser(new QTextBrowser(this))
    , m_contents(new QPushButton(QStringLiteral("&Contents"), this))
    , m_back(new QPushButton(QStringLiteral("&Back"), this))
    , m_forward(new QPushButton(QStringLiteral("&Forward"), this))
{
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(kAppTitle + QStringLiteral(" Help"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_browser->setObjectName(QStringLiteral("txtHelp"));
    m_browser->setOpenExternalLinks(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_contents);
    buttons->addWidget(m_back);
    buttons->addWidget(m_forward);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);

    m_back->setEnabled(false);
    m_forward->setEnabled(false);
    connect(m_contents, &QPushButton::clicked, m_browser, &QTextBrowser::home);
    connect(m_back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QPushButton::setEnabled);
    resize(760, 640);
}

void HelpViewer::openDocument(const QString& path, const QString& page)
{
    QUrl url = QUrl::fromLocalFile(path);
    if (!page.isEmpty())
        url.setFragment(page);
    m_browser->setSource(url);
    // 760 x 640 where the screen allows; within a small screen otherwise.
    if (!isVisible())
        fitToScreen(this);
    show();
    raise();
    activateWindow();
}

} // namespace talvek
