#pragma once

#include "base/Outcome.h"
#include "base/Placeholders.h"
#include "shared/RefreshLoop.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <optional>

namespace talvek {

class Prompter;
class RSComm;
struct ChannelRecall;

// What the machine timing editor shows: the texts of its fields, value
// labels and status bar panels, and which of its parts take input.
struct TimingState
{
    static constexpr int kChannelCount = 8;
    // The OFF field of channel ch is field ch + kOffField; fields 8..15 do not exist.
    static constexpr int kOffField = 16;
    static constexpr int kChannelFieldCount = kOffField + kChannelCount;
    // The parameter fields of the command buttons.
    static constexpr int kOffsetField = 0;
    static constexpr int kChannelNumberField = 1;
    // The PLS configuration values shown: channel count, PLS program, and
    // the speed compensation of channels 0..7.
    static constexpr int kConfigChannelCount = 0;
    static constexpr int kConfigProgram = 1;
    static constexpr int kConfigFirstCompensation = 2;
    static constexpr int kConfigCount = 10;
    // The window's five groups (its fraTmg frames), in order.
    enum Group
    {
        ChannelGrid,
        ResolverOffset,
        PlsChannel,
        SpeedCompensation,
        PlsConfiguration,
        GroupCount
    };
    // The commands.
    enum Command
    {
        RecallChan,
        ClearChan,
        SetOffset,
        ResetPLSConfig,
        RecallAll,
        CommandCount
    };

    // The channel grid: ON setpoint texts at ch, OFF setpoint texts at ch + kOffField.
    std::array<QString, kChannelFieldCount> channelTexts {};
    // The setpoint each grid field holds, where it holds one (read from the
    // PLS or the working data, or accepted from the operator); none where the
    // field shows a placeholder. These, never the texts, are what is sent.
    std::array<std::optional<qint16>, kChannelFieldCount> setpoints {};
    // A setpoint the operator entered that waits for its channel's other
    // setpoint: the PLS takes a channel only as an ON / OFF pair.
    std::array<bool, kChannelFieldCount> unsent {};
    std::array<QString, 2> parameterTexts {};
    std::array<QString, kConfigCount> configTexts {};
    // The status bar panels: speed, position, offset, scale factor.
    std::array<QString, 4> panelTexts {};

    bool statusBarEnabled = true;
    // Which groups take input, by Group.
    std::array<bool, GroupCount> groupsEnabled { true, true, true, true, true };
    // The channel names, ON / OFF headings and the channel fields.
    bool gridEnabled = true;
    std::array<bool, 2> parameterEnabled { true, true };
    // The configuration descriptions and values.
    bool configEnabled = true;
    // The commands wait for the first presentation.
    std::array<bool, CommandCount> commandEnabled {};

    // No online presentation is under way: the last one has run to its end
    // (configuration and grid read), or none was started.
    bool onlinePresentationDone = true;
    // The last live status reading of the speed was 0.
    bool machineStopped = false;
    // The last successful channel recall.
    qint16 recallState = 0;
    qint16 recallPos = 0;
};

// The machine timing editor without its window: the PLS of the press, its
// channel setpoints, resolver offset and configuration, and the live status
// of the resolver. It is the refresh client of the window's loop; it talks to
// the controller link's PLS operations and to the working data (CurrentData),
// and publishes what the window shows (TimingState) after every change.
//
// The loop's online pass does one PLS operation per step: first the rest of
// the online presentation (the configuration, then up to two recalls per
// channel), then the live status steps, each of which first recalls the whole
// grid when a timing download has just replaced the PLS contents.
//
// The window keeps the field texts it holds in step with the state
// (setChannelText, setParameterText): the operator types into them, and the
// ON = OFF check and the commands read them.
class TimingEditor final : public QObject, public RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TimingEditor)

