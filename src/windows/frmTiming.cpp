#include "windows/frmTiming.h"

#include "shared/MachineData.h"
#include "windows/ControlArray.h"
#include "windows/FormUtility.h"
#include "windows/NumericField.h"
#include "windows/UpDown.h"

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

namespace talvek {

namespace {

// Setpoints are positions in the machine cycle.
constexpr int SetpointMax = 359;
constexpr int OffsetMax = 359;

QLabel* valueLabel(QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setMinimumWidth(56);
    return l;
}

UpDown* fieldUpDown(QWidget* parent, QLineEdit* text, int max)
{
    auto* upd = new UpDown(parent);
    upd->setRange(0, max);
    upd->setIncrement(1);
    upd->setFixedHeight(text->sizeHint().height());
    return upd;
}

// A text box shows the text; the one it shows already stays as it is
// (selection and cursor included).
void setText(QLineEdit* box, const QString& text)
{
    if (box && box->text() != text)
        box->setText(text);
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
    , m_editor(std::make_unique<TimingEditor>(prompter, rs, mode))
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
    buildChannelGrid();
    buildParameterFields();
    layOutTimingPage();
    buildConfiguration();

    // Enter on a focused command button clicks it (Enter in the offset field
    // leads to Set Offset).
    const std::array<const char*, 4> commandNames { "cmdRecallChan", "cmdClearChan", "cmdSetOffset",
        "cmdResetPLSConfig" };
    const std::array<QPushButton*, 4> commands { cmdRecallChan, cmdClearChan, cmdSetOffset,
        cmdResetPLSConfig };
    for (size_t c = 0; c < commands.size(); ++c) {
        commands[c]->setObjectName(QLatin1String(commandNames[c]));
        commands[c]->setAutoDefault(true);
    }
    SetUpFocusSink(cmdDefault);
    buildStatusBar();

    auto* top = LayOutTabbedForm(this, tbsTiming, page, cmdDefault);
    top->setContentsMargins(10, 10, 10, 0); // the status bar runs to the bottom edge
    top->addWidget(sbrMachineTiming);
    chainTabOrder();

    connect(tbsTiming, &QTabBar::currentChanged, this, &frmTiming::tbsTiming_Click);
    connect(cmdRecallChan, &QPushButton::clicked, this, &frmTiming::cmdRecallChan_Click);
    connect(cmdClearChan, &QPushButton::clicked, this, &frmTiming::cmdClearChan_Click);
    connect(cmdSetOffset, &QPushButton::clicked, this, &frmTiming::cmdSetOffset_Click);
    connect(cmdResetPLSConfig, &QPushButton::clicked, this, &frmTiming::cmdResetPLSConfig_Click);
    draw(m_editor->state());
    connectEditor();

    m_editor->refreshLoop().followVisibility(this, RefreshLoop::Activation::PresentMode);
}

frmTiming::~frmTiming()
{
    m_form.live = false;
    m_editor->refreshLoop().stop();
    m_editor.reset();
    for (auto& f : m_channelFields)
        f.reset();
    for (auto& f : m_tmgFields)
        f.reset();
}

// ---- building the controls ----

void frmTiming::buildChannelGrid()
{
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
        for (const int i : { ch, ch + OffField })
            buildChannelField(ch, i, grid);
        name->setBuddy(txtChannel[size_t(ch)]);
    }
}

void frmTiming::buildChannelField(int ch, int i, QGridLayout* grid)
{
    auto* text = new QLineEdit(fraTmg[0]);
    text->setObjectName(ControlArrayName("txtChannel", i));
    text->setFixedWidth(56);
    auto* upd = fieldUpDown(fraTmg[0], text, SetpointMax);
    upd->setObjectName(ControlArrayName("updChannel", i));
    const int column = i < OffField ? 1 : 4;
    grid->addWidget(text, ch + 1, column);
    grid->addWidget(upd, ch + 1, column + 1);
    txtChannel[size_t(i)] = text;
    updChannel[size_t(i)] = upd;
    TimingEditor* editor = m_editor.get();
    connect(text, &QLineEdit::textChanged, editor,
        [editor, i](const QString& t) { editor->setChannelText(i, t); });

    // Runs before the field's own change handling (slots run in the order
    // they were connected): the accepted value that follows is the up-down
    // control's, not a typed one.
    connect(upd, &UpDown::Change, this, [this, i] { m_spinnerField = i; });
    NumericEntryOptions options;
    options.holder = ValueHolder::Text;
    options.title = QStringLiteral("Set-up");
    options.exemptText = TimingEditor::EmptyChannel;
    auto f = std::make_unique<NumericField>(m_form, text, upd, cmdDefault, options);
    f->entry().setOnAccept([this, i](qint32 value, const QString&) {
        return m_spinnerField == i ? acceptSpinner(i, value) : acceptChannel(i, value);
    });
    connect(upd, &UpDown::Change, this, [this] { m_spinnerField = -1; });
    m_channelFields[size_t(i)] = std::move(f);
}

void frmTiming::buildParameterFields()
{
    const std::array<int, 2> tmgMax { OffsetMax, ChannelCount - 1 };
    for (int i = 0; i < 2; ++i) {
        QGroupBox* box = fraTmg[size_t(1 + i)];
        auto* text = new QLineEdit(box);
        text->setObjectName(ControlArrayName("txtTmg", i));
        text->setFixedWidth(56);
        auto* upd = fieldUpDown(box, text, tmgMax[size_t(i)]);
        upd->setObjectName(ControlArrayName("updTmg", i));
        txtTmg[size_t(i)] = text;
        updTmg[size_t(i)] = upd;
        TimingEditor* editor = m_editor.get();
        connect(text, &QLineEdit::textChanged, editor,
            [editor, i](const QString& t) { editor->setParameterText(i, t); });

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
}

void frmTiming::layOutTimingPage()
{
    // A parameter field with its up-down control, then the buttons it serves.
    auto commandRow
        = [](QGroupBox* box, QLineEdit* text, UpDown* upd, std::initializer_list<QPushButton*> buttons) {
              auto* row = new QHBoxLayout(box);
              row->setSpacing(6);
              row->addWidget(text);
              row->addWidget(upd);
              row->addSpacing(12);
              for (QPushButton* b : buttons) {
                  b->setParent(box);
                  row->addWidget(b);
              }
              row->addStretch();
          };
    commandRow(fraTmg[1], txtTmg[OffsetField], updTmg[OffsetField], { cmdSetOffset });
    commandRow(
        fraTmg[2], txtTmg[ChannelNumberField], updTmg[ChannelNumberField], { cmdRecallChan, cmdClearChan });

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
}

void frmTiming::buildConfiguration()
{
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
        QGridLayout* g = cfgGrids[i < 2 ? 0 : 1];
        const int row = i < 2 ? i : i - 2;
        g->addWidget(description, row, 0);
        g->addWidget(value, row, 1);
        lblCfgDescription[size_t(i)] = description;
        lblPLSCfg[size_t(i)] = value;
    }
    cmdResetPLSConfig->setParent(fraTmg[4]);
    cfgGrids[0]->setRowMinimumHeight(2, 12);
    cfgGrids[0]->addWidget(cmdResetPLSConfig, 3, 0, 1, 2, Qt::AlignLeft);
    cfgGrids[0]->setRowStretch(4, 1);
    auto* configPage = new QHBoxLayout(fraTiming[1]);
    configPage->setContentsMargins(0, 0, 0, 0);
    configPage->setSpacing(12);
    configPage->addWidget(fraTmg[4], 0, Qt::AlignTop);
    configPage->addWidget(fraTmg[3], 0, Qt::AlignTop);
    configPage->addStretch();
}

void frmTiming::buildStatusBar()
{
    sbrMachineTiming->setObjectName(QStringLiteral("sbrMachineTiming"));
    sbrMachineTiming->setSizeGripEnabled(false);
    const std::array<const char*, 4> panelTips { "Resolver RPM:", "Machine Position", "Resolver Offset",
        "PLS Scale Factor" };
    for (int n = 0; n < 4; ++n) {
        auto* label = new QLabel(sbrMachineTiming);
        label->setObjectName(ControlArrayName("sbrMachineTiming_Panel", n + 1));
        label->setToolTip(QLatin1String(panelTips[size_t(n)]));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setIndent(4);
        sbrMachineTiming->addWidget(label, 1);
        m_panels[size_t(n)] = label;
    }
}

// Tab order: the grid row by row (ON field, its up-down, OFF field, its
// up-down), then the offset and the channel commands.
void frmTiming::chainTabOrder()
{
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
    for (QWidget* w : std::initializer_list<QWidget*> { txtTmg[OffsetField], updTmg[OffsetField],
             cmdSetOffset, txtTmg[ChannelNumberField], updTmg[ChannelNumberField], cmdRecallChan,
             cmdClearChan, cmdResetPLSConfig, cmdDefault })
        chain(w);
}

// The editor publishes what the window shows (it hears of every text the
// operator's fields take where they are built).
void frmTiming::connectEditor()
{
    TimingEditor* editor = m_editor.get();
    connect(editor, &TimingEditor::stateChanged, this, &frmTiming::draw);
    connect(editor, &TimingEditor::activating, this, &frmTiming::Form_Activate);
    connect(editor, &TimingEditor::unloading, this, &frmTiming::Form_Unload);
    connect(editor, &TimingEditor::presented, this, [this] {
        m_form.live = true;
        cmdDefault->setFocus(Qt::OtherFocusReason);
    });
    connect(editor, &TimingEditor::gridRecallStarting, this,
        [this] { cmdDefault->setFocus(Qt::OtherFocusReason); });
}

// ---- lifecycle ----

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

// ---- drawing the editor's state ----

void frmTiming::draw(const TimingState& state)
{
    sbrMachineTiming->setEnabled(state.statusBarEnabled);
    for (int n = 0; n < 4; ++n)
        m_panels[size_t(n)]->setText(state.panelTexts[size_t(n)]);
    for (int g = 0; g < 5; ++g)
        fraTmg[size_t(g)]->setEnabled(state.groupsEnabled[size_t(g)]);
    for (QLabel* l : lblChannel)
        l->setEnabled(state.gridEnabled);
    for (int i = 0; i < ChannelFieldCount; ++i) {
        if (m_channelFields[size_t(i)])
            m_channelFields[size_t(i)]->setEnabled(state.gridEnabled);
        setText(txtChannel[size_t(i)], state.channelTexts[size_t(i)]);
    }
    for (int i = 0; i < 10; ++i) {
        lblCfgDescription[size_t(i)]->setEnabled(state.configEnabled);
        lblPLSCfg[size_t(i)]->setEnabled(state.configEnabled);
        lblPLSCfg[size_t(i)]->setText(state.configTexts[size_t(i)]);
    }
    for (int i = 0; i < 2; ++i) {
        m_tmgFields[size_t(i)]->setEnabled(state.parameterEnabled[size_t(i)]);
        setText(txtTmg[size_t(i)], state.parameterTexts[size_t(i)]);
    }
    cmdRecallChan->setEnabled(state.commandEnabled[TimingState::RecallChan]);
    cmdClearChan->setEnabled(state.commandEnabled[TimingState::ClearChan]);
    cmdSetOffset->setEnabled(state.commandEnabled[TimingState::SetOffset]);
    cmdResetPLSConfig->setEnabled(state.commandEnabled[TimingState::ResetPLSConfig]);
}

// ---- the channel setpoint fields ----

// A typed setpoint that passed the range check.
bool frmTiming::acceptChannel(int i, qint32 value)
{
    const qint32 saved = m_channelFields[size_t(i)]->entry().savedValue();
    const TimingEditor::SetpointResult result = m_editor->typedSetpoint(i, value, saved);
    if (result == TimingEditor::SetpointResult::Refused) {
        // The saved value comes back and the focus returns once the message
        // has been shown.
        refuseEqualSetpoints(i);
        return false;
    }
    if (result == TimingEditor::SetpointResult::Programmed)
        takeFocusBack();
    return true;
}

// The value an up-down click gave a setpoint field (the control has put the
// previous value back when the editor refuses it).
bool frmTiming::acceptSpinner(int i, qint32 value)
{
    const qint32 previous = updChannel[size_t(i)]->stepOrigin();
    const TimingEditor::SetpointResult result = m_editor->steppedSetpoint(i, value, previous);
    if (result == TimingEditor::SetpointResult::Programmed)
        takeFocusBack();
    return result != TimingEditor::SetpointResult::Refused;
}

void frmTiming::takeFocusBack()
{
    if (isVisible() && !isActiveWindow())
        activateWindow();
}

// The refusal (saved value back, focus back) is queued right behind the
// field's check; the message follows it. A box opened first would run the
// refusal inside its own event loop, under the box.
void frmTiming::refuseEqualSetpoints(int i)
{
    const auto queue = [this](auto call) { QMetaObject::invokeMethod(this, call, Qt::QueuedConnection); };
    queue([this, i, queue] { queue([this, i] { finishEqualSetpoints(i); }); });
}

void frmTiming::finishEqualSetpoints(int i)
{
    if (!m_form.live)
        return;
    m_editor->showEqualSetpoints();
    // The box had the focus: it comes back to the field.
    QLineEdit* box = txtChannel[size_t(i)];
    if (box->isEnabled() && box->isVisible()) {
        if (!box->isActiveWindow())
            box->activateWindow();
        box->setFocus(Qt::OtherFocusReason);
        SelectAllText(box);
    }
}

// ---- the command buttons ----
// A refused entry keeps the focus: the click that took it does not happen.

void frmTiming::cmdRecallChan_Click()
{
    if (!m_form.holding)
        m_editor->recallChannelCommand();
}

void frmTiming::cmdClearChan_Click()
{
    if (!m_form.holding)
        m_editor->clearChannelCommand();
}

void frmTiming::cmdSetOffset_Click()
{
    if (!m_form.holding)
        m_editor->setOffsetCommand();
}

void frmTiming::cmdResetPLSConfig_Click()
{
    if (!m_form.holding)
        m_editor->resetPLSConfigCommand();
}

} // namespace talvek
