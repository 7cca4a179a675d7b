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
    static constexpr int kK7700Count = IoStatesState::kK7700Count;
    static constexpr int kBitCount = IoStatesState::kBitCount;
    static constexpr int kItemCount = IoStatesState::kItemCount;

    // "ON" is blue, "off" dark red.
    static const QColor kOnColor;
    static const QColor kOffColor;

    frmDisplayIO(RSComm& rs, OnlineModeSwitch& mode, QWidget* parent = nullptr);
    ~frmDisplayIO() override;


    // ---- controls, named as the program names them ----
    std::array<QGroupBox*, 4> fraBMIO {};
    std::array<QLabel*, kK7700Count> lblk7710 {};
    std::array<QLabel*, kK7700Count> lblk7710State {};
    std::array<QLabel*, kBitCount> lblTmgChannel {};
    std::array<QLabel*, kBitCount> lblTmgChannelState {};
    std::array<QLabel*, kBitCount> lblSlot00 {};
    std::array<QLabel*, kBitCount> lblSlot00State {};
    std::array<QLabel*, kBitCount> lblSlot01 {};
    std::array<QLabel*, kBitCount> lblSlot01State {};

private:
    void drawPresentation();
    void drawItem(int index);
    // The three bit groups: state labels and caption labels of group g (0..2).
    std::array<QLabel*, kBitCount>& bitStates(int group);
    std::array<QLabel*, kBitCount>& bitCaptions(int group);

    IoStates m_states;
};

} // namespace talvek
