#pragma once

#include "shared/ShiftCounters.h"
#include "windows/ChildWindow.h"

#include <QTimer>
#include <QWidget>
#include <array>

class QGroupBox;
class QLabel;
class QPushButton;

namespace talvek {

class OnlineModeSwitch;
class Prompter;
class RSComm;

// The shift data window (child window 4): good and short cans of the current
// and the last shift, live from the controller while ONLINE and from
// CurrentData while OFFLINE (ShiftCounters reads them); and the end-of-shift
// button "Transfer Data" (without an access key).
//
// "Transfer Data" is momentary: pressing a mouse button on it asks whether
// to end the shift (ONLINE, default No); Yes writes 1 to the end-of-shift
// flag and, a click's time later (kEndOfShiftHoldMs), 0 (each only while
// CommError is clear). Activating it from the keyboard writes nothing.
class frmData final : public ChildWindow<QWidget>
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmData)

public:
    static constexpr int kCounterCount = 4;

    // How long the flag stays 1 after the operator said Yes: about as long as
    // a mouse button is held for a click.
    static constexpr int kEndOfShiftHoldMs = 300;

    frmData(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent = nullptr);
    ~frmData() override;

    const ShiftCounters& shiftCounters() const { return m_counters; }

    // ---- controls, named as the program names them ----
    std::array<QGroupBox*, 3> fraShiftData {};
    std::array<QLabel*, kCounterCount> lblData {};
    std::array<QLabel*, kCounterCount> lblDescription {};
    QPushButton* cmdEndofShift;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void drawPresentation();
    void drawCount(int index);

    ShiftCounters m_counters;
    QTimer* m_endOfShiftHold;
};

} // namespace talvek
