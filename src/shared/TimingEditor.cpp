#include "shared/TimingEditor.h"

#include "base/BasicText.h"
#include "base/Prompter.h"
#include "link/LinkObserver.h"
#include "link/RSComm.h"
#include "shared/ChannelRecall.h"
#include "shared/MachineData.h"
#include "shared/NumericEntry.h"
#include "shared/RunningPress.h"
#include "shared/SetupCompare.h"

#include <algorithm>
#include <limits>

namespace talvek {

namespace {

// Above this speed the position is not shown.
constexpr int kPositionSpeedLimit = 50;
// The online pass ends when an item says so; this only bounds it.
constexpr int kOpenEndedPass = std::numeric_limits<int>::max();

constexpr int kChannelCount = TimingState::kChannelCount;
constexpr int kOffField = TimingState::kOffField;
constexpr int kOffsetField = TimingState::kOffsetField;
constexpr int kChannelNumberField = TimingState::kChannelNumberField;

const QString kSetupTitle = QStringLiteral("Set-up");
const QString kSetpointTitle = QStringLiteral("Channel Setpoint");
const QString kClearTitle = QStringLiteral("Clear Channel");

bool isChannelField(int field)
{
    return (field >= 0 && field < kChannelCount) || (field >= kOffField && field < kOffField + kChannelCount);
}

} // namespace

TimingEditor::TimingEditor(Prompter& prompter, RSComm& rs, QObject* parent)
    : QObject(parent)
    , m_prompter(prompter)
    , m_rs(rs)
    , m_lastOfflineEditing(OfflineEditing)
{
    for (int ch = 0; ch < kChannelCount; ++ch)
        showChannelPlaceholder(ch, placeholder::kNoValue);
    m_state.parameterTexts.fill(QStringLiteral("0"));
    m_state.configTexts.fill(placeholder::kNoValue);
    m_state.panelTexts = { QStringLiteral("RPM:"), QStringLiteral("Position:"), QStringLiteral("Offset:"),
        QStringLiteral("Scale:") };
}

TimingEditor::~TimingEditor() = default;

void TimingEditor::publish()
{
    emit stateChanged(m_state);
}

// ---- the texts of the fields ----

void TimingEditor::setChannelText(int field, const QString& text)
{
    if (isChannelField(field))
        m_state.channelTexts[size_t(field)] = text;
}

void TimingEditor::setParameterText(int field, const QString& text)
{
    if (field == kOffsetField || field == kChannelNumberField)
        m_state.parameterTexts[size_t(field)] = text;
}

// Both setpoints have a value, and the same one.
bool TimingEditor::setpointsEqual(int ch) const
{
    const std::optional<qint16>& on = m_state.setpoints[size_t(ch)];
    return on && on == m_state.setpoints[size_t(ch + kOffField)];
}

int TimingEditor::wholeParameterValue(int field)
{
    const qint32 value = roundedInt32(Val(m_state.parameterTexts[size_t(field)]));
    m_state.parameterTexts[size_t(field)] = QString::number(value);
    publish();
    return value;
}

void TimingEditor::showChannel(int ch, qint16 on, qint16 off)
{
    if (ch < 0 || ch >= kChannelCount)
        return;
    for (const auto& [field, value] : { std::pair { ch, on }, std::pair { ch + kOffField, off } }) {
        m_state.channelTexts[size_t(field)] = QString::number(value);
        m_state.setpoints[size_t(field)] = value;
        m_state.unsent[size_t(field)] = false;
    }
}

void TimingEditor::showChannelPlaceholder(int ch, const QString& text)
{
    if (ch < 0 || ch >= kChannelCount)
        return;
    for (const int field : { ch, ch + kOffField }) {
        m_state.channelTexts[size_t(field)] = text;
        m_state.setpoints[size_t(field)].reset();
        m_state.unsent[size_t(field)] = false;
    }
    m_channelHeld[size_t(ch)].clear();
}

void TimingEditor::setOffsetEnabled(bool on)
{
    m_state.groupsEnabled[TimingState::ResolverOffset] = on;
    m_state.parameterEnabled[kOffsetField] = on;
    m_state.commandEnabled[TimingState::SetOffset] = on;
}

void TimingEditor::resetStopTracking()
{
    m_state.machineStopped = m_stoppedBefore = m_justStopped = m_justStarted = false;
}

// ---- activation and presentations ----

void TimingEditor::activated()
{
    emit activating();
}

void TimingEditor::unloaded()
{
    emit unloading();
    m_present = Present::Done;
    m_grid.active = false;
    m_rereading = false;
    m_state.onlinePresentationDone = true;
}

void TimingEditor::applyOnlinePresentation()
{
    resetStopTracking();
    m_state.statusBarEnabled = true;
    // All but the resolver offset, which waits for the live status.
    for (const TimingState::Group g : { TimingState::ChannelGrid, TimingState::PlsChannel,
             TimingState::SpeedCompensation, TimingState::PlsConfiguration })
        m_state.groupsEnabled[g] = true;
    m_state.gridEnabled = true;
    for (int ch = 0; ch < kChannelCount; ++ch)
        showChannelPlaceholder(ch, placeholder::kNoValue);
    m_state.configEnabled = true;
    m_state.parameterEnabled[kChannelNumberField] = true;
    // The configuration and the grid are read by the loop's next steps, one
    // PLS operation each; finishOnlinePresentation() ends the presentation.
    m_present = Present::Configuration;
    m_state.onlinePresentationDone = false;
    m_grid = {};
    publish();
    emit presented();
}

void TimingEditor::finishOnlinePresentation()
{
    m_state.commandEnabled[TimingState::RecallChan] = true;
    m_state.commandEnabled[TimingState::ClearChan] = true;
    m_state.commandEnabled[TimingState::ResetPLSConfig] = true;
    m_state.commandEnabled[TimingState::RecallAll] = true;
    // The live status pass enables the offset while the machine stands still.
    setOffsetEnabled(false);
    m_present = Present::Done;
    m_state.onlinePresentationDone = true;
}

void TimingEditor::applyOfflinePresentation()
{
    m_present = Present::Done;
    m_state.onlinePresentationDone = true;
    m_grid.active = false;
    resetStopTracking();
    m_state.statusBarEnabled = false;
    m_state.panelTexts = { QStringLiteral("RPM: -"), QStringLiteral("Position: -"),
        QStringLiteral("Offset: ") + QString::number(CurrentData.PlsOffset),
        QStringLiteral("Scale: ") + QString::number(CurrentData.PlsScaleFactor) };

    m_state.groupsEnabled.fill(false);
    m_state.groupsEnabled[TimingState::ChannelGrid] = m_state.groupsEnabled[TimingState::PlsChannel] = OfflineEditing;
    m_state.gridEnabled = OfflineEditing;
    for (int ch = 0; ch < kChannelCount; ++ch)
        showChannel(ch, CurrentData.OnSetpoint[size_t(ch)], CurrentData.OffSetpoint[size_t(ch)]);

    m_state.configEnabled = false;
    m_state.commandEnabled[TimingState::ResetPLSConfig] = false;
    m_state.configTexts[TimingState::kConfigChannelCount] = QString::number(CurrentData.PlsChannelCount);
    m_state.configTexts[TimingState::kConfigProgram] = QString::number(CurrentData.PlsProgram);
    for (int i = 0; i < 8; ++i)
        m_state.configTexts[size_t(TimingState::kConfigFirstCompensation + i)]
            = QString::number(CurrentData.SpeedCompensation[size_t(i)]);

    m_state.commandEnabled[TimingState::SetOffset] = false;
    m_state.parameterEnabled[kOffsetField] = false;
    m_state.commandEnabled[TimingState::RecallChan] = false;
    m_state.commandEnabled[TimingState::RecallAll] = false;
    m_rereading = false;
    m_state.commandEnabled[TimingState::ClearChan] = OfflineEditing;
    m_state.parameterEnabled[kChannelNumberField] = OfflineEditing;
    publish();
    emit presented();
}

// ---- the refresh loop ----

void TimingEditor::presentOfflineAgain()
{
    if (m_loop)
        m_loop->setOfflinePresented(false);
}

void TimingEditor::cycleStarted()
{
    // New or opened data is shown again.
    if (!m_rs.OnlineMode && DataReloaded) {
        DataReloaded = false;
        presentOfflineAgain();
    }
}

int TimingEditor::beginOnlinePass()
{
    m_statusStep = 1;
    m_positionRead = false;
    return kOpenEndedPass;
}

bool TimingEditor::onlineItem(int)
{
    if (m_rereading && m_present == Present::Done && !m_grid.active) {
        m_rereading = false;
        showConfiguration();
        if (m_rs.CommError)
            return false;
        beginGridRecall();
        return true;
    }
    if (m_present == Present::Configuration) {
        showConfiguration();
        if (m_rs.CommError)
            return false; // the presentation stops; the next cycle goes offline
        m_present = Present::Grid;
        beginGridRecall();
        return true;
    }
    if (m_grid.active) {
        const bool linkOk = gridRecallStep();
        if (!m_grid.active && m_present == Present::Grid)
            finishOnlinePresentation();
        publish();
        return linkOk && !m_rs.CommError;
    }
    if (m_present == Present::Grid) {
        finishOnlinePresentation();
        publish();
    }
    if (m_rs.CommError)
        return false;
    const bool goOn = liveStatusStep();
    publish();
    return goOn;
}

// One step k of the live status pass (k = 2 takes two steps: speed, then
// position). Returns false when the pass is over.
bool TimingEditor::liveStatusStep()
{
    if (m_positionRead) {
        m_positionRead = false;
        // Without the speed there is no telling whether the position
        // would be shown: it is not read then.
        if (!m_positionRpm)
            m_state.panelTexts[1] = QStringLiteral("Position: ") + placeholder::kFailedValue;
        else if (*m_positionRpm <= kPositionSpeedLimit)
            m_state.panelTexts[1] = QStringLiteral("Position: ") + plsText(m_rs.PLSPos());
        else
            m_state.panelTexts[1] = QStringLiteral("Position: 888");
        m_statusStep = 3;
        return true;
    }
    if (TimingDownloaded) {
        // A timing download has just replaced the PLS contents.
        TimingDownloaded = false;
        beginGridRecall();
        return true;
    }
    switch (m_statusStep) {
    case 1:
        readSpeed();
        m_statusStep = 2;
        return true;
    case 2:
        m_positionRpm = m_rs.PLSRpm().toOptional();
        m_positionRead = true;
        return true;
    case 3:
        m_state.panelTexts[2] = QStringLiteral("Offset: ") + plsText(m_rs.PLSOffset());
        m_statusStep = 4;
        return true;
    case 4:
        m_state.panelTexts[3] = QStringLiteral("Scale: ") + plsText(m_rs.PLSScaleFactor());
        m_statusStep = 5;
        return true;
    default:
        // k = 5: only the checks above.
        m_statusStep = 1;
        return false;
    }
}

// k = 1: the speed, and whether the machine has just stopped or started.
void TimingEditor::readSpeed()
{
    const Result<int> read = m_rs.PLSRpm();
    m_state.panelTexts[0] = QStringLiteral("RPM: ") + plsText(read);
    // A speed that could not be read says nothing about stopping or starting.
    if (!read)
        return;
    const int rpm = *read;
    const bool stoppedNow = rpm == 0;
    m_justStopped = stoppedNow && !m_stoppedBefore;
    m_justStarted = m_stoppedBefore && !stoppedNow;
    m_stoppedBefore = stoppedNow;
    m_state.machineStopped = stoppedNow;
    // The resolver offset can be changed only while the resolver stands.
    if (m_justStopped)
        setOffsetEnabled(true);
    if (m_justStarted)
        setOffsetEnabled(false);
}

void TimingEditor::offlinePass()
{
    if (OfflineEditing != m_lastOfflineEditing) {
        // The next cycle applies the offline presentation with the new enabling.
        m_lastOfflineEditing = OfflineEditing;
        presentOfflineAgain();
    }
}

// ---- PLS reads ----

void TimingEditor::showConfiguration()
{
    // A link that has failed already ends it quietly (the upload would
    // report its failure).
    if (!m_rs.OnlineMode || m_rs.CommError)
        return;
    // Nothing of an earlier read stays on show while this one runs (a
    // Retry box of the link may be up a while).
    m_state.configTexts.fill(placeholder::kNoValue);
    publish();
    const Result<std::array<qint16, 19>> list = m_rs.PLSConfigUpload();
    if (!list) {
        if (!m_rs.CommError) {
            m_state.configTexts.fill(placeholder::kFailedValue);
            publish();
        }
        return;
    }
    for (int i = 0; i < TimingState::kConfigCount; ++i)
        m_state.configTexts[size_t(i)] = QString::number((*list)[size_t(i)]);
    publish();
}

TimingEditor::RecallOutcome TimingEditor::recallOnce(int ch, bool store)
{
    // Offline the recall fails without contacting the controller.
    const ChannelRecall recall = m_rs.OnlineMode ? recallChannelOnce(m_rs, qint16(ch)) : ChannelRecall {};
    if (recall.kind == ChannelRecall::Kind::Failed) {
        if (m_rs.CommError)
            return RecallOutcome::CommFailed;
        m_prompter.msgBox(QStringLiteral("Unable to Recall Channel ch") + QString::number(ch),
            QStringLiteral("Channel Recall"), MsgIcon::Information, MsgButtons::OK);
        showChannelPlaceholder(ch, placeholder::kFailedValue);
        publish();
        return RecallOutcome::Done;
    }
    m_state.recallState = recall.state;
    m_state.recallPos = recall.position;
    showRecall(ch, recall);
    if (store && ch >= 0 && ch < kChannelCount)
        storeRecall(CurrentData, ch, recall);
    publish();
    return recall.gaveSetpoint() ? RecallOutcome::Again : RecallOutcome::Done;
}

void TimingEditor::showRecall(int ch, const ChannelRecall& recall)
{
    if (ch < 0 || ch >= kChannelCount)
        return;
    int field = ch;
    switch (recall.kind) {
    case ChannelRecall::Kind::OffSetpoint:
        field += kOffField;
        [[fallthrough]];
    case ChannelRecall::Kind::OnSetpoint:
        m_state.channelTexts[size_t(field)] = QString::number(recall.position);
        m_state.setpoints[size_t(field)] = recall.position;
        m_state.unsent[size_t(field)] = false;
        break;
    default:
        showChannelPlaceholder(ch, placeholder::kEmptyChannel);
        m_channelHeld[size_t(ch)] = recall.pulseTrain() ? QStringLiteral("pulse train") : QStringLiteral("cleared");
        return;
    }
    m_channelHeld[size_t(ch)].clear();
}

// Up to two recalls: the PLS gives one setpoint per recall.
void TimingEditor::recallChannel(int ch, bool store)
{
    for (int n = 0; n < 2; ++n) {
        if (recallOnce(ch, store) != RecallOutcome::Again)
            break;
    }
    noteChannelHeld(ch);
}

void TimingEditor::noteChannelHeld(int ch)
{
    LinkObserver* observer = m_rs.observer();
    if (!observer || ch < 0 || ch >= kChannelCount || m_rs.CommError)
        return;
    const std::optional<qint16>& on = m_state.setpoints[size_t(ch)];
    const std::optional<qint16>& off = m_state.setpoints[size_t(ch + kOffField)];
    QString held = m_channelHeld[size_t(ch)];
    if (on && off && !m_state.unsent[size_t(ch)] && !m_state.unsent[size_t(ch + kOffField)])
        held = QStringLiteral("ON %1 OFF %2").arg(*on).arg(*off);
    else if (on || off)
        return; // a failed recall, or one setpoint only: nothing known
    if (!held.isEmpty())
        observer->valueRead(QStringLiteral("PLS channel ") + QString::number(ch), held);
}

void TimingEditor::beginGridRecall()
{
    publish();
    emit gridRecallStarting();
    m_grid = GridRecall { true, 0, 0 };
}

bool TimingEditor::gridRecallStep()
{
    const RecallOutcome outcome = recallOnce(m_grid.channel, false);
    if (outcome == RecallOutcome::CommFailed || m_rs.CommError) {
        m_grid.active = false;
        return false;
    }
    if (outcome == RecallOutcome::Again && ++m_grid.recalls < 2)
        return true;
    noteChannelHeld(m_grid.channel);
    m_grid.recalls = 0;
    if (++m_grid.channel >= kChannelCount)
        m_grid.active = false;
    return true;
}

// ---- the channel setpoints ----

TimingEditor::SetpointResult TimingEditor::typedSetpoint(int field, qint32 value)
{
    if (!isChannelField(field))
        return SetpointResult::Refused;
    const auto setpoint = qint16(value);
    // The same value as the field held (and sent): nothing to do.
    if (m_state.setpoints[size_t(field)] == setpoint && !m_state.unsent[size_t(field)]) {
        m_state.channelTexts[size_t(field)] = QString::number(setpoint);
        publish();
        return SetpointResult::Accepted;
    }
    const int partner = field < kOffField ? field + kOffField : field - kOffField;
    if (m_state.setpoints[size_t(partner)] == setpoint)
        return SetpointResult::Refused;
    return takeSetpoint(field, setpoint, false);
}

// The same ON = OFF check as a typed value (the up-down control puts the
// value it stepped from back when this refuses).
TimingEditor::SetpointResult TimingEditor::steppedSetpoint(int field, qint32 value)
{
    if (!isChannelField(field))
        return SetpointResult::Refused;
    const int partner = field < kOffField ? field + kOffField : field - kOffField;
    if (m_state.setpoints[size_t(partner)] == qint16(value)) {
        showEqualSetpoints();
        return SetpointResult::Refused;
    }
    return takeSetpoint(field, qint16(value), true);
}

void TimingEditor::showEqualSetpoints()
{
    m_prompter.msgBox(QStringLiteral("ON Setpoint cannot Equal OFF Setpoint"), kSetupTitle,
        MsgIcon::Information, MsgButtons::OK);
}

TimingEditor::SetpointResult TimingEditor::takeSetpoint(int field, qint16 value, bool fromSpinner)
{
    m_state.channelTexts[size_t(field)] = QString::number(value);
    m_state.setpoints[size_t(field)] = value;
    m_state.unsent[size_t(field)] = true;
    const int ch = field % kOffField;
    if (!m_state.setpoints[size_t(ch)] || !m_state.setpoints[size_t(ch + kOffField)])
        return holdSetpoint(field);
    return storeSetpoint(ch, fromSpinner);
}

TimingEditor::SetpointResult TimingEditor::holdSetpoint(int field)
{
    publish();
    const int ch = field % kOffField;
    const bool on = field < kOffField;
    const QString have = on ? QStringLiteral("ON") : QStringLiteral("OFF");
    const QString missing = on ? QStringLiteral("OFF") : QStringLiteral("ON");
    m_prompter.msgBox(QStringLiteral("Channel ") + plsChannelName(ch) + QStringLiteral(" has no ") + missing
            + QStringLiteral(" Setpoint.\r\n\r\nThe ") + have + QStringLiteral(" Setpoint ")
            + m_state.channelTexts[size_t(field)] + QStringLiteral(" is held here, not stored or sent, until the ")
            + missing + QStringLiteral(" Setpoint is entered."),
        kSetpointTitle, MsgIcon::Information, MsgButtons::OK);
    return SetpointResult::Held;
}

TimingEditor::SetpointResult TimingEditor::storeSetpoint(int ch, bool fromSpinner)
{
    const qint16 on = *m_state.setpoints[size_t(ch)];
    const qint16 off = *m_state.setpoints[size_t(ch + kOffField)];
    const qint16 onBefore = CurrentData.OnSetpoint[size_t(ch)];
    const qint16 offBefore = CurrentData.OffSetpoint[size_t(ch)];
    CurrentData.OnSetpoint[size_t(ch)] = on;
    CurrentData.OffSetpoint[size_t(ch)] = off;
    m_state.unsent[size_t(ch)] = m_state.unsent[size_t(ch + kOffField)] = false;
    publish();
    if (!m_rs.OnlineMode)
        return SetpointResult::Accepted;
    const bool ok = m_rs.SingleSetpoint(qint16(ch), on, off, true).ok();
    if (ok || m_rs.CommError)
        return SetpointResult::Programmed;
    const QString prefix = fromSpinner
        ? QStringLiteral("Unable to Successfully Program Setpoint for Channel CH")
        : QStringLiteral("Unable to Successfully Program Setpoint for Channel CH0");
    m_prompter.msgBox(
        prefix + QString::number(ch) + QLatin1Char('.'), kSetpointTitle, MsgIcon::Critical, MsgButtons::OK);
    // The PLS refused the pair: the working data keep what they held before
    // the edit, and the grid shows what the PLS holds now (the refused
    // record may have followed the channel's clear).
    CurrentData.OnSetpoint[size_t(ch)] = onBefore;
    CurrentData.OffSetpoint[size_t(ch)] = offBefore;
    recallChannel(ch, false);
    return SetpointResult::Programmed;
}

// ---- the commands ----

void TimingEditor::recallAllCommand()
{
    // Online, once the presentation has read the grid, and not while a
    // recall of the grid is under way: the loop's next steps read the
    // configuration and then every channel, one PLS operation each.
    if (!m_rs.OnlineMode || !m_state.onlinePresentationDone || m_grid.active || m_rereading)
        return;
    m_rereading = true;
}

void TimingEditor::recallChannelCommand()
{
    const int ch = wholeParameterValue(kChannelNumberField);
    if (ch < 0 || ch >= kChannelCount)
        return;
    recallChannel(ch, false);
}

void TimingEditor::clearChannelCommand()
{
    while (!clearChannelOnce()) { }
}

bool TimingEditor::clearChannelOnce()
{
    const int c = wholeParameterValue(kChannelNumberField);
    if (c < 0 || c >= kChannelCount)
        return true;
    const MsgResult answer = m_prompter.msgBox(QStringLiteral("You are about to Clear Channel CH0")
            + QString::number(c) + QStringLiteral(".\r\n\r\nDo you wish to continue?"),
        kClearTitle, MsgIcon::Question, MsgButtons::YesNoCancel, MsgDefault::Button2);
    if (answer != MsgResult::Yes)
        return true;
    if (!m_rs.OnlineMode) {
        if (OfflineEditing) {
            showChannelPlaceholder(c, placeholder::kEmptyChannel);
            CurrentData.OnSetpoint[size_t(c)] = 0;
            CurrentData.OffSetpoint[size_t(c)] = 0;
            publish();
        }
        return true;
    }
    // Its output goes off at once: on a running press the operator is asked again.
    if (confirmWhileRunning(m_rs, m_prompter, kClearTitle,
            QStringLiteral("Clearing channel CH0") + QString::number(c) + QStringLiteral(" turns its output off."))
        != PressCheck::Go)
        return true;
    const bool ok = m_rs.ClearPLSChan(qint16(c)).ok();
    if (m_rs.CommError)
        return true;
    if (ok) {
        // Both the grid and the working data show the cleared channel.
        recallChannel(c, true);
        return true;
    }
    if (m_prompter.msgBox(
            QStringLiteral("Unable to Clear Channel"), kClearTitle, MsgIcon::Question, MsgButtons::RetryCancel)
        == MsgResult::Retry)
        return false;
    showChannelPlaceholder(c, placeholder::kFailedValue);
    publish();
    return true;
}

void TimingEditor::setOffsetCommand()
{
    const int position = wholeParameterValue(kOffsetField);
    if (!m_rs.OnlineMode)
        return;
    const MsgResult answer = m_prompter.msgBox(
        QStringLiteral("You are about to Change the Resolver Offset.\r\n\r\nDo you wish to continue?"),
        QStringLiteral("Set Offset"), MsgIcon::Question, MsgButtons::YesNoCancel, MsgDefault::Button2);
    if (answer == MsgResult::Yes) {
        const bool ok = m_rs.SetPLSOffset(qint16(position)).ok();
        if (m_rs.CommError)
            return;
        if (ok) {
            // The PLS turns the position wanted into an offset: the working
            // data keeps the offset it reports, not the position typed.
            if (const Result<int> reported = m_rs.PLSOffset())
                CurrentData.PlsOffset = qint16(*reported);
            return;
        }
        m_prompter.msgBox(QStringLiteral("Unable to Successfully Set the Resolver Offset"),
            QStringLiteral("Resolver Offset"), MsgIcon::Critical, MsgButtons::OK);
    }
    m_state.parameterTexts[kOffsetField] = QStringLiteral("0");
    publish();
}

// The question before Reset PLS Config: each value it sends beside the one
// the PLS holds now (read just before); nothing when the link failed.
std::optional<QString> TimingEditor::resetQuestion()
{
    const Result<std::array<qint16, 19>> list = m_rs.PLSConfigUpload();
    const Result<int> scale = list ? m_rs.PLSScaleFactor() : Result<int>(list.error());
    if (m_rs.CommError)
        return std::nullopt;
    std::optional<MachineData> held;
    if (scale) {
        held = CurrentData;
        applyPlsConfigList(*held, *list);
        if (!applyPlsScaleFactor(*held, *scale))
            held.reset();
    }
    QString text = QStringLiteral("You are about to Reset the PLS Configuration: it sends the working data's "
                                  "values to the PLS.\r\n");
    int differing = 0;
    for (int field = 0; field < kCompareConfigFieldCount; ++field) {
        const qint16 sent = compareConfigValue(CurrentData, field);
        text += QStringLiteral("\r\n") + compareConfigCaption(field) + QStringLiteral(": sends ")
            + QString::number(sent);
        if (held) {
            const qint16 now = compareConfigValue(*held, field);
            text += QStringLiteral(", the PLS holds ") + QString::number(now);
            differing += now != sent ? 1 : 0;
        }
    }
    text += QStringLiteral("\r\n\r\n");
    if (!held) {
        text += QStringLiteral("What the PLS holds now could not be read (%1).")
                    .arg(causeText(scale ? Cause::BadReply : scale.cause()));
    } else {
        text += differing == 0 ? QStringLiteral("The PLS holds these values already.")
            : differing == 1   ? QStringLiteral("1 value differs.")
                               : QStringLiteral("%1 values differ.").arg(differing);
    }
    return text + QStringLiteral("\r\n\r\nDo you wish to continue?");
}

void TimingEditor::resetPLSConfigCommand()
{
    const std::array<qint16, 24> list = plsConfigDownloadList(CurrentData);
    if (!m_rs.OnlineMode)
        return;
    const std::optional<QString> question = resetQuestion();
    if (!question)
        return;
    if (m_prompter.msgBox(*question, QStringLiteral("Reset PLS Config"), MsgIcon::Question, MsgButtons::YesNo,
            MsgDefault::Button2)
        != MsgResult::Yes)
        return;
    // On a running press it asks again.
    if (confirmWhileRunning(m_rs, m_prompter, QStringLiteral("Reset PLS Config"),
            QStringLiteral("Resetting the PLS configuration reprograms the PLS of the running press."))
        != PressCheck::Go)
        return;
    for (;;) {
        const bool ok = m_rs.PLSConfigDownload(list, CurrentData.PlsScaleFactor).ok();
        if (m_rs.CommError)
            return;
        if (ok) {
            showConfiguration();
            return;
        }
        if (m_prompter.msgBox(QStringLiteral("Unable to Reset PLS Configuration Parameters"),
                QStringLiteral("PLS Config Download"), MsgIcon::Question, MsgButtons::RetryCancel)
            != MsgResult::Retry)
            break;
    }
    m_state.configTexts.fill(placeholder::kFailedValue);
    publish();
}

} // namespace talvek
