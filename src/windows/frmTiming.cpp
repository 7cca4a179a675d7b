#include "frmTiming.h"

#include "BasicText.h"
#include "ControlArray.h"
#include "FormUtility.h"
#include "MachineData.h"
#include "NumericField.h"
#include "Prompter.h"
#include "RSComm.h"
#include "UpDown.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace talvek {

namespace {

// Setpoints are positions in the machine cycle.
constexpr int SetpointMax = 359;
constexpr int OffsetMax = 359;
// Above this speed the position is not shown.
constexpr int PositionSpeedLimit = 50;
// The online pass ends when an item says so; this only bounds it.
constexpr int OpenEndedPass = std::numeric_limits<int>::max();

const QString SetupTitle = QStringLiteral("Set-up");
// What a PLS read gives when it fails.
constexpr qint32 PLSReadFailure = -9999;
const QString SetpointTitle = QStringLiteral("Channel Setpoint");

// A field's text as a 16-bit number (marker texts read as 0).
qint16 fieldNumber(const QLineEdit* box)
{
    const qint32 v = RoundedInt32(Val(box->text()));
    return qint16(
        std::clamp<qint32>(v, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()));
}

QLabel* valueLabel(QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setMinimumWidth(56);
    return l;
}

} // namespace

frmTiming::frmTiming(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent)
    : QWidget(parent)
    , tbsTiming(new QTabBar(this))
    , cmdRecallChan(new QPushButton(QStringLiteral("&Recall Channel")))
    , cmdClearChan(new QPushButton(QStringLiteral("&Clear Channel")))
    , cmdSetOffset(new QPushButton(QStringLiteral("Set &Offset")))
    , cmdResetPLSConfig(new QPushButton(QStringLiteral("&Reset PLS Config")))
    , cmdDefault(new QPushButton(QStringLiteral("-"), this))
    , sbrMachineTiming(new QStatusBar(this))
    , m_prompter(prompter)
    , m_rs(rs)
    , m_form(prompter)
{
    setObjectName(QStringLiteral("frmTiming"));
    setWindowTitle(QStringLiteral("Machine Timing"));

    tbsTiming->setObjectName(QStringLiteral("tbsTiming"));
    auto* page = MakeTabPages(this, tbsTiming,
        { QStringLiteral("&Timing Channels"), QStringLiteral("&PLS Configuration") }, "fraTiming",
        { QStringLiteral("Set Timing Channels"), QStringLiteral("PLS Configuration") }, fraTiming);

    const std::array<const char*, 5> groupCaptions { "Timing Channels", "Resolver &Offset", "P&LS Channel",
        "Speed Compensation", "PLS Configuration" };
    for (int g = 0; g < 5; ++g) {
        auto* box = new QGroupBox(QLatin1String(groupCaptions[size_t(g)]), fraTiming[g <= 2 ? 0 : 1]);
        box->setObjectName(ControlArrayName("fraTmg", g));
        fraTmg[size_t(g)] = box;
    }

    // ---- the channel grid ----
    auto* grid = new QGridLayout(fraTmg[0]);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(8);
    grid->setColumnMinimumWidth(3, 18);
    for (int h = 0; h < 2; ++h) {
        auto* heading = new QLabel(QLatin1String(h == 0 ? "ON" : "OFF"), fraTmg[0]);
        heading->setObjectName(ControlArrayName("lblChannel", 8 + h));
        heading->setAlignment(Qt::AlignCenter);
        grid->addWidget(heading, 0, 1 + 3 * h, 1, 2);
        lblChannel[size_t(8 + h)] = heading;
    }
    for (int ch = 0; ch < ChannelCount; ++ch) {
        auto* name = new QLabel(
            TimingChannelName(ch) + QStringLiteral(" (CH0&") + QString::number(ch) + QStringLiteral("):"),
            fraTmg[0]);
        name->setObjectName(ControlArrayName("lblChannel", ch));
        grid->addWidget(name, ch + 1, 0);
        lblChannel[size_t(ch)] = name;
        for (const int i : { ch, ch + OffField }) {
            auto* text = new QLineEdit(fraTmg[0]);
            text->setObjectName(ControlArrayName("txtChannel", i));
            text->setFixedWidth(56);
            text->setText(NoValue);
            auto* upd = new UpDown(fraTmg[0]);
            upd->setObjectName(ControlArrayName("updChannel", i));
            upd->setRange(0, SetpointMax);
            upd->setIncrement(1);
            upd->setFixedHeight(text->sizeHint().height());
            const int column = i < OffField ? 1 : 4;
            grid->addWidget(text, ch + 1, column);
            grid->addWidget(upd, ch + 1, column + 1);
            txtChannel[size_t(i)] = text;
            updChannel[size_t(i)] = upd;

            // Runs before the field's own change handling (slots run in the
            // order they were connected): the accepted value that follows is
            // the up-down control's, not a typed one.
            connect(upd, &UpDown::Change, this, [this, i] { m_spinnerField = i; });
            NumericEntryOptions options;
            options.holder = ValueHolder::Text;
            options.title = SetupTitle;
            options.exemptText = EmptyChannel;
            auto f = std::make_unique<NumericField>(m_form, text, upd, cmdDefault, options);
            f->entry().setOnAccept([this, i](qint32 value, const QString&) {
                return m_spinnerField == i ? acceptSpinner(i, value) : acceptChannel(i, value);
            });
            connect(upd, &UpDown::Change, this, [this] { m_spinnerField = -1; });
            m_channelFields[size_t(i)] = std::move(f);
        }
        name->setBuddy(txtChannel[size_t(ch)]);
    }

    // ---- resolver offset and PLS channel ----
    const std::array<int, 2> tmgMax { OffsetMax, ChannelCount - 1 };
    for (int i = 0; i < 2; ++i) {
        QGroupBox* box = fraTmg[size_t(1 + i)];
        auto* text = new QLineEdit(box);
        text->setObjectName(ControlArrayName("txtTmg", i));
        text->setFixedWidth(56);
        text->setText(QStringLiteral("0"));
        auto* upd = new UpDown(box);
        upd->setObjectName(ControlArrayName("updTmg", i));
        upd->setRange(0, tmgMax[size_t(i)]);
        upd->setIncrement(1);
        upd->setFixedHeight(text->sizeHint().height());
        txtTmg[size_t(i)] = text;
        updTmg[size_t(i)] = upd;

        NumericEntryOptions options;
        options.holder = ValueHolder::Text;
        options.title = QStringLiteral("Resolver Offset");
        options.plainOnBegin = true;
        auto f = std::make_unique<NumericField>(m_form, text, upd, cmdDefault, options);
        // The values are parameters of the command buttons: nothing is
        // stored or written when they are accepted.
        f->entry().setOnAccept([](qint32, const QString&) { return true; });
        m_tmgFields[size_t(i)] = std::move(f);
    }
    m_tmgFields[OffsetField]->setEnterTarget(cmdSetOffset);

    cmdSetOffset->setParent(fraTmg[1]);
    cmdSetOffset->setObjectName(QStringLiteral("cmdSetOffset"));
    auto* offsetLayout = new QHBoxLayout(fraTmg[1]);
    offsetLayout->setSpacing(6);
    offsetLayout->addWidget(txtTmg[OffsetField]);
    offsetLayout->addWidget(updTmg[OffsetField]);
    offsetLayout->addSpacing(12);
    offsetLayout->addWidget(cmdSetOffset);
    offsetLayout->addStretch();

    cmdRecallChan->setParent(fraTmg[2]);
    cmdRecallChan->setObjectName(QStringLiteral("cmdRecallChan"));
    cmdClearChan->setParent(fraTmg[2]);
    cmdClearChan->setObjectName(QStringLiteral("cmdClearChan"));
    auto* channelLayout = new QHBoxLayout(fraTmg[2]);
    channelLayout->setSpacing(6);
    channelLayout->addWidget(txtTmg[ChannelNumberField]);
    channelLayout->addWidget(updTmg[ChannelNumberField]);
    channelLayout->addSpacing(12);
    channelLayout->addWidget(cmdRecallChan);
    channelLayout->addWidget(cmdClearChan);
    channelLayout->addStretch();

    auto* timingPage = new QHBoxLayout(fraTiming[0]);
    timingPage->setContentsMargins(0, 0, 0, 0);
    timingPage->setSpacing(12);
    timingPage->addWidget(fraTmg[0], 0, Qt::AlignTop);
    auto* side = new QVBoxLayout;
    side->setSpacing(12);
    side->addWidget(fraTmg[1]);
    side->addWidget(fraTmg[2]);
    side->addStretch();
    timingPage->addLayout(side);

    // ---- the PLS configuration ----
    std::array<QGridLayout*, 2> cfgGrids { new QGridLayout(fraTmg[4]), new QGridLayout(fraTmg[3]) };
    for (QGridLayout* g : cfgGrids) {
        g->setHorizontalSpacing(8);
        g->setVerticalSpacing(8);
    }
    for (int i = 0; i < 10; ++i) {
        QGroupBox* box = fraTmg[i < 2 ? 4 : 3];
        const QString caption = i == 0 ? QStringLiteral("Number of PLS Channels:")
            : i == 1                   ? QStringLiteral("PLS Program:")
                                       : QStringLiteral("CH0%1 (msec):").arg(i - 2);
        auto* description = new QLabel(caption, box);
        description->setObjectName(ControlArrayName("lblCfgDescription", i));
        auto* value = valueLabel(box);
        value->setObjectName(ControlArrayName("lblPLSCfg", i));
        value->setText(NoValue);
        QGridLayout* g = cfgGrids[i < 2 ? 0 : 1];
        const int row = i < 2 ? i : i - 2;
        g->addWidget(description, row, 0);
        g->addWidget(value, row, 1);
        lblCfgDescription[size_t(i)] = description;
        lblPLSCfg[size_t(i)] = value;
    }
    cmdResetPLSConfig->setParent(fraTmg[4]);
    cmdResetPLSConfig->setObjectName(QStringLiteral("cmdResetPLSConfig"));
    cfgGrids[0]->setRowMinimumHeight(2, 12);
    cfgGrids[0]->addWidget(cmdResetPLSConfig, 3, 0, 1, 2, Qt::AlignLeft);
    cfgGrids[0]->setRowStretch(4, 1);
    auto* configPage = new QHBoxLayout(fraTiming[1]);
    configPage->setContentsMargins(0, 0, 0, 0);
    configPage->setSpacing(12);
    configPage->addWidget(fraTmg[4], 0, Qt::AlignTop);
    configPage->addWidget(fraTmg[3], 0, Qt::AlignTop);
    configPage->addStretch();

    // Enter on a focused command button clicks it (Enter in the offset field
    // leads to Set Offset).
    // The commands wait for the first presentation to enable them.
    for (QPushButton* b : { cmdRecallChan, cmdClearChan, cmdSetOffset, cmdResetPLSConfig }) {
        b->setAutoDefault(true);
        b->setEnabled(false);
    }

    SetUpFocusSink(cmdDefault);

    // ---- the status bar ----
    sbrMachineTiming->setObjectName(QStringLiteral("sbrMachineTiming"));
    sbrMachineTiming->setSizeGripEnabled(false);
    const std::array<const char*, 4> panelTexts { "RPM:", "Position:", "Offset:", "Scale:" };
    const std::array<const char*, 4> panelTips { "Resolver RPM:", "Machine Position", "Resolver Offset",
        "PLS Scale Factor" };
    for (int n = 0; n < 4; ++n) {
        auto* label = new QLabel(QLatin1String(panelTexts[size_t(n)]), sbrMachineTiming);
        label->setObjectName(ControlArrayName("sbrMachineTiming_Panel", n + 1));
        label->setToolTip(QLatin1String(panelTips[size_t(n)]));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setIndent(4);
        sbrMachineTiming->addWidget(label, 1);
        m_panels[size_t(n)] = label;
    }

    auto* top = LayOutTabbedForm(this, tbsTiming, page, cmdDefault);
    top->setContentsMargins(10, 10, 10, 0); // the status bar runs to the bottom edge
    top->addWidget(sbrMachineTiming);

    // Tab order: the grid row by row (ON field, its up-down, OFF field, its
    // up-down), then the offset and the channel commands.
    QWidget* previous = tbsTiming;
    auto chain = [this, &previous](QWidget* next) {
        setTabOrder(previous, next);
        previous = next;
    };
    for (int ch = 0; ch < ChannelCount; ++ch) {
        for (const int i : { ch, ch + OffField }) {
            chain(txtChannel[size_t(i)]);
            chain(updChannel[size_t(i)]);
        }
    }
    chain(txtTmg[OffsetField]);
    chain(updTmg[OffsetField]);
    chain(cmdSetOffset);
    chain(txtTmg[ChannelNumberField]);
    chain(updTmg[ChannelNumberField]);
    chain(cmdRecallChan);
    chain(cmdClearChan);
    chain(cmdResetPLSConfig);
    chain(cmdDefault);

    connect(tbsTiming, &QTabBar::currentChanged, this, &frmTiming::tbsTiming_Click);
    connect(cmdRecallChan, &QPushButton::clicked, this, &frmTiming::cmdRecallChan_Click);
    connect(cmdClearChan, &QPushButton::clicked, this, &frmTiming::cmdClearChan_Click);
    connect(cmdSetOffset, &QPushButton::clicked, this, &frmTiming::cmdSetOffset_Click);
    connect(cmdResetPLSConfig, &QPushButton::clicked, this, &frmTiming::cmdResetPLSConfig_Click);

    m_loop = std::make_unique<RefreshLoop>(static_cast<RefreshClient&>(*this), rs, mode);
    m_loop->followVisibility(this, RefreshLoop::Activation::PresentMode);
    Form_Load();
}

