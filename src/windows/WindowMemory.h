#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QSettings;
class QWidget;

namespace talvek {

// The per-user memory of the program's windows: where each window stood and
// how big it was, and the folder the set-up files were last kept in. It lives
// in the user's configuration (QSettings), never beside the program.
//
// Installed on the application (installEventFilter) by the program's
// start-up, it looks after every window of the program (the top-level
// windows whose names begin with "frm"): the first time a window is shown its
// remembered geometry comes back, and whenever it is hidden its geometry is
// kept. Whatever was remembered, the window is then fitted to the screen it
// is on (fitToScreen). Without it nothing is remembered.
class WindowMemory final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WindowMemory)

public:
    // The user's own settings of the program.
    explicit WindowMemory(QObject* parent = nullptr);
    // Settings kept elsewhere (a file of its own, for tests).
    explicit WindowMemory(std::unique_ptr<QSettings> settings, QObject* parent = nullptr);
    ~WindowMemory() override;

    // The folder last used for set-up files; empty when none was kept or the
    // folder no longer exists.
    QString lastFolder() const;
    void setLastFolder(const QString& folder);

    // Geometry of one window, by hand (the event filter does it for all).
    void restore(QWidget* window);
    void keep(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace talvek
