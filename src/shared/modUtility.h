#pragma once

#include "base/Prompter.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <optional>

namespace talvek {

class RSComm;
class SerialPortControl;

// The program's title: message box titles, the about box, the help viewer.
inline const QString kAppTitle = QStringLiteral("TALVEK");

// A date and time as the system writes it in full (its short date, then the
// time with seconds), as gUploadNOW keeps it.
QString generalDateText(const QDateTime& when);

// Returns the absolute form of path with its extension replaced:
// parent folder + "/" + base name + "." + extension ("a/b.hex", "nvk" -> "/abs/a/b.nvk").
QString ChangeExtension(const QString& path, const QString& extension);

// A file name typed into a save dialog, with "." + extension added when
// its last part has no extension of its own ("line3" -> "line3.sdt";
// "line3.old" and "line3." stay as typed).
QString withDefaultExtension(const QString& path, const QString& extension);

// What a save dialog proposes for a file that belongs with the file at
// `currentPath`: its folder and base name with `extension`. A current path
// without a base name ("folder/*.sdt") proposes only its folder
// ("folder/*." + extension); an empty one proposes nothing.
QString proposedSavePath(const QString& currentPath, const QString& extension);

// The board type of the program set that path belongs to: the character code
// of the first character of the first item of its ".nvk" file (found whatever
// the case of its name); 68 ("D") when
// that file is missing, empty or starts with an empty item.
int ReadBoardTypeCode(const QString& path);

// The one ONLINE/OFFLINE switch of the program. RSComm::OnlineMode is the
// mode; ApplyOnlineMode brings the serial session in line with it and tells
// the main window (mode panel and menus) through modeShown().
//
// While a controller operation is in progress (a Retry/Cancel box is up inside
// an exchange) the session is not touched: the request is kept and carried out
// as soon as the operation has ended.
class OnlineModeSwitch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OnlineModeSwitch)

public:
    OnlineModeSwitch(RSComm& rs, SerialPortControl* port, QObject* parent = nullptr);

    // Opens (OnlineMode true) or closes (false) the session, reports the mode
    // found afterwards, and drops OnlineMode when CommError is then set.
    void ApplyOnlineMode();

    // Sets OnlineMode and applies it (the menu commands and panel double-click).
    void setMode(bool online);
    void toggleMode();

    // True while a request waits for a controller operation to end.
    bool isDeferred() const { return m_retry.isActive(); }
    // Drops a waiting request (shutdown).
    void cancelDeferred() { m_retry.stop(); }

    SerialPortControl* port() const { return m_port; }

signals:
    // The mode ApplyOnlineMode found after opening or closing the session.
    void modeShown(bool online);
    // The port just opened holds every reply byte for its USB adapter's
    // latency timer (timerMs > 1 ms): sent once per adapter and program run.
    void slowPort(int timerMs);

private:
    RSComm& m_rs;
    SerialPortControl* m_port;
    QTimer m_retry;
    QSet<QString> m_slowPortsTold; // by the timer's sysfs attribute
};

// Asks "Save Changes to File?" (Yes / No / Cancel) when hasUnsavedChanges is
// true and returns the answer; returns nothing (the "0" answer) otherwise.
std::optional<MsgResult> QuerySaveChanges(Prompter& prompter, bool hasUnsavedChanges);

} // namespace talvek