frmTiming::~frmTiming()
{
    m_form.live = false;
    if (m_loop)
        m_loop->stop();
    m_loop.reset();
    for (auto& f : m_channelFields)
        f.reset();
    for (auto& f : m_tmgFields)
        f.reset();
}

void frmTiming::Form_Load()
{
    m_lastOfflineEditing = OfflineEditing;
}

// Runs when the window is shown (not by the window system); the presentation
// of the mode follows, then the refresh loop starts.
void frmTiming::Form_Activate()
{
    for (QFrame* f : fraTiming) {
        f->setFrameShape(QFrame::NoFrame);
        f->hide();
    }
    fraTiming[0]->show();
    m_form.escape = false;
}

// Runs when the window is hidden (not by the window system), after its
// refresh loop has stopped.
void frmTiming::Form_Unload()
{
    m_form.live = false;
    for (auto& f : m_channelFields) {
        if (f)
            f->entry().setEditing(false);
    }
    for (auto& f : m_tmgFields)
        f->entry().setEditing(false);
    m_present = Present::Done;
    m_grid.active = false;
}

void frmTiming::tbsTiming_Click(int index)
{
    if (index < 0 || index > 1)
        return;
    if (m_form.holding) {
        // A refused entry keeps the operator in its field: the page stays.
        const QSignalBlocker block(tbsTiming);
        tbsTiming->setCurrentIndex(fraTiming[0]->isHidden() ? 1 : 0);
        return;
    }
    fraTiming[0]->hide();
    fraTiming[1]->hide();
    fraTiming[size_t(index)]->show();
}

