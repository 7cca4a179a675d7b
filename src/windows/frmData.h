#pragma once

#include "RefreshLoop.h"

#include <QWidget>
#include <array>

class QGroupBox;
class QLabel;
class QPushButton;

namespace talvek {

class OnlineModeSwitch;
class RSComm;

// The shift data window (child window 4): good and short cans of the current
// and the last shift, live from the controller while ONLINE (D1100, W1104,
// D1200, W1204, one read per step of its refresh loop) and from CurrentData
// while OFFLINE; and the end-of-shift button "T&ransfer Data".
//
// "T&ransfer Data" is momentary: pressing a mouse button on it writes 1 to
// F32, releasing it writes 0 (each only while CommError is clear). Activating
// it from the keyboard writes nothing.
class frmData final : public QWidget, private RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmData)

public:
    static constexpr int CounterCount = 4;

    frmData(RSComm& rs, OnlineModeSwitch& mode, QWidget* parent = nullptr);
    ~frmData() override;

    RefreshLoop& refreshLoop() { return m_loop; }

    // ---- controls, named as the program names them ----
    std::array<QGroupBox*, 3> fraShiftData {};
    std::array<QLabel*, CounterCount> lblData {};
    std::array<QLabel*, CounterCount> lblDescription {};
    QPushButton* cmdEndofShift;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ---- RefreshClient ----
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    void setAppearance(bool enabled);
    void cmdEndofShift_MouseDown();
    void cmdEndofShift_MouseUp();

    RSComm& m_rs;
    RefreshLoop m_loop;
};

} // namespace talvek
