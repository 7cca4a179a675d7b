#pragma once

#include <QWidget>

class QPushButton;
class QTextBrowser;

namespace talvek {

// The help viewer: an HTML help document in its own window, with contents,
// back and forward. One viewer is reused for every help request.
class HelpViewer final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpViewer)

public:
    explicit HelpViewer(QWidget* parent = nullptr);

    // Shows the document at its start (its contents), or at the page (an
    // anchor of it) given, and brings the window up.
    void openDocument(const QString& path, const QString& page = QString());

    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
    QPushButton* m_contents;
    QPushButton* m_back;
    QPushButton* m_forward;
};

} // namespace talvek
