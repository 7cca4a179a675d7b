#include "windows/frmTiming.h"

#include "shared/MachineData.h"
#include "windows/ControlArray.h"
#include "windows/FormUtility.h"
#include "windows/NumericField.h"
#include "windows/TimingDiagramView.h"
#include "windows/UpDown.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabBar>
#include <QVBoxLayout>

namespace talvek {

namespace {

// A text box shows the text; the one it shows already stays as it is
// (selection and cursor included).
void setText(QLineEdit* box, const QString& text)
{
    if (box && box->text() != text)
        box->setText(text);
}

} // namespace

frmTiming::frmTiming(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent)
    : ChildWindow(parent)
    , tbsTiming(new QTabBar(this))
    , cmdRecallChan(new QPushButton(QStringLiteral("&Recall Channel")))
    , cmdClearChan(new QPushButton(QStringLiteral("&Clear Channel")))
    // "Set Offset" is reached by its S: the O belongs to the offset field's
    // group "Resolver &Offset".
    , cmdSetOffset(new QPushButton(QStringLiteral("&Set Offset")))
    , cmdResetPLSConfig(new QPushButton(QStringLiteral("&Reset PLS Config")))
    , cmdRecallAll(new QPushButton(QStringLiteral("Recall &All Channels")))
    , cmdDefault(makeFocusSink(QStringLiteral("-")))
    , sbrMachineTiming(new QStatusBar(this))
    , m_editor(std::make_unique<TimingEditor>(prompter, rs))
    , m_form(prompter)
    , m_prompter(prompter)
{
    setObjectName(QStringLiteral("frmTiming"));
    setWindowTitle(QStringLiteral("Machine Timing"));
    setEntryForm(m_form);

    tbsTiming->setObjectName(QStringLiteral("tbsTiming"));
    auto* page = makeTabPages(this, tbsTiming,
        { QStringLiteral("&Timing Channels"), QStringLiteral("&PLS Configuration") }, "fraTiming",
        { QStringLiteral("Set Timing Channels"), QStringLiteral("PLS Configuration") }, fraTiming);

    const std::array<const char*, 5> groupCaptions { "Timing Channels", "Resolver &Offset", "P&LS Channel",
        "Speed Compensation", "PLS Configuration" };
    for (int g = 0; g < 5; ++g) {
        auto* box = new QGroupBox(QLatin1String(groupCaptions[size_t(g)]), fraTiming[g <= 2 ? 0 : 1]);
        box->setObjectName(controlArrayName("fraTmg", g));
        fraTmg[size_t(g)] = box;
    }
    buildChannelGrid();
    buildParameterFields();
    layOutTimingPage();
    buildConfiguration();
    buildDiagramPage(page);

    // Enter on a focused command button clicks it (Enter in the offset field
    // leads to Set Offset).
    const std::array<const char*, 5> commandNames { "cmdRecallChan", "cmdClearChan", "cmdSetOffset",
        "cmdResetPLSConfig", "cmdRecallAll" };
    const std::array<QPushButton*, 5> commands { cmdRecallChan, cmdClearChan, cmdSetOffset, cmdResetPLSConfig,
        cmdRecallAll };
    for (size_t c = 0; c < commands.size(); ++c) {
        commands[c]->setObjectName(QLatin1String(commandNames[c]));
        commands[c]->setAutoDefault(true);
    }
    buildStatusBar();

    layOutWindow(page);
    chainTabOrder();

    connect(tbsTiming, &QTabBar::currentChanged, this, &frmTiming::tbsTiming_Click);
    connect(cmdRecallChan, &QPushButton::clicked, this, &frmTiming::cmdRecallChan_Click);
    connect(cmdClearChan, &QPushButton::clicked, this, &frmTiming::cmdClearChan_Click);
    connect(cmdSetOffset, &QPushButton::clicked, this, &frmTiming::cmdSetOffset_Click);
    connect(cmdResetPLSConfig, &QPushButton::clicked, this, &frmTiming::cmdResetPLSConfig_Click);
    connect(cmdRecallAll, &QPushButton::clicked, this, &frmTiming::cmdRecallAll_Click);
    // F5 reads the PLS again, as the button does, wherever the focus is in
    // the window.
    auto* reread = new QShortcut(QKeySequence(Qt::Key_F5), this);
    reread->setContext(Qt::WidgetWithChildrenShortcut);
    connect(reread, &QShortcut::activated, this, &frmTiming::cmdRecallAll_Click);
    draw(m_editor->state());
    connectEditor();

    m_editor->setRefreshLoop(followWithLoop(*m_editor, rs, mode, RefreshLoop::Activation::PresentMode));
}

frmTiming::~frmTiming()
{
    tearDown();
    m_editor.reset();
    for (auto& f : m_channelFields)
        f.reset();
    for (auto& f : m_tmgFields)
        f.reset();
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
        focusFirstField();
    });
    // The grid is about to be rewritten: typing in it ends (and is checked)
    // on the focus sink. A field the program put the focus into keeps it.
    connect(editor, &TimingEditor::gridRecallStarting, this, [this] {
        if (m_form.current)
            cmdDefault->setFocus(Qt::OtherFocusReason);
    });
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
    m_diagramPage->hide();
    fraTiming[0]->show();
    m_form.escape = false;
}

