#pragma once

#include "NumericEntry.h"
#include "RefreshLoop.h"

#include <QWidget>
#include <array>
#include <memory>

class QFrame;
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
class UpDown;

// "Machine Timing": the programmable limit switch (PLS) of the press. The
// ON and OFF setpoints of the eight named timing channels, channel recall and
// clear, the resolver offset, the PLS configuration, and the resolver speed,
// position, offset and scale factor in its status bar.
//
// Online every change goes to the PLS at once; offline the window shows the
// working data (CurrentData) and, with offline editing, edits its setpoints.
// A refresh loop runs from activation to unload. Its online pass does one PLS
// operation per step: first the rest of the online presentation (the
// configuration, then two recalls per channel), then the live status steps,
// each of which first recalls the whole grid when a timing download has just
// replaced the PLS contents.
class frmTiming final : public QWidget, private RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmTiming)

public:
    static constexpr int ChannelCount = 8;
    // The OFF field of channel ch is element ch + OffField of the channel arrays.
    static constexpr int OffField = 16;
    static constexpr int ChannelFieldCount = OffField + ChannelCount;
    // txtTmg elements.
    static constexpr int OffsetField = 0;
    static constexpr int ChannelNumberField = 1;
    // Field texts: no value yet, a recall or clear failed, an empty channel.
    static inline const QString NoValue = QStringLiteral("-");
    static inline const QString FailedValue = QStringLiteral("---");
    static inline const QString EmptyChannel = QStringLiteral("****");

    frmTiming(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent = nullptr);
    ~frmTiming() override;

    // ---- controls, named as the program names them ----
    QTabBar* tbsTiming;
    std::array<QFrame*, 2> fraTiming {};
    std::array<QGroupBox*, 5> fraTmg {};
    // 0..7 the channel names, 8 the heading "ON", 9 the heading "OFF".
    std::array<QLabel*, 10> lblChannel {};
    // ON fields 0..7, OFF fields 16..23; elements 8..15 do not exist (null).
    std::array<QLineEdit*, ChannelFieldCount> txtChannel {};
    std::array<UpDown*, ChannelFieldCount> updChannel {};
    std::array<QLineEdit*, 2> txtTmg {};
    std::array<UpDown*, 2> updTmg {};
    QPushButton* cmdRecallChan;
    QPushButton* cmdClearChan;
    QPushButton* cmdSetOffset;
    QPushButton* cmdResetPLSConfig;
    QPushButton* cmdDefault;
    std::array<QLabel*, 10> lblCfgDescription {};
    std::array<QLabel*, 10> lblPLSCfg {};
    QStatusBar* sbrMachineTiming;

    // ---- state, for the main window and tests ----
    RefreshLoop& refreshLoop() { return *m_loop; }
    NumericField& channelField(int i) { return *m_channelFields.at(size_t(i)); }
    NumericField& tmgField(int i) { return *m_tmgFields.at(size_t(i)); }
    // Panel n (1..4) of the status bar.
    QLabel* panel(int n) const { return m_panels.at(size_t(n - 1)); }
    // The online presentation has run to its end (configuration and grid read).
    bool onlinePresentationDone() const { return m_present == Present::Done; }
    bool machineStopped() const { return m_stoppedNow; }
    qint16 lastRecallState() const { return m_recallState; }
    qint16 lastRecallPos() const { return m_recallPos; }

private:
    enum class Present
    {
        Configuration, // show the configuration
        Grid, // recall all channels
        Done,
    };
    // A recall of the whole grid spread over loop steps: channel, and the
    // recalls made of it so far.
    struct GridRecall
    {
        bool active = false;
        int channel = 0;
        int recalls = 0;
    };
    // What one recall did with its channel.
    enum class RecallOutcome
    {
        Again, // a setpoint was shown; a second recall gives the other one
        Done, // the channel is empty or its recall failed with a message
        CommFailed, // the link failed: stop quietly
    };

    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void tbsTiming_Click(int index);
    void cmdRecallChan_Click();
    void cmdClearChan_Click();
    void cmdSetOffset_Click();
    void cmdResetPLSConfig_Click();

    // Rewrites a txtTmg field as a whole number and returns it.
    int wholeFieldValue(int field);
    void setChannelTexts(int ch, const QString& on, const QString& off);
    void setGridEnabled(bool on);
    void setOffsetEnabled(bool on);
    void ShowConfiguration();
    RecallOutcome recallOnce(int ch, bool store);
    void RecallChannel(int ch, bool store);
    void beginGridRecall();
    // One step of the grid recall; false when the link failed.
    bool gridRecallStep();
    void finishOnlinePresentation();
    bool liveStatusStep();
    bool acceptChannel(int i, qint32 value);
    bool acceptSpinner(int i, qint32 value);
    void storeSetpoint(int i, qint32 value);
    // Programs the channel of field i; a value the PLS refuses is taken back
    // (the field's `previous` value in the working data, the PLS's in the grid).
    void programChannel(int i, qint32 previous, bool fromSpinner);
    void showEqualSetpoints(int i, bool typed);

    // ---- RefreshClient ----
    void activated() override { Form_Activate(); }
    void unloaded() override { Form_Unload(); }
    void cycleStarted() override;
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    Prompter& m_prompter;
    RSComm& m_rs;
    NumericEntryForm m_form;
    std::array<std::unique_ptr<NumericField>, ChannelFieldCount> m_channelFields;
    std::array<std::unique_ptr<NumericField>, 2> m_tmgFields;
    std::array<QLabel*, 4> m_panels {};
    std::unique_ptr<RefreshLoop> m_loop;

    Present m_present = Present::Done;
    GridRecall m_grid;
    int m_statusStep = 1; // k of the live status pass, 1..5
    bool m_positionRead = false; // k = 2: the speed is read, the position next
    int m_positionRpm = 0;
    // Machine-stopped tracking of the live status pass.
    bool m_stoppedNow = false;
    bool m_stoppedBefore = false;
    bool m_justStopped = false;
    bool m_justStarted = false;
    qint16 m_recallState = 0;
    qint16 m_recallPos = 0;
    bool m_lastOfflineEditing = false;
    // The channel field whose up-down control is being clicked (-1: none).
    int m_spinnerField = -1;
};

} // namespace talvek
