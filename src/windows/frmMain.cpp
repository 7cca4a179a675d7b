#include "frmMain.h"

#include "BackgroundMonitor.h"
#include "BasicText.h"
#include "ControlArray.h"
#include "DisplayText.h"
#include "K7700Registers.h"
#include "MachineData.h"
#include "RSComm.h"
#include "modUtility.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvek {

namespace {

struct DisplayItem
{
    const char* address;
    int row; // ParamValue row shown OFFLINE; -1: "-"
};

// Speed, position, good cans, short cans, brake response low and high.
constexpr std::array<DisplayItem, frmMain::DisplayCount> kDisplays { {
    { reg::machineSpeed.text, -1 },
    { reg::machinePosition.text, -1 },
    { reg::shiftGoodCans.text, 0 },
    { reg::shiftShortCans.text, 1 },
    { reg::brakeResponseLow.text, 4 },
    { reg::brakeResponseHigh.text, 5 },
} };

constexpr std::array<const char*, 5> kFrameCaptions { "Machine Speed", "Machine Position", "Good Cans",
    "Short Cans", "Brake Response" };

const QString kAlarmResetAddress = reg::alarmReset.address();
const QString kNoValue = QStringLiteral("-");

QLabel* valueLabel(QWidget* parent, int index, int pointSize)
{
    auto* label = new QLabel(kNoValue, parent);
    label->setObjectName(ControlArrayName("lblDisplay", index));
    label->setAlignment(Qt::AlignCenter);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumHeight(pointSize * 2 + 12);
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(true);
    label->setFont(font);
    label->setAutoFillBackground(true);
    label->setBackgroundRole(QPalette::Base);
    return label;
}

// The text for display label `index` from a value read ONLINE.
QString onlineText(int index, const QString& value, bool speedAbove30)
{
    switch (index) {
    case 0:
        return value.trimmed();
    case 1:
        return speedAbove30 ? QStringLiteral("888") + DegreeSign : value.trimmed() + DegreeSign;
    case 2:
    case 3:
        return GroupedCount(value);
    default:
        return value.trimmed() + DegreeSign;
    }
}

} // namespace

