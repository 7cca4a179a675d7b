#pragma once

#include "shared/MainDisplay.h"
#include "windows/ChildWindow.h"

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
// deleted); MainDisplay does the reading, the window draws what it publishes.
class frmMain final : public ChildWindow<QWidget>
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmMain)

public:
    static constexpr int kDisplayCount = MainDisplayState::kDisplayCount;

    frmMain(RSComm& rs, OnlineModeSwitch& mode, const BackgroundMonitor& monitor, QWidget* parent = nullptr);
    ~frmMain() override;


    // ---- controls, named as the program names them ----
    std::array<QGroupBox*, 5> fraDisplay {};
    std::array<QLabel*, kDisplayCount> lblDisplay {};
    std::array<QLabel*, 2> lblDescription {};
    QGroupBox* fraMessages;
    QPlainTextEdit* txtMessageDisplay;
    QPushButton* cmdAlarmReset;
    QPushButton* cmdDefault;

private:
    // The controls and their layouts.
    void buildValueFrames();
    void buildMessages();
    void arrangeControls();
    void drawPresentation();
    void drawValue(int index);
    void drawSystemMessage();

    MainDisplay m_display;
};

} // namespace talvek
