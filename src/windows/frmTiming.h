#pragma once

#include "shared/NumericEntry.h"
#include "shared/TimingEditor.h"
#include "windows/ChildWindow.h"

#include <QWidget>
#include <array>
#include <memory>

class QFrame;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTabBar;

namespace talvek {

class NumericField;
class OnlineModeSwitch;
class Prompter;
class RSComm;
class TimingDiagramView;
class UpDown;

// "Machine Timing": the programmable limit switch (PLS) of the press. The
// ON and OFF setpoints of the eight named timing channels, channel recall and
// clear, the resolver offset, the PLS configuration, and the resolver speed,
// position, offset and scale factor in its status bar.
//
// The window over TimingEditor, which holds the rules and talks to the PLS:
// it builds the controls, forwards what the operator does and draws the
// editor's state. Online every change goes to the PLS at once; offline the
// window shows the working data (CurrentData) and, with offline editing,
// edits its setpoints.
class frmTiming final : public ChildWindow<QWidget>
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmTiming)

public:
    static constexpr int kChannelCount = TimingState::kChannelCount;
    // The OFF field of channel ch is element ch + kOffField of the channel arrays.
    static constexpr int kOffField = TimingState::kOffField;
    static constexpr int kChannelFieldCount = TimingState::kChannelFieldCount;
    // txtTmg elements.
    static constexpr int kOffsetField = TimingState::kOffsetField;
    static constexpr int kChannelNumberField = TimingState::kChannelNumberField;

    frmTiming(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent = nullptr);
    ~frmTiming() override;

    // ---- controls, named as the program names them ----
    QTabBar* tbsTiming;
    std::array<QFrame*, 2> fraTiming {};
    std::array<QGroupBox*, 5> fraTmg {};
    // 0..7 the channel names, 8 the heading "ON", 9 the heading "OFF".
    std::array<QLabel*, 10> lblChannel {};
    // ON fields 0..7, OFF fields 16..23; elements 8..15 do not exist (null).
    std::array<QLineEdit*, kChannelFieldCount> txtChannel {};
    std::array<UpDown*, kChannelFieldCount> updChannel {};
    std::array<QLineEdit*, 2> txtTmg {};
    std::array<UpDown*, 2> updTmg {};
    QPushButton* cmdRecallChan;
    QPushButton* cmdClearChan;
    QPushButton* cmdSetOffset;
    QPushButton* cmdResetPLSConfig;
    // Reads the configuration and every channel again (also F5).
    QPushButton* cmdRecallAll;
    QPushButton* cmdDefault;
    std::array<QLabel*, 10> lblCfgDescription {};
    std::array<QLabel*, 10> lblPLSCfg {};
    QStatusBar* sbrMachineTiming;

    // ---- state, for the main window and tests ----
    NumericField& channelField(int i) { return *m_channelFields.at(size_t(i)); }
    NumericField& tmgField(int i) { return *m_tmgFields.at(size_t(i)); }
    // Panel n (1..4) of the status bar.
    QLabel* panel(int n) const { return m_panels.at(size_t(n - 1)); }
    TimingDiagramView* diagramView() const { return m_diagramView; }
    QFrame* diagramPage() const { return m_diagramPage; }
    bool onlinePresentationDone() const { return m_editor->state().onlinePresentationDone; }
    bool machineStopped() const { return m_editor->state().machineStopped; }
    qint16 lastRecallState() const { return m_editor->state().recallState; }
    qint16 lastRecallPos() const { return m_editor->state().recallPos; }

private:
    void buildChannelGrid();
    void buildChannelField(int ch, int i, QGridLayout* grid);
    void buildParameterFields();
    void layOutTimingPage();
    void layOutWindow(QFrame* page);
    void buildConfiguration();
    void buildDiagramPage(QFrame* page);
    void showChannelOfBar(int channel);
    void exportDiagram();
    void buildStatusBar();
    void chainTabOrder();
    void connectEditor();
    void focusFirstField();

    void Form_Activate();
    void Form_Unload();
    void tbsTiming_Click(int index);
    void cmdRecallChan_Click();
    void cmdClearChan_Click();
    void cmdSetOffset_Click();
    void cmdResetPLSConfig_Click();
    void cmdRecallAll_Click();

    void draw(const TimingState& state);
    bool acceptChannel(int i, qint32 value);
    bool acceptSpinner(int i, qint32 value);
    // A box had the focus while a field was being left: the window takes it
    // back, as the owner of a closed box does.
    void takeFocusBack();
    void refuseEqualSetpoints(int i);
    void finishEqualSetpoints(int i);

    std::unique_ptr<TimingEditor> m_editor;
    NumericEntryForm m_form;
    std::array<std::unique_ptr<NumericField>, kChannelFieldCount> m_channelFields;
    std::array<std::unique_ptr<NumericField>, 2> m_tmgFields;
    std::array<QLabel*, 4> m_panels {};
    Prompter& m_prompter;
    // The third page: the channels drawn over the press cycle.
    QFrame* m_diagramPage = nullptr;
    TimingDiagramView* m_diagramView = nullptr;
    QPushButton* m_exportDiagram = nullptr;
    // The channel field whose up-down control is being clicked (-1: none).
    int m_spinnerField = -1;
};

} // namespace talvek
