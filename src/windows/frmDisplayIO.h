#pragma once

#include "RefreshLoop.h"

#include <QWidget>
#include <array>

class QGroupBox;
class QLabel;

namespace talvek {

class OnlineModeSwitch;
class RSComm;

// The I/O states display (child window 5, "I/O Status"), read-only: the
// K7700's own inputs, analog and resolver values, the sixteen PLS timing
// outputs and the two sixteen-point I/O groups of slot 0. ONLINE its refresh
// loop reads the fourteen items in this order, one read per step:
//
//   F80, F81 (ON/off), W162, W164, B166, B167, W180, W182, W184, W186, W188
//   (value text as read), W170, W100, W110 (sixteen bits each, ON/off).
//
// OFFLINE every value shows "-" and everything is disabled; nothing is read.
class frmDisplayIO final : public QWidget, private RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmDisplayIO)

public:
    static constexpr int K7700Count = 11;
    static constexpr int BitCount = 16;
    static constexpr int ItemCount = 14;

    // "ON" is blue, "off" dark red.
    static const QColor OnColor;
    static const QColor OffColor;

    frmDisplayIO(RSComm& rs, OnlineModeSwitch& mode, QWidget* parent = nullptr);
    ~frmDisplayIO() override;

    RefreshLoop& refreshLoop() { return m_loop; }
    // The controller address of item i of the polling order.
    static QString itemAddress(int item);

    // ---- controls, named as the program names them ----
    std::array<QGroupBox*, 4> fraBMIO {};
    std::array<QLabel*, K7700Count> lblk7710 {};
    std::array<QLabel*, K7700Count> lblk7710State {};
    std::array<QLabel*, BitCount> lblTmgChannel {};
    std::array<QLabel*, BitCount> lblTmgChannelState {};
    std::array<QLabel*, BitCount> lblSlot00 {};
    std::array<QLabel*, BitCount> lblSlot00State {};
    std::array<QLabel*, BitCount> lblSlot01 {};
    std::array<QLabel*, BitCount> lblSlot01State {};

private:
    // ---- RefreshClient ----
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    void present(bool online);
    // The three bit groups: state labels and caption labels of group g (0..2).
    std::array<QLabel*, BitCount>& bitStates(int group);
    std::array<QLabel*, BitCount>& bitCaptions(int group);

    RSComm& m_rs;
    RefreshLoop m_loop;
    QString m_lastValue; // the last value read
};

} // namespace talvek
