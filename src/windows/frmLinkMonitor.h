#pragma once

#include "link/LinkMonitor.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace talvek {

class Prompter;
class RSComm;

// The link monitor: counters of the controller link since it last went
// ONLINE, reply times against the wire's floor, and a live log of the most
// recent exchanges with Pause, Clear and "Save Log…". A window of its own
// beside the child windows, not one of them.
//
// The counters start when the link goes ONLINE, or when the window is first
// opened while it is ONLINE.
//
// The monitor is attached to the link while this window exists (the main
// window keeps it once it was opened, so the counters go on while it is
// closed); the window itself refreshes only while it is shown.
class frmLinkMonitor final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmLinkMonitor)

public:
    frmLinkMonitor(RSComm& rs, Prompter& prompter, QWidget* parent = nullptr);
    ~frmLinkMonitor() override;

    LinkMonitor& monitor() { return m_monitor; }
    // Shows the counters and the exchanges logged since the last refresh
    // (the timer does this twice a second while the window is shown).
    void refresh();
    void saveLog();

    static constexpr int kRefreshMs = 500;
    static constexpr int kLogCapacity = 2000;

    // ---- controls ----
    QLabel* lblExchanges;
    QLabel* lblBytesOut;
    QLabel* lblBytesIn;
    QLabel* lblFirstWindowTimeouts;
    QLabel* lblResynchronisations;
    QLabel* lblEchoMismatches;
    QLabel* lblRepeatedWrites;
    QLabel* lblFailedReads;
    QLabel* lblLinkFailures;
    QLabel* lblRate;
    QLabel* lblReplyTimes;
    QLabel* lblWireFloor;
    QLabel* lblOnlineSince;
    QPlainTextEdit* txtLog;
    QPushButton* cmdPause;
    QPushButton* cmdClear;
    QPushButton* cmdSaveLog;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The counters' box and the log's box with its buttons.
    QGroupBox* buildCounters();
    QGroupBox* buildLog();
    void clearLog();
    int currentBaud() const;

    RSComm& m_rs;
    Prompter& m_prompter;
    LinkMonitor m_monitor;
    QTimer m_timer;
    QElapsedTimer m_rateClock;
    quint64 m_rateExchanges = 0;
    quint64 m_shownLogged = 0; // exchanges logged when the log was last brought up to date
};

} // namespace talvek
