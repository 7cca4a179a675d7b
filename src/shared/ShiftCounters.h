#pragma once

#include "shared/RefreshLoop.h"

#include <QObject>
#include <QString>
#include <array>

namespace talvek {

class Prompter;
class RSComm;

// What the shift data window shows.
struct ShiftCountersState
{
    static constexpr int kCounterCount = 4;
    // The counters can be worked with (ONLINE).
    bool enabled = false;
    // Current shift good / short cans, last shift good / short cans: the
    // value read ONLINE or held in CurrentData OFFLINE; empty: none ("-").
    std::array<QString, kCounterCount> count;
};

// The shift data: the four shift counters, read ONLINE one per step of the
// refresh loop in the order of the parameter rows 0..3, taken from
// CurrentData OFFLINE; and the momentary end-of-shift signal.
class ShiftCounters final : public QObject, public RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ShiftCounters)

public:
    ShiftCounters(RSComm& rs, Prompter& prompter, QObject* parent = nullptr);

    const ShiftCountersState& state() const { return m_state; }

    // The end-of-shift button pressed: ONLINE the operator is asked first
    // (default No), since the controller then closes the shift; Yes writes 1.
    // Returns true when 1 was written. Released: writes 0. Each write only
    // while CommError is clear.
    bool endOfShiftPressed();
    void endOfShiftReleased();

signals:
    // The presentation of a mode was applied, or counter `index` changed
    // (-1: all of them).
    void presented();
    void countChanged(int index);

private:
    // ---- RefreshClient ----
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    void present(bool enabled);

    Prompter& m_prompter;
    RSComm& m_rs;
    ShiftCountersState m_state;
};

} // namespace talvek
