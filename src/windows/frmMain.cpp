#include "windows/frmMain.h"

#include "windows/ControlArray.h"
#include "windows/DisplayText.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvek {

namespace {

constexpr std::array<const char*, 5> kFrameCaptions { "Machine Speed", "Machine Position", "Good Cans",
    "Short Cans", "Brake Response" };

const QString kNoValue = QStringLiteral("-");

QLabel* valueLabel(QWidget* parent, int index, int pointSize)
{
    auto* label = new QLabel(kNoValue, parent);
    label->setObjectName(controlArrayName("lblDisplay", index));
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

// The text of display label `index` for its value (read or stored).
QString displayText(int index, const MainDisplayState& state)
{
    const QString& value = state.value[size_t(index)];
    if (value.isEmpty())
        return kNoValue;
    switch (index) {
    case MainDisplayState::Speed:
        return value.trimmed();
    case MainDisplayState::Position:
        return state.positionHidden ? QStringLiteral("888") + kDegreeSign : value.trimmed() + kDegreeSign;
    case MainDisplayState::GoodCans:
    case MainDisplayState::ShortCans:
        return groupedCount(value);
    default:
        return value.trimmed() + kDegreeSign;
    }
}

} // namespace

frmMain::frmMain(RSComm& rs, OnlineModeSwitch& mode, const BackgroundMonitor& monitor, QWidget* parent)
    : ChildWindow(parent)
    , fraMessages(new QGroupBox(QStringLiteral("Messages"), this))
    , txtMessageDisplay(new QPlainTextEdit(fraMessages))
    , cmdAlarmReset(new QPushButton(QStringLiteral("Alarm &Reset"), this))
    , cmdDefault(makeFocusSink(QString()))
    , m_display(rs, monitor)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Main Display"));
    buildValueFrames();
    buildMessages();
    arrangeControls();

    connect(&m_display, &MainDisplay::presented, this, &frmMain::drawPresentation);
    connect(&m_display, &MainDisplay::valueChanged, this, &frmMain::drawValue);
    connect(&m_display, &MainDisplay::systemMessageChanged, this, &frmMain::drawSystemMessage);
    // Activation applies the appearance of the mode, then starts the loop;
    // closing or switching away ends it, a minimised main window does not.
    followWithLoop(m_display, rs, mode, RefreshLoop::Activation::PresentMode);
}

void frmMain::buildValueFrames()
{
    for (int i = 0; i < 5; ++i) {
        fraDisplay[i] = new QGroupBox(QString::fromLatin1(kFrameCaptions[i]), this);
        fraDisplay[i]->setObjectName(controlArrayName("fraDisplay", i));
    }
    for (int i = 0; i < kDisplayCount; ++i) {
        QWidget* frame = fraDisplay[std::min(i, 4)];
        lblDisplay[i] = valueLabel(frame, i, i < 2 ? 26 : (i < 4 ? 22 : 18));
    }
    // What "888°" means, where the operator sees it.
    lblDisplay[MainDisplayState::Position]->setToolTip(
        QStringLiteral("Machine position in degrees. Above 30 SPM the position is not shown: the display reads 888°."));
    lblDescription[0] = new QLabel(QStringLiteral("Low Speed:"), fraDisplay[4]);
    lblDescription[1] = new QLabel(QStringLiteral("High Speed:"), fraDisplay[4]);
    for (int i = 0; i < 2; ++i)
        lblDescription[i]->setObjectName(controlArrayName("lblDescription", i));

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
}

void frmMain::buildMessages()
{
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
    connect(cmdAlarmReset, &QPushButton::clicked, &m_display, &MainDisplay::resetAlarms);
    // cmdDefault, the focus holder, takes the focus when the appearance changes.
}

void frmMain::arrangeControls()
{
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
}

frmMain::~frmMain()
{
    tearDown();
}

void frmMain::drawSystemMessage()
{
    QString shown = m_display.state().systemMessage;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    txtMessageDisplay->setPlainText(shown);
}

void frmMain::drawPresentation()
{
    const bool enabled = m_display.state().enabled;
    if (!enabled) {
        for (QLabel* label : lblDisplay)
            setLabelText(label, kNoValue);
    }
    for (QGroupBox* frame : fraDisplay)
        frame->setEnabled(enabled);
    for (QLabel* label : lblDisplay)
        label->setEnabled(enabled);
    for (QLabel* label : lblDescription)
        label->setEnabled(enabled);
    cmdAlarmReset->setEnabled(enabled);
    cmdDefault->setFocus();
}

void frmMain::drawValue(int index)
{
    const MainDisplayState& state = m_display.state();
    if (index >= 0) {
        setLabelText(lblDisplay[size_t(index)], displayText(index, state));
        return;
    }
    for (int i = MainDisplayState::GoodCans; i < kDisplayCount; ++i)
        setLabelText(lblDisplay[size_t(i)], displayText(i, state));
}

} // namespace talvek
