#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace talvek {

class Prompter;

// F1 anywhere in the program's windows: the help document at the page of the
// window that has the focus (its contents for a window without a page of its
// own). One for the main window and every window it opens.
class HelpKey final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpKey)

public:
    // main: the main window; helpFile: the help document's path.
    HelpKey(Prompter& prompter, const QString& helpFile, QWidget* main);
    ~HelpKey() override;

    // The page of the help (an anchor of the document) for a window: the
    // main window's is the page of the child window it shows.
    static QString pageOf(const QWidget* window);
    // The help document at a window's page: "<helpFile>#<page>".
    QString helpFor(const QWidget* window) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isOurs(const QWidget* window) const;

    Prompter& m_prompter;
    QString m_helpFile;
    QPointer<QWidget> m_main;
};

} // namespace talvek