public:
    // A PLS value for the status bar: the number, or the failed-read placeholder.
    static QString plsText(const Result<int>& read) { return read ? QString::number(*read) : placeholder::kFailedValue; }

    TimingEditor(Prompter& prompter, RSComm& rs, QObject* parent = nullptr);
    ~TimingEditor() override;

    const TimingState& state() const { return m_state; }
    // The loop this editor is the client of: the editor has it apply the
    // offline presentation again when the data or offline editing changes.
    void setRefreshLoop(RefreshLoop& loop) { m_loop = &loop; }

    // ---- the texts the operator's fields hold ----
    void setChannelText(int field, const QString& text);
    void setParameterText(int field, const QString& text);

    // ---- a setpoint the operator entered (past the range check) ----
    enum class SetpointResult
    {
        Accepted, // nothing more to do (unchanged, or stored while offline)
        Refused, // ON would equal OFF: the field takes its earlier value back
        Programmed, // stored and sent to the PLS (a refusal has been told and taken back)
        Held, // kept in the field, unsent, until the channel's other setpoint has a value (told)
    };
    // A typed value. A refusal leaves the message to showEqualSetpoints().
    SetpointResult typedSetpoint(int field, qint32 value);
    // The value an up-down click gave. A refusal has shown its message.
    SetpointResult steppedSetpoint(int field, qint32 value);
    // "ON Setpoint cannot Equal OFF Setpoint".
    void showEqualSetpoints();

    // ---- the commands ----
    // Reads the configuration and every channel again (the grid is otherwise
    // read only by the presentation and after a timing download), over the
    // loop's next steps; the working data is not changed.
    void recallAllCommand();
    void recallChannelCommand();
    void clearChannelCommand();
    void setOffsetCommand();
    void resetPLSConfigCommand();

signals:
    void stateChanged(const talvek::TimingState& state);
    // The window is being activated (before its presentation) or unloaded
    // (after its loop has stopped).
    void activating();
    void unloading();
    // A presentation has been applied: the form takes input, and the focus
    // goes to the focus sink.
    void presented();
    // The whole grid is about to be recalled: the focus goes to the focus sink.
    void gridRecallStarting();

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

    void publish();
    bool setpointsEqual(int ch) const;
    // Shows a channel's two setpoints, or a placeholder for both.
    void showChannel(int ch, qint16 on, qint16 off);
    void showChannelPlaceholder(int ch, const QString& text);
    // A setpoint is held until the channel's other one has a value: tells
    // the operator which one is missing.
    SetpointResult holdSetpoint(int field);
    // Rewrites a parameter field as a whole number and returns it.
    int wholeParameterValue(int field);
    void setOffsetEnabled(bool on);
    void resetStopTracking();
    // The next cycle of the loop applies the offline presentation again.
    void presentOfflineAgain();
    void showConfiguration();
    RecallOutcome recallOnce(int ch, bool store);
    void showRecall(int ch, const ChannelRecall& recall);
    void recallChannel(int ch, bool store);
    // Tells the link's observer (the journal) what the PLS holds in channel
    // ch as the grid read it, so that a later write names its value before.
    void noteChannelHeld(int ch);
    void beginGridRecall();
    // One step of the grid recall; false when the link failed.
    bool gridRecallStep();
    void finishOnlinePresentation();
    bool liveStatusStep();
    void readSpeed();
    // Takes an accepted setpoint into the grid and then stores and programs
    // its channel (storeSetpoint), or holds it while the other is missing.
    SetpointResult takeSetpoint(int field, qint16 value, bool fromSpinner);
    // Stores the channel's pair in the working data and, online, programs
    // it; a pair the PLS refuses leaves the working data as they were and
    // the grid showing what the PLS holds.
    SetpointResult storeSetpoint(int ch, bool fromSpinner);
    std::optional<QString> resetQuestion();
    // One try of Clear Channel; true when it is over (false: Retry).
    bool clearChannelOnce();

    // ---- RefreshClient ----
    void activated() override;
    void unloaded() override;
    void cycleStarted() override;
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    Prompter& m_prompter;
    RSComm& m_rs;
    QPointer<RefreshLoop> m_loop;
    TimingState m_state;

    Present m_present = Present::Done;
    GridRecall m_grid;
    int m_statusStep = 1; // k of the live status pass, 1..5
    bool m_positionRead = false; // k = 2: the speed is read, the position next
    std::optional<int> m_positionRpm; // none: the speed read failed
    // Machine-stopped tracking of the live status pass (stopped now is
    // m_state.machineStopped).
    bool m_stoppedBefore = false;
    bool m_justStopped = false;
    bool m_justStarted = false;
    bool m_lastOfflineEditing = false;
    // The operator asked for the configuration and the grid again.
    bool m_rereading = false;
    // What the last recall of each channel found where it found no setpoint:
    // empty ("cleared") or a pulse train.
    std::array<QString, TimingState::kChannelCount> m_channelHeld {};
};

} // namespace talvek