// ---- presentations ----

void frmTiming::setGridEnabled(bool on)
{
    for (QLabel* l : lblChannel)
        l->setEnabled(on);
    for (auto& f : m_channelFields) {
        if (f)
            f->setEnabled(on);
    }
}

void frmTiming::setOffsetEnabled(bool on)
{
    fraTmg[1]->setEnabled(on);
    m_tmgFields[OffsetField]->setEnabled(on);
    cmdSetOffset->setEnabled(on);
}

void frmTiming::setChannelTexts(int ch, const QString& on, const QString& off)
{
    if (ch < 0 || ch >= ChannelCount)
        return;
    txtChannel[size_t(ch)]->setText(on);
    txtChannel[size_t(ch + OffField)]->setText(off);
}

void frmTiming::applyOnlinePresentation()
{
    m_stoppedNow = m_stoppedBefore = m_justStopped = m_justStarted = false;
    sbrMachineTiming->setEnabled(true);
    for (const int g : { 0, 2, 3, 4 })
        fraTmg[size_t(g)]->setEnabled(true);
    setGridEnabled(true);
    for (int i = 0; i < ChannelFieldCount; ++i) {
        if (txtChannel[size_t(i)])
            txtChannel[size_t(i)]->setText(NoValue);
    }
    for (QLabel* l : lblCfgDescription)
        l->setEnabled(true);
    for (QLabel* l : lblPLSCfg)
        l->setEnabled(true);
    m_tmgFields[ChannelNumberField]->setEnabled(true);
    // The configuration and the grid are read by the loop's next steps, one
    // PLS operation each; finishOnlinePresentation() ends the presentation.
    m_present = Present::Configuration;
    m_grid = {};
    m_form.live = true;
    cmdDefault->setFocus(Qt::OtherFocusReason);
}