frmMain::frmMain(RSComm& rs, OnlineModeSwitch& mode, const BackgroundMonitor& monitor, QWidget* parent)
    : QWidget(parent)
    , fraMessages(new QGroupBox(QStringLiteral("Messages"), this))
    , txtMessageDisplay(new QPlainTextEdit(fraMessages))
    , cmdAlarmReset(new QPushButton(QStringLiteral("Alarm &Reset"), this))
    , cmdDefault(new QPushButton(this))
    , m_rs(rs)
    , m_monitor(monitor)
    , m_loop(*this, rs, mode)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Main Display"));

    for (int i = 0; i < 5; ++i) {
        fraDisplay[i] = new QGroupBox(QString::fromLatin1(kFrameCaptions[i]), this);
        fraDisplay[i]->setObjectName(ControlArrayName("fraDisplay", i));
    }
    for (int i = 0; i < DisplayCount; ++i) {
        QWidget* frame = fraDisplay[std::min(i, 4)];
        lblDisplay[i] = valueLabel(frame, i, i < 2 ? 26 : (i < 4 ? 22 : 18));
    }
    lblDescription[0] = new QLabel(QStringLiteral("Low Speed:"), fraDisplay[4]);
    lblDescription[1] = new QLabel(QStringLiteral("High Speed:"), fraDisplay[4]);
    for (int i = 0; i < 2; ++i)
        lblDescription[i]->setObjectName(ControlArrayName("lblDescription", i));

    // Frames 0..3 hold one value each; "Brake Response" holds both readings.
    for (int i = 0; i < 4; ++i) {
        auto* box = new QVBoxLayout(fraDisplay[i]);
        box->addWidget(lblDisplay[i]);
    }
    auto* brake = new QGridLayout(fraDisplay[4]);
    brake->addWidget(lblDescription[0], 0, 0);
    brake->addWidget(lblDisplay[4], 0, 1);
    brake->addWidget(lblDescription[1], 1, 0);
    brake->addWidget(lblDisplay[5], 1, 1);
    brake->setColumnStretch(1, 1);

    fraMessages->setObjectName(QStringLiteral("fraMessages"));
    txtMessageDisplay->setObjectName(QStringLiteral("txtMessageDisplay"));
    txtMessageDisplay->setReadOnly(true);
    txtMessageDisplay->setFocusPolicy(Qt::NoFocus);
    {
        QFont font = txtMessageDisplay->font();
        font.setPointSize(font.pointSize() + 1);
        font.setBold(true);
        txtMessageDisplay->setFont(font);
    }
    auto* messages = new QVBoxLayout(fraMessages);
    messages->addWidget(txtMessageDisplay);

    cmdAlarmReset->setObjectName(QStringLiteral("cmdAlarmReset"));
    cmdAlarmReset->setAutoDefault(false);
    cmdAlarmReset->setMinimumHeight(36);
    connect(cmdAlarmReset, &QPushButton::clicked, this, &frmMain::cmdAlarmReset_Click);
    // The focus holder: takes the focus when the appearance changes, does nothing.
    cmdDefault->setObjectName(QStringLiteral("cmdDefault"));
    cmdDefault->setFlat(true);
    cmdDefault->setAutoDefault(false);
    cmdDefault->setFixedSize(0, 0);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 16);
    grid->setSpacing(12);
    grid->addWidget(fraDisplay[0], 0, 0);
    grid->addWidget(fraDisplay[1], 0, 1);
    grid->addWidget(fraDisplay[2], 1, 0);
    grid->addWidget(fraDisplay[3], 1, 1);
    grid->addWidget(fraDisplay[4], 2, 0, 1, 2);
    grid->addWidget(fraMessages, 0, 2, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdDefault);
    buttons->addStretch();
    buttons->addWidget(cmdAlarmReset);
    grid->addLayout(buttons, 3, 2);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(0, 2);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 3);

    // Activation applies the appearance of the mode, then starts the loop;
    // closing or switching away ends it, a minimised main window does not.
    m_loop.followVisibility(this, RefreshLoop::Activation::PresentMode);
}

frmMain::~frmMain()
{
    m_loop.stop();
}

void frmMain::cycleStarted()
{
    const QString& message = m_monitor.SystemMessage();
    if (message == m_shownMessage)
        return;
    m_shownMessage = message;
    QString shown = message;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    txtMessageDisplay->setPlainText(shown);
}

void frmMain::setAppearanceEnabled(bool enabled)
{
    for (QGroupBox* frame : fraDisplay)
        frame->setEnabled(enabled);
    for (QLabel* label : lblDisplay)
        label->setEnabled(enabled);
    for (QLabel* label : lblDescription)
        label->setEnabled(enabled);
    cmdAlarmReset->setEnabled(enabled);
    cmdDefault->setFocus();
}

void frmMain::applyOnlinePresentation()
{
    setAppearanceEnabled(true);
}

void frmMain::applyOfflinePresentation()
{
    for (QLabel* label : lblDisplay)
        SetLabelText(label, kNoValue);
    setAppearanceEnabled(false);
}

int frmMain::beginOnlinePass()
{
    m_speedAbove30 = false;
    return DisplayCount;
}

bool frmMain::onlineItem(int index)
{
    const QString value = m_rs.RSRead(QString::fromLatin1(kDisplays[index].address));
    if (m_rs.CommError)
        return false;
    if (index == 0)
        m_speedAbove30 = Val(value) > PositionSpeedLimit;
    SetLabelText(lblDisplay[index], onlineText(index, value, m_speedAbove30));
    return true;
}

void frmMain::offlinePass()
{
    for (int i = 2; i < DisplayCount; ++i) {
        const qint32 value = CurrentData.ParamValue.value(kDisplays[i].row, 0);
        SetLabelText(lblDisplay[i], i < 4 ? GroupedCount(value) : QString::number(value) + DegreeSign);
    }
}

void frmMain::cmdAlarmReset_Click()
{
    m_rs.RSWrite(kAlarmResetAddress, QStringLiteral("1"));
}

} // namespace talvek