// Runs when the window is hidden (not by the window system), after its
// refresh loop has stopped.
void frmTiming::Form_Unload()
{
    m_form.live = false;
    m_form.current = nullptr;
    for (auto& f : m_channelFields) {
        if (f)
            f->entry().setEditing(false);
    }
    for (auto& f : m_tmgFields)
        f->entry().setEditing(false);
}

void frmTiming::tbsTiming_Click(int index)
{
    const std::array<QWidget*, 3> pages { fraTiming[0], fraTiming[1], m_diagramPage };
    if (index < 0 || index >= int(pages.size()))
        return;
    // The entry in progress ends first, as leaving its field would (an access
    // key changes the page without moving the focus), with the tab strip
    // still showing the page the field is on; a refused entry keeps the
    // operator in its field: the page stays.
    int shown = 0;
    while (shown < int(pages.size()) - 1 && pages[size_t(shown)]->isHidden())
        ++shown;
    if (index != shown) {
        const QSignalBlocker block(tbsTiming);
        tbsTiming->setCurrentIndex(shown);
        if (!m_form.endEdit())
            return;
        tbsTiming->setCurrentIndex(index);
    }
    QWidget* focus = QApplication::focusWidget();
    bool onOtherPage = false;
    for (int k = 0; k < int(pages.size()); ++k)
        onOtherPage = onOtherPage || (k != index && focus && pages[size_t(k)]->isAncestorOf(focus));
    for (QWidget* page : pages)
        page->hide();
    pages[size_t(index)]->show();
    // The focus was on the page that went (an access key changed the page):
    // it comes to the first field of the page shown, or to the tab strip.
    if (onOtherPage)
        focusFirstField();
}

// The first channel field that takes input, without entering it (never the
// focus sink, which cannot be seen); the tab strip when no field does.
void frmTiming::focusFirstField()
{
    for (int ch = 0; ch < kChannelCount; ++ch) {
        for (const int i : { ch, ch + kOffField }) {
            QLineEdit* box = txtChannel[size_t(i)];
            if (box->isEnabled() && box->isVisible()) {
                m_channelFields[size_t(i)]->focusQuietly();
                return;
            }
        }
    }
    tbsTiming->setFocus(Qt::OtherFocusReason);
}

// ---- drawing the editor's state ----

void frmTiming::draw(const TimingState& state)
{
    sbrMachineTiming->setEnabled(state.statusBarEnabled);
    for (int n = 0; n < 4; ++n)
        m_panels[size_t(n)]->setText(state.panelTexts[size_t(n)]);
    for (int g = 0; g < TimingState::GroupCount; ++g)
        fraTmg[size_t(g)]->setEnabled(state.groupsEnabled[size_t(g)]);
    for (QLabel* l : lblChannel)
        l->setEnabled(state.gridEnabled);
    for (int i = 0; i < kChannelFieldCount; ++i) {
        if (m_channelFields[size_t(i)]) {
            m_channelFields[size_t(i)]->setEnabled(state.gridEnabled);
            // A setpoint waiting for its channel's other one is marked as unsent.
            if (!m_channelFields[size_t(i)]->entry().holdsTypedEntry())
                m_channelFields[size_t(i)]->markPending(state.unsent[size_t(i)]);
        }
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
    cmdRecallAll->setEnabled(state.commandEnabled[TimingState::RecallAll]);
    m_diagramView->setDiagram(buildTimingDiagram(diagramInputOf(state)));
}

// ---- the channel setpoint fields ----

// A typed setpoint that passed the range check.
bool frmTiming::acceptChannel(int i, qint32 value)
{
    const TimingEditor::SetpointResult result = m_editor->typedSetpoint(i, value);
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
    const TimingEditor::SetpointResult result = m_editor->steppedSetpoint(i, value);
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
// The entry being typed ends first (a button's access key does not move the
// focus); a refused entry keeps the focus and the command does not happen.

void frmTiming::cmdRecallChan_Click()
{
    if (m_form.endEdit())
        m_editor->recallChannelCommand();
}

void frmTiming::cmdClearChan_Click()
{
    if (m_form.endEdit())
        m_editor->clearChannelCommand();
}

void frmTiming::cmdSetOffset_Click()
{
    if (m_form.endEdit())
        m_editor->setOffsetCommand();
}

void frmTiming::cmdRecallAll_Click()
{
    // The grid is rewritten: what is being typed there is taken first.
    if (cmdRecallAll->isEnabled() && m_form.endEdit())
        m_editor->recallAllCommand();
}

void frmTiming::cmdResetPLSConfig_Click()
{
    if (m_form.endEdit())
        m_editor->resetPLSConfigCommand();
}

} // namespace talvek