void frmTiming::finishOnlinePresentation()
{
    cmdRecallChan->setEnabled(true);
    cmdClearChan->setEnabled(true);
    cmdResetPLSConfig->setEnabled(true);
    // The live status pass enables the offset while the machine stands still.
    setOffsetEnabled(false);
    m_present = Present::Done;
}

void frmTiming::applyOfflinePresentation()
{
    m_present = Present::Done;
    m_grid.active = false;
    m_stoppedNow = m_stoppedBefore = m_justStopped = m_justStarted = false;
    sbrMachineTiming->setEnabled(false);
    panel(1)->setText(QStringLiteral("RPM: -"));
    panel(2)->setText(QStringLiteral("Position: -"));
    panel(3)->setText(QStringLiteral("Offset: ") + QString::number(CurrentData.PlsOffset));
    panel(4)->setText(QStringLiteral("Scale: ") + QString::number(CurrentData.PlsScaleFactor));

    for (QGroupBox* g : fraTmg)
        g->setEnabled(false);
    if (OfflineEditing) {
        fraTmg[0]->setEnabled(true);
        fraTmg[2]->setEnabled(true);
    }
    setGridEnabled(OfflineEditing);
    for (int ch = 0; ch < ChannelCount; ++ch) {
        setChannelTexts(ch, QString::number(CurrentData.OnSetpoint[size_t(ch)]),
            QString::number(CurrentData.OffSetpoint[size_t(ch)]));
    }

    for (QLabel* l : lblCfgDescription)
        l->setEnabled(false);
    for (QLabel* l : lblPLSCfg)
        l->setEnabled(false);
    cmdResetPLSConfig->setEnabled(false);
    lblPLSCfg[0]->setText(QString::number(CurrentData.PlsChannelCount));
    lblPLSCfg[1]->setText(QString::number(CurrentData.PlsProgram));
    for (int i = 0; i < 8; ++i)
        lblPLSCfg[size_t(2 + i)]->setText(QString::number(CurrentData.SpeedCompensation[size_t(i)]));

    cmdSetOffset->setEnabled(false);
    m_tmgFields[OffsetField]->setEnabled(false);
    cmdRecallChan->setEnabled(false);
    cmdClearChan->setEnabled(OfflineEditing);
    m_tmgFields[ChannelNumberField]->setEnabled(OfflineEditing);
    m_form.live = true;
    cmdDefault->setFocus(Qt::OtherFocusReason);
}

