#include "windows/frmTargetBoard.h"

#include "base/BasicError.h"
#include "base/Prompter.h"
#include "link/ProgramFiles.h"
#include "windows/FormUtility.h"
#include "windows/NumericField.h"
#include "windows/UpDown.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>

namespace talvek {

namespace {

using State = TargetBoardState;

// The caption that shows a position's code once it is read, and its start then.
constexpr std::array<std::pair<int, const char*>, 4> kCodeCaptions {
    { { State::kCurrentFault, "Current Fault" }, { State::kLastFault, "Last Fault" },
        { State::kCurrentComm, "Current Comm Error" }, { State::kLastComm, "Last Comm Error" } }
};

const QString kNetworkComment = QStringLiteral(
    "Each R6000 board connected to the R6000 Network must be assigned a unique network address between 1 "
    "and 32.\r\n\r\nSystem function sfunc19(); configures the R8816 serial communication for the K7700 "
    "processor.");

void setBoxText(QPlainTextEdit* box, const QString& text)
{
    if (box->toPlainText() != text)
        box->setPlainText(text);
}

} // namespace

frmTargetBoard::frmTargetBoard(
    Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, const ProgramFolder& folder, QWidget* parent)
    : ChildWindow(parent)
    , tabTargetBoard(new QTabBar(this))
    , lblNetworkAddComment(new QLabel(this))
    , lblTargetBoardTime(new QLabel(QStringLiteral("Target Board Time:"), this))
    , lblTargetBoardDate(new QLabel(QStringLiteral("Target Board Date:"), this))
    , lblCurrTimeDesc(new QLabel(QStringLiteral("Current Time:"), this))
    , lblCurrTime(new QLabel(QStringLiteral("XX : XX : XX"), this))
    , lblCurrDateDesc(new QLabel(QStringLiteral("Current Date:"), this))
    , lblCurrDate(new QLabel(QStringLiteral("XX - XX - XX"), this))
    , cmdSetToCurrTime(new QPushButton(QStringLiteral("Set to Current &Time"), this))
    , cmdSetToCurrDate(new QPushButton(QStringLiteral("Set to Current &Date"), this))
    , cmdResetFaults(new QPushButton(QStringLiteral("&Reset Faults"), this))
    , cmdGoOnline(new QPushButton(QStringLiteral("&Go Online"), this))
    , cmdOk(new QPushButton(QStringLiteral("&Ok"), this))
    , cmdDefault(makeFocusSink(QStringLiteral("-")))
    , m_prompter(prompter)
    , m_status(prompter, rs, mode, folder)
    , m_form(prompter)
{
    setObjectName(QStringLiteral("frmTargetBoard"));
    setWindowTitle(QStringLiteral("Target Board Interface"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    setEntryForm(m_form);

    auto* pages = buildTabs();
    buildFaultPage();
    buildIdentPage();
    buildFields(); // before the pages that hold them
    buildNetworkPage();
    buildClockPage();
    buildButtons(pages);

    connect(tabTargetBoard, &QTabBar::currentChanged, this, &frmTargetBoard::tabTargetBoard_Click);
    connect(cmdResetFaults, &QPushButton::clicked, this, &frmTargetBoard::cmdResetFaults_Click);
    connect(cmdGoOnline, &QPushButton::clicked, &m_status, &TargetBoardStatus::goOnline);
    connect(cmdSetToCurrTime, &QPushButton::clicked, this, [this] {
        if (m_form.endEdit())
            m_status.setBoardTime();
    });
    connect(cmdSetToCurrDate, &QPushButton::clicked, this, [this] {
        if (m_form.endEdit())
            m_status.setBoardDate();
    });
    connect(cmdOk, &QPushButton::clicked, this, &frmTargetBoard::cmdOk_Click);
    connect(&m_status, &TargetBoardStatus::stateChanged, this, &frmTargetBoard::draw);
    connect(&m_status, &TargetBoardStatus::fieldRead, this, &frmTargetBoard::drawField);
    connect(&m_status, &TargetBoardStatus::opened, this, &frmTargetBoard::Form_Activate);
    connect(&m_status, &TargetBoardStatus::closed, this, &frmTargetBoard::Form_Unload);


    m_status.setRefreshLoop(followWithLoop(m_status, rs, mode, RefreshLoop::Activation::LoopPresents));
    Form_Load();
}

frmTargetBoard::~frmTargetBoard()
{
    // Nothing here may reach the link: the main window lets it go before its
    // child windows.
    tearDown();
    disconnect(&m_status, nullptr, this, nullptr);
    m_status.stop();
    for (auto& f : m_fields)
        f.reset();
}

// ---------------------------------------------------------------------------
// Opening

// The controls as the form designs them; InitializeForm starts from here at
// every opening.
void frmTargetBoard::Form_Load()
{
    tabTargetBoard->setCurrentIndex(0);
    m_form.current = nullptr;
    for (auto& f : m_fields)
        f->entry().setEditing(false);
    m_form.escape = false;
    draw(m_status.state());
    for (int i = 0; i < kFieldCount; ++i)
        txtSetup[size_t(i)]->setText(m_status.state().fieldTexts[size_t(i)]);
}

bool frmTargetBoard::InitializeForm(const QString& NorvikFile)
{
    if (isVisible()) {
        raise();
        activateWindow();
        return true;
    }
    // 1. The program file set on disk; the state of the opening.
    try {
        m_status.loadProgramSet(NorvikFile);
    } catch (const BasicError& e) {
        showRuntimeFault(m_prompter, e, QStringLiteral("InitializeForm"), MsgIcon::Information);
        return false;
    }
    Form_Load();
    lblNetworkAddComment->setText(kNetworkComment);
    // Modal; the activation starts the poll loop. The panel opens at its
    // natural size (not the two thirds of the screen adjustSize allows);
    // centring then fits it to a smaller screen, where it scrolls.
    resize(sizeHint());
    show();
    return true;
}

// The panel has been shown (not by the window system): its loop starts.
void frmTargetBoard::Form_Activate()
{
    CenterForm(this);
    showPage(0);
    tabTargetBoard->setFocus(Qt::OtherFocusReason);
}

// The panel has been taken down; its loop has stopped.
void frmTargetBoard::Form_Unload()
{
    m_form.escape = false;
    for (auto& f : m_fields)
        f->entry().setEditing(false);
}

// ---------------------------------------------------------------------------
// Drawing

void frmTargetBoard::draw(const TargetBoardState& s)
{
    for (const auto& [position, caption] : kCodeCaptions) {
        const QString& code = s.codes[size_t(position)];
        QString text = QLatin1String(caption) + QLatin1Char(':');
        if (!code.isEmpty())
            text += QStringLiteral(" Code = ") + code + QLatin1Char('H');
        lblTargetBoard[size_t(position)]->setText(text);
    }
    QLabel* slot = lblTargetBoard[State::kSlot];
    slot->setText(
        s.slot.isEmpty() ? QStringLiteral("CO-CPU Slot:") : QStringLiteral("CO-CPU Slot: ") + s.slot);
    slot->setVisible(s.slotShown);
    for (int i :
        { State::kCurrentFault, State::kLastFault, State::kAction, State::kCurrentComm, State::kLastComm })
        setBoxText(txtTargetBoard[size_t(i)], s.descriptions[size_t(i)]);
    cmdResetFaults->setEnabled(s.resetEnabled);
    cmdGoOnline->setVisible(s.goOnlineShown);
    for (int i = 0; i < 3; ++i) {
        lblRevIdentInPLC[size_t(i)]->setText(s.inBoard[size_t(i)]);
        lblRevIdentInPLC[size_t(i)]->setEnabled(s.inBoardEnabled);
    }
    for (int i = 0; i < 5; ++i)
        lblRevIdentOnDisk[size_t(i)]->setText(s.onDisk[size_t(i)]);
    for (int i = 0; i < kFieldCount; ++i) {
        const bool shown = s.fieldShown[size_t(i)];
        lblSetupDesc[size_t(i)]->setVisible(shown);
        txtSetup[size_t(i)]->setVisible(shown);
        updSetup[size_t(i)]->setVisible(shown);
        lblSetupDesc[size_t(i)]->setEnabled(s.fieldEnabled[size_t(i)]);
        m_fields[size_t(i)]->setEnabled(s.fieldEnabled[size_t(i)]);
    }
    for (QWidget* w : std::initializer_list<QWidget*> {
             lblTargetBoardTime, lblTargetBoardDate, cmdSetToCurrTime, cmdSetToCurrDate })
        w->setEnabled(s.clockEnabled);
    lblCurrTime->setText(s.currentTime);
    lblCurrDate->setText(s.currentDate);
    m_form.live = s.live;
}

// A field's value as polled: shown unless the operator is typing in it.
void frmTargetBoard::drawField(int i, const QString& text)
{
    if (!m_fields[size_t(i)]->entry().editing())
        txtSetup[size_t(i)]->setText(text);
}

// ---------------------------------------------------------------------------
// Controls

void frmTargetBoard::tabTargetBoard_Click(int index)
{
    // The entry being typed ends first, as leaving the field would.
    if (!m_form.endEdit()) {
        // A refused entry keeps the operator in its field: the page stays.
        for (int k = 0; k < kPageCount; ++k) {
            if (!fraTargetBoard[size_t(k)]->isHidden()) {
                showPage(k);
                return;
            }
        }
    }
    showPage(index);
}

void frmTargetBoard::showPage(int page)
{
    for (int k = 0; k < kPageCount; ++k)
        fraTargetBoard[size_t(k)]->setVisible(k == page);
    if (tabTargetBoard->currentIndex() != page) {
        const QSignalBlocker block(tabTargetBoard);
        tabTargetBoard->setCurrentIndex(page);
    }
}

void frmTargetBoard::cmdResetFaults_Click()
{
    if (!m_form.endEdit())
        return;
    const MsgResult answer = m_prompter.msgBox(
        QStringLiteral("Target Board will be reinitialized.\r\n\r\nDo you wish to continue?"),
        QStringLiteral("WARNING - Fault Code Reset!"), MsgIcon::Critical, MsgButtons::YesNoCancel,
        MsgDefault::Button2);
    if (answer == MsgResult::Yes)
        m_status.resetFaults();
}

void frmTargetBoard::cmdOk_Click()
{
    // What is being typed is taken (or refused, and the panel stays) first.
    if (!m_form.endEdit())
        return;
    m_status.stop();
    accept();
}

void frmTargetBoard::reject()
{
    // The window's own close control: as "&Ok".
    if (!m_form.endEdit())
        return;
    m_status.stop();
    QDialog::reject();
}

void frmTargetBoard::closeEvent(QCloseEvent* event)
{
    if (isVisible() && !m_form.endEdit()) {
        event->ignore();
        return;
    }
    m_status.stop();
    QDialog::closeEvent(event);
}

void frmTargetBoard::keyPressEvent(QKeyEvent* event)
{
    // The panel has no cancel button: Esc closes nothing.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace talvek
