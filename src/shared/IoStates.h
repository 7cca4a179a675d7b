#pragma once

#include "shared/RefreshLoop.h"

#include <QObject>
#include <QString>
#include <array>

namespace talvek {

class RSComm;

// What the I/O states display shows.
struct IoStatesState
{
    // Items 0..10 are the K7700's own points (two inputs, then values shown
    // as read); items 11..13 the words of the three sixteen-point groups
    // (timing outputs, slot 0 group 0, slot 0 group 1).
    static constexpr int kK7700Count = 11;
    static constexpr int kInputCount = 2;
    static constexpr int kGroupCount = 3;
    static constexpr int kBitCount = 16;
    static constexpr int kItemCount = kK7700Count + kGroupCount;

    bool online = false;
    // The value text of each K7700 item, as read.
    std::array<QString, kK7700Count> value;
    // The two inputs: only a value of exactly 1 is ON.
    std::array<bool, kInputCount> input {};
    // The sixteen points of each group, bit b for point b.
    std::array<quint16, kGroupCount> bits {};
};

// The I/O states: read-only. ONLINE its refresh loop reads the fourteen items
// in order, one read per step; OFFLINE nothing is read.
class IoStates final : public QObject, public RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IoStates)

public:
    explicit IoStates(RSComm& rs, QObject* parent = nullptr);

    const IoStatesState& state() const { return m_state; }

    // The presentation of the window's mode when it is loaded, before its
    // loop runs (the loop then applies it only on a change of mode).
    void presentAtLoad(RefreshLoop& loop);

signals:
    // The presentation of a mode was applied: nothing read shows.
    void presented();
    // Item `index` was read.
    void itemRead(int index);

private:
    // ---- RefreshClient ----
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    void present(bool online);

    RSComm& m_rs;
    IoStatesState m_state;
};

} // namespace talvek