// ---- the refresh loop ----

void frmTiming::cycleStarted()
{
    // New or opened data is shown again.
    if (!m_rs.OnlineMode && DataReloaded) {
        DataReloaded = false;
        m_loop->setOfflinePresented(false);
    }
}

int frmTiming::beginOnlinePass()
{
    m_statusStep = 1;
    m_positionRead = false;
    return OpenEndedPass;
}

bool frmTiming::onlineItem(int)
{
    if (m_present == Present::Configuration) {
        ShowConfiguration();
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
        return linkOk && !m_rs.CommError;
    }
    if (m_present == Present::Grid)
        finishOnlinePresentation();
    if (m_rs.CommError)
        return false;
    return liveStatusStep();
}

// One step k of the live status pass (k = 2 takes two steps: speed, then
// position). Returns false when the pass is over.
bool frmTiming::liveStatusStep()
{
    if (m_positionRead) {
        m_positionRead = false;
        panel(2)->setText(m_positionRpm <= PositionSpeedLimit ? QStringLiteral("Position: ") + m_rs.PLSPos()
                                                              : QStringLiteral("Position: 888"));
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
    case 1: {
        const qint32 rpm = RoundedInt32(Val(m_rs.PLSRpm()));
        panel(1)->setText(QStringLiteral("RPM: ") + QString::number(rpm));
        m_stoppedNow = rpm == 0;
        m_justStopped = m_stoppedNow && !m_stoppedBefore;
        m_justStarted = m_stoppedBefore && !m_stoppedNow;
        m_stoppedBefore = m_stoppedNow;
        // The resolver offset can be changed only while the resolver stands.
        if (m_justStopped)
            setOffsetEnabled(true);
        if (m_justStarted)
            setOffsetEnabled(false);
        m_statusStep = 2;
        return true;
    }
    case 2:
        m_positionRpm = RoundedInt32(Val(m_rs.PLSRpm()));
        m_positionRead = true;
        return true;
    case 3:
        panel(3)->setText(QStringLiteral("Offset: ") + m_rs.PLSOffset());
        m_statusStep = 4;
        return true;
    case 4:
        panel(4)->setText(QStringLiteral("Scale: ") + m_rs.PLSScaleFactor());
        m_statusStep = 5;
        return true;
    default:
        // k = 5: only the checks above.
        m_statusStep = 1;
        return false;
    }
}

