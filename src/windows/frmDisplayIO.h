#pragma once

#include "shared/IoStates.h"
#include "windows/ChildWindow.h"

#include <QWidget>
#include <array>

class QGroupBox;
class QLabel;

namespace talvek {

class OnlineModeSwitch;
class RSComm;

// The I/O states display (child window 5, "I/O Status"), read-only: the
// K7700's own inputs, analog and resolver values, the sixteen PLS timing
// outputs and the two sixteen-point I/O groups of slot 0, as IoStates reads
// them: the two inputs and the bits ON/off, the other values as read.
//
// OFFLINE every value shows "-" and everything is disabled; nothing is read.
class frmDisplayIO final : public ChildWindow<QWidget>
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmDisplayIO)

public:
    static constexpr int K7700Count = IoStatesState::K7700Count;
    static constexpr int BitCount = IoStatesState::BitCount;
    static constexpr int ItemCount = IoStatesState::ItemCount;

    // "ON" is blue, "off" dark red.
    static const QColor OnColor;
    static const QColor OffColor;

    frmDisplayIO(RSComm& rs, OnlineModeSwitch& mode, QWidget* parent = nullptr);
    ~frmDisplayIO() override;

    const IoStates& ioStates() const { return m_states; }

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
    void drawPresentation();
    void drawItem(int index);
    // The three bit groups: state labels and caption labels of group g (0..2).
    std::array<QLabel*, BitCount>& bitStates(int group);
    std::array<QLabel*, BitCount>& bitCaptions(int group);

    IoStates m_states;
};

} // namespace talvek
