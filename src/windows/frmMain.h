#pragma once

#include "RefreshLoop.h"

#include <QWidget>
#include <array>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace talvek {

class BackgroundMonitor;
class OnlineModeSwitch;
class RSComm;

// The main display (child window 0): machine speed and position, good and
// short cans of the current shift, brake response at low and high speed,
// live from the controller while ONLINE and from CurrentData while OFFLINE;
// the system message of the background monitor; "Alarm &Reset".
//
// Its refresh loop runs from activation (shown) until unload (hidden or
// deleted): each cycle shows the system message, then reads W182, W180,
// D1100, W1104, W1040, W1042 in this order, one read per step.
class frmMain final : public QWidget, private RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmMain)

public:
    static constexpr int DisplayCount = 6;
    // Above this speed the position is shown as "888°".
    static constexpr int PositionSpeedLimit = 30;

    frmMain(RSComm& rs, OnlineModeSwitch& mode, const BackgroundMonitor& monitor, QWidget* parent = nullptr);
    ~frmMain() override;

    RefreshLoop& refreshLoop() { return m_loop; }

    // ---- controls, named as the program names them ----
    std::array<QGroupBox*, 5> fraDisplay {};
    std::array<QLabel*, DisplayCount> lblDisplay {};
    std::array<QLabel*, 2> lblDescription {};
    QGroupBox* fraMessages;
    QPlainTextEdit* txtMessageDisplay;
    QPushButton* cmdAlarmReset;
    QPushButton* cmdDefault;

private:
    // ---- RefreshClient ----
    void cycleStarted() override;
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    void setAppearanceEnabled(bool enabled);
    void cmdAlarmReset_Click();

    RSComm& m_rs;
    const BackgroundMonitor& m_monitor;
    RefreshLoop m_loop;
    QString m_shownMessage;
    bool m_speedAbove30 = false;
};

} // namespace talvek