void frmTiming::offlinePass()
{
    if (OfflineEditing != m_lastOfflineEditing) {
        // The next cycle applies the offline presentation with the new enabling.
        m_lastOfflineEditing = OfflineEditing;
        m_loop->setOfflinePresented(false);
    }
}

// ---- PLS reads ----

void frmTiming::ShowConfiguration()
{
    // A link that has failed already ends it quietly (the upload would
    // report its failure).
    if (!m_rs.OnlineMode || m_rs.CommError)
        return;
    const std::array<qint16, 19> list = m_rs.PLSConfigUpload();
    if (m_rs.CommError)
        return;
    for (int i = 0; i < 10; ++i)
        lblPLSCfg[size_t(i)]->setText(QString::number(list[size_t(i)]));
}

frmTiming::RecallOutcome frmTiming::recallOnce(int ch, bool store)
{
    // Offline the recall fails without contacting the controller.
    const bool ok = m_rs.OnlineMode && m_rs.RecallChannel(qint16(ch));
    if (!ok) {
        if (m_rs.CommError)
            return RecallOutcome::CommFailed;
        m_prompter.msgBox(QStringLiteral("Unable to Recall Channel ch") + QString::number(ch),
            QStringLiteral("Channel Recall"), MsgIcon::Information, MsgButtons::OK);
        setChannelTexts(ch, FailedValue, FailedValue);
        return RecallOutcome::Done;
    }
    m_recallState = m_rs.ChannelRecallState;
    m_recallPos = m_rs.ChannelRecallPos;
    const QString position = QString::number(m_recallPos);
    const bool known = ch >= 0 && ch < ChannelCount;
    switch (m_recallState) {
    case 1:
        if (known)
            txtChannel[size_t(ch)]->setText(position);
        if (store && known)
            CurrentData.OnSetpoint[size_t(ch)] = m_recallPos;
        return RecallOutcome::Again;
    case 0:
        if (known)
            txtChannel[size_t(ch + OffField)]->setText(position);
        if (store && known)
            CurrentData.OffSetpoint[size_t(ch)] = m_recallPos;
        return RecallOutcome::Again;
    default:
        setChannelTexts(ch, EmptyChannel, EmptyChannel);
        if (store && known) {
            CurrentData.OnSetpoint[size_t(ch)] = 0;
            CurrentData.OffSetpoint[size_t(ch)] = 0;
        }
        return RecallOutcome::Done;
    }
}

// Up to two recalls: the PLS gives one setpoint per recall.
void frmTiming::RecallChannel(int ch, bool store)
{
    for (int n = 0; n < 2; ++n) {
        if (recallOnce(ch, store) != RecallOutcome::Again)
            return;
    }
}

void frmTiming::beginGridRecall()
{
    cmdDefault->setFocus(Qt::OtherFocusReason);
    m_grid = GridRecall { true, 0, 0 };
}

bool frmTiming::gridRecallStep()
{
    const RecallOutcome outcome = recallOnce(m_grid.channel, false);
    if (outcome == RecallOutcome::CommFailed || m_rs.CommError) {
        m_grid.active = false;
        return false;
    }
    if (outcome == RecallOutcome::Again && ++m_grid.recalls < 2)
        return true;
    m_grid.recalls = 0;
    if (++m_grid.channel >= ChannelCount)
        m_grid.active = false;
    return true;
}

