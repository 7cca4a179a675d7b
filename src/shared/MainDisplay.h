#pragma once

#include "shared/RefreshLoop.h"

#include <QObject>
#include <QString>
#include <array>

namespace talvek {

class BackgroundMonitor;
class RSComm;

// What the main display shows.
struct MainDisplayState
{
    static constexpr int kDisplayCount = 6;
    // Machine speed, machine position, good cans, short cans, brake response
    // at low and at high speed.
    enum Item
    {
        Speed,
        Position,
        GoodCans,
        ShortCans,
        BrakeResponseLow,
        BrakeResponseHigh,
    };
    // The controls can be worked with (ONLINE).
    bool enabled = false;
    // The value of each item, as read ONLINE or held in CurrentData OFFLINE;
    // empty: none ("-").
    std::array<QString, kDisplayCount> value;
    // The speed of this pass is above kPositionSpeedLimit: the position is
    // not shown ("888°").
    bool positionHidden = false;
    // The background monitor's system message, as the monitor composed it.
    QString systemMessage;
};

// The main display: machine speed and position, the counters of the current
// shift and the brake responses, live from the controller while ONLINE (one
// read per step, in the order of MainDisplayState::Item) and from
// CurrentData while OFFLINE; the background monitor's system message at the
// start of every cycle; and the alarm reset.
class MainDisplay final : public QObject, public RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainDisplay)

public:
    // Above this speed the position is not shown.
    static constexpr int kPositionSpeedLimit = 30;

    MainDisplay(RSComm& rs, const BackgroundMonitor& monitor, QObject* parent = nullptr);

    const MainDisplayState& state() const { return m_state; }

    // "Alarm &Reset": writes 1 to the alarm reset flag (the controller clears it).
    void resetAlarms();

signals:
    // The presentation of a mode was applied.
    void presented();
    // Item `index` changed (-1: the items CurrentData holds).
    void valueChanged(int index);
    void systemMessageChanged();

private:
    // ---- RefreshClient ----
    void cycleStarted() override;
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    void present(bool enabled);

    RSComm& m_rs;
    const BackgroundMonitor& m_monitor;
    MainDisplayState m_state;
};

} // namespace talvek