// ---- the channel setpoint fields ----

// A typed setpoint that passed the range check.
bool frmTiming::acceptChannel(int i, qint32 value)
{
    const int ch = i % OffField;
    QLineEdit* box = txtChannel[size_t(i)];
    box->setText(QString::number(value));
    const qint32 saved = m_channelFields[size_t(i)]->entry().savedValue();
    if (value == saved)
        return true;
    if (fieldNumber(txtChannel[size_t(ch)]) == fieldNumber(txtChannel[size_t(ch + OffField)])) {
        // Refused: the saved value comes back and the focus returns once
        // the message has been shown.
        showEqualSetpoints(i, true);
        return false;
    }
    storeSetpoint(i, value);
    if (m_rs.OnlineMode)
        programChannel(i, saved, false);
    return true;
}

// The value an up-down click gave a setpoint field: the same ON = OFF check
// as a typed value (the control has put the previous value back when this
// refuses).
bool frmTiming::acceptSpinner(int i, qint32 value)
{
    const int ch = i % OffField;
    if (fieldNumber(txtChannel[size_t(ch)]) == fieldNumber(txtChannel[size_t(ch + OffField)])) {
        showEqualSetpoints(i, false);
        return false;
    }
    const qint32 previous = updChannel[size_t(i)]->stepOrigin();
    storeSetpoint(i, value);
    if (m_rs.OnlineMode)
        programChannel(i, previous, true);
    return true;
}

void frmTiming::storeSetpoint(int i, qint32 value)
{
    const int ch = i % OffField;
    if (i < OffField)
        CurrentData.OnSetpoint[size_t(ch)] = qint16(value);
    else
        CurrentData.OffSetpoint[size_t(ch)] = qint16(value);
}

void frmTiming::programChannel(int i, qint32 previous, bool fromSpinner)
{
    const int ch = i % OffField;
    const bool ok = m_rs.SingleSetpoint(qint16(ch), fieldNumber(txtChannel[size_t(ch)]),
        fieldNumber(txtChannel[size_t(ch + OffField)]), true);
    if (!ok && !m_rs.CommError) {
        const QString prefix = fromSpinner
            ? QStringLiteral("Unable to Successfully Program Setpoint for Channel CH")
            : QStringLiteral("Unable to Successfully Program Setpoint for Channel CH0");
        m_prompter.msgBox(prefix + QString::number(ch) + QLatin1Char('.'), SetpointTitle, MsgIcon::Critical,
            MsgButtons::OK);
        // The PLS refused the value: the working data keeps the value it had,
        // and the grid shows what the PLS holds now (the refused record may
        // have followed the channel's clear).
        storeSetpoint(i, previous);
        RecallChannel(ch, false);
    }
    // A box (the link's or ours) had the focus while the field was being
    // left: the window takes it back, as the owner of a closed box does.
    if (isVisible() && !isActiveWindow())
        activateWindow();
}

void frmTiming::showEqualSetpoints(int i, bool typed)
{
    if (!typed) {
        // An arrow click: the focus is on the focus sink already and the
        // control puts the previous value back; nothing is queued.
        m_prompter.msgBox(QStringLiteral("ON Setpoint cannot Equal OFF Setpoint"), SetupTitle,
            MsgIcon::Information, MsgButtons::OK);
        return;
    }
    // The refusal (saved value back, focus back) is queued right behind this
    // call; the message follows it. A box opened first would run the refusal
    // inside its own event loop, under the box.
    QMetaObject::invokeMethod(
        this,
        [this, i] {
            QMetaObject::invokeMethod(
                this,
                [this, i] {
                    if (!m_form.live)
                        return;
                    m_prompter.msgBox(QStringLiteral("ON Setpoint cannot Equal OFF Setpoint"), SetupTitle,
                        MsgIcon::Information, MsgButtons::OK);
                    // The box had the focus: it comes back to the field.
                    QLineEdit* box = txtChannel[size_t(i)];
                    if (box->isEnabled() && box->isVisible()) {
                        if (!box->isActiveWindow())
                            box->activateWindow();
                        box->setFocus(Qt::OtherFocusReason);
                        SelectAllText(box);
                    }
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

// ---- the command buttons ----

int frmTiming::wholeFieldValue(int field)
{
    const qint32 value = RoundedInt32(Val(txtTmg[size_t(field)]->text()));
    txtTmg[size_t(field)]->setText(QString::number(value));
    return value;
}

void frmTiming::cmdRecallChan_Click()
{
    // A refused entry keeps the focus: the click that took it does not happen.
    if (m_form.holding)
        return;
    const int ch = wholeFieldValue(ChannelNumberField);
    if (ch < 0 || ch >= ChannelCount)
        return;
    RecallChannel(ch, false);
}

void frmTiming::cmdClearChan_Click()
{
    if (m_form.holding)
        return;
    for (;;) {
        const int c = wholeFieldValue(ChannelNumberField);
        if (c < 0 || c >= ChannelCount)
            return;
        const MsgResult answer = m_prompter.msgBox(QStringLiteral("You are about to Clear Channel CH0")
                + QString::number(c) + QStringLiteral(".\r\n\r\nDo you wish to continue?"),
            QStringLiteral("Clear Channel"), MsgIcon::Question, MsgButtons::YesNoCancel, MsgDefault::Button2);
        if (answer != MsgResult::Yes)
            return;
        if (m_rs.OnlineMode) {
            const bool ok = m_rs.ClearPLSChan(qint16(c));
            if (m_rs.CommError)
                return;
            if (ok) {
                // Both the grid and the working data show the cleared channel.
                RecallChannel(c, true);
                return;
            }
            if (m_prompter.msgBox(QStringLiteral("Unable to Clear Channel"), QStringLiteral("Clear Channel"),
                    MsgIcon::Question, MsgButtons::RetryCancel)
                == MsgResult::Retry)
                continue;
            setChannelTexts(c, FailedValue, FailedValue);
            return;
        }
        if (OfflineEditing) {
            setChannelTexts(c, EmptyChannel, EmptyChannel);
            CurrentData.OnSetpoint[size_t(c)] = 0;
            CurrentData.OffSetpoint[size_t(c)] = 0;
        }
        return;
    }
}

void frmTiming::cmdSetOffset_Click()
{
    if (m_form.holding)
        return;
    const int position = wholeFieldValue(OffsetField);
    if (!m_rs.OnlineMode)
        return;
    const MsgResult answer = m_prompter.msgBox(
        QStringLiteral("You are about to Change the Resolver Offset.\r\n\r\nDo you wish to continue?"),
        QStringLiteral("Set Offset"), MsgIcon::Question, MsgButtons::YesNoCancel, MsgDefault::Button2);
    if (answer == MsgResult::Yes) {
        const bool ok = m_rs.SetPLSOffset(qint16(position));
        if (m_rs.CommError)
            return;
        if (ok) {
            // The PLS turns the position wanted into an offset: the working
            // data keeps the offset it reports, not the position typed.
            const QString reported = m_rs.PLSOffset();
            const qint32 offset = RoundedInt32(Val(reported));
            if (!m_rs.CommError && offset != PLSReadFailure)
                CurrentData.PlsOffset = qint16(offset);
            return;
        }
        m_prompter.msgBox(QStringLiteral("Unable to Successfully Set the Resolver Offset"),
            QStringLiteral("Resolver Offset"), MsgIcon::Critical, MsgButtons::OK);
    }
    txtTmg[OffsetField]->setText(QStringLiteral("0"));
}

void frmTiming::cmdResetPLSConfig_Click()
{
    if (m_form.holding)
        return;
    const std::array<qint16, 24> list = PLSConfigDownloadList(CurrentData);
    if (!m_rs.OnlineMode)
        return;
    for (;;) {
        const bool ok = m_rs.PLSConfigDownload(list, CurrentData.PlsScaleFactor);
        if (m_rs.CommError)
            return;
        if (ok) {
            ShowConfiguration();
            return;
        }
        if (m_prompter.msgBox(QStringLiteral("Unable to Reset PLS Configuration Parameters"),
                QStringLiteral("PLS Config Download"), MsgIcon::Question, MsgButtons::RetryCancel)
            != MsgResult::Retry)
            break;
    }
    for (QLabel* l : lblPLSCfg)
        l->setText(FailedValue);
}

} // namespace talvek
