#include "windows/frmDisplayIO.h"

#include "windows/ControlArray.h"
#include "windows/DisplayText.h"

#include <QColor>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>

namespace talvek {

namespace {

struct K7700Item
{
    const char* caption;
    const char* toolTip; // nullptr: none
};

// Items 0..10 of the polling order: state label i of group "K7700".
constexpr std::array<K7700Item, frmDisplayIO::kK7700Count> kK7700 { {
    { "IN0:", "Short Can Sensor" },
    { "IN1:", nullptr },
    { "Analog Input 0:", nullptr },
    { "Analog Input 1:", nullptr },
    { "Analog Output 0:", nullptr },
    { "Analog Output 1:", nullptr },
    { "Resolver POS:", nullptr },
    { "Resolver RPM:", nullptr },
    { "Resolver Period:", nullptr },
    { "Scale Factor:", nullptr },
    { "Offset:", nullptr },
} };

constexpr std::array<const char*, 4> kGroupCaptions { "K7700", "Timing", "Slot0-0", "Slot0-1" };

struct BitPoint
{
    const char* caption;
    const char* toolTip;
};

using BitTable = std::array<BitPoint, frmDisplayIO::kBitCount>;

constexpr BitTable kTiming { {
    { "CH00:", "BDC (High) Timing" },
    { "CH01:", "BDC (Low) Timing" },
    { "CH02:", "Short Can Check Timing" },
    { "CH03:", "Sensor Check Timing" },
    { "CH04:", "Cupfeed Timing" },
    { "CH05:", "Air Strip (Low) Timing" },
    { "CH06:", "Air Strip (High) Timing" },
    { "CH07:", "PLC Timing" },
    { "CH10:", "Motion (On for 30, Off for 30)" },
    { "CH11:", "Spare" },
    { "CH12:", "Spare" },
    { "CH13:", "Spare" },
    { "CH14:", "Spare" },
    { "CH15:", "Spare" },
    { "CH16:", "Spare" },
    { "CH17:", "Spare" },
} };

constexpr BitTable kSlot00 { {
    { "(B100.0)    0:", "Clutch On #1" },
    { "(B100.1)    1:", "Clutch On #2" },
    { "(B100.2)    2:", "Continuous Mode" },
    { "(B100.3)    3:", "Single Mode" },
    { "(B100.4)    4:", "Inch/Bar mode" },
    { "(B100.5)    5:", "~Immediate Stop" },
    { "(B100.6)    6:", "Cupfeed On" },
    { "(B100.7)    7:", "Alarm Reset" },
    { "(B110.0)  10:", "Main Clutch Solenoid" },
    { "(B110.1)  11:", "Main Clutch Solenoid" },
    { "(B110.2)  12:", "Cupfeed Solenoid" },
    { "(B110.3)  13:", "Rotary Trip Solenoid" },
    { "(B110.4)  14:", "Air Strip Solenoid" },
    { "(B110.5)  15:", "Short Can Alarm" },
    { "(B110.6)  16:", "Machine Alarm" },
    { "(B110.7)  17:", "PLC Timing" },
} };

constexpr BitTable kSlot01 { {
    { "(B101.0)    0:", "Clutch Solenoid 1A" },
    { "(B101.1)    1:", "Clutch Solenoid 1B" },
    { "(B101.2)    2:", "Rotary Enable" },
    { "(B101.3)    3:", "Setup Enable" },
    { "(B101.4)    4:", "Set Passcode" },
    { "(B101.5)    5:", "End of Shift" },
    { "(B101.6)    6:", "Trimmer Infeed High" },
    { "(B101.7)    7:", "Spare" },
    { "(B111.0)  10:", "Remote Display Point" },
    { "(B111.1)  11:", "Remote Display Point" },
    { "(B111.2)  12:", "Remote Display Point" },
    { "(B111.3)  13:", "Remote Display Point" },
    { "(B111.4)  14:", "Remote Display Point" },
    { "(B111.5)  15:", "Remote Display Point" },
    { "(B111.6)  16:", "Remote Display Point" },
    { "(B111.7)  17:", "Remote Display Point" },
} };

const QString kNoValue = QStringLiteral("-");
const QString kOn = QStringLiteral("ON");
const QString kOff = QStringLiteral("off");

QLabel* makeLabel(QWidget* parent, const char* name, int index, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(controlArrayName(name, index));
    return label;
}

QLabel* makeState(QWidget* parent, const char* name, int index)
{
    QLabel* label = makeLabel(parent, name, index, QStringLiteral("OFF"));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(56);
    label->setAutoFillBackground(true);
    label->setBackgroundRole(QPalette::Base);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// ON blue, OFF dark red; in a dark palette lighter shades of them, so that
// they stay readable on the label's background.
void setStateColor(QLabel* label, const QColor& color)
{
    setLabelColor(
        label, readableColor(color, label->palette().color(QPalette::Active, label->backgroundRole())));
}

void showBit(QLabel* label, bool on)
{
    setLabelText(label, on ? kOn : kOff);
    setStateColor(label, on ? frmDisplayIO::kOnColor : frmDisplayIO::kOffColor);
}

} // namespace

const QColor frmDisplayIO::kOnColor { 0, 0, 255 };
const QColor frmDisplayIO::kOffColor { 192, 0, 0 };

frmDisplayIO::frmDisplayIO(RSComm& rs, OnlineModeSwitch& mode, QWidget* parent)
    : ChildWindow(parent)
    , m_states(rs)
{
    setObjectName(QStringLiteral("frmDisplayIO"));
    setWindowTitle(QStringLiteral("I/O Status"));

    for (int g = 0; g < 4; ++g) {
        fraBMIO[g] = new QGroupBox(QString::fromLatin1(kGroupCaptions[g]), this);
        fraBMIO[g]->setObjectName(controlArrayName("fraBMIO", g));
    }

    auto* k7700 = new QGridLayout(fraBMIO[0]);
    for (int i = 0; i < kK7700Count; ++i) {
        lblk7710[i] = makeLabel(fraBMIO[0], "lblk7710", i, QString::fromLatin1(kK7700[i].caption));
        if (kK7700[i].toolTip)
            lblk7710[i]->setToolTip(QString::fromLatin1(kK7700[i].toolTip));
        lblk7710State[i] = makeState(fraBMIO[0], "lblk7710State", i);
        lblk7710State[i]->setMinimumWidth(72);
        k7700->addWidget(lblk7710[i], i, 0);
        k7700->addWidget(lblk7710State[i], i, 1);
    }
    k7700->setRowStretch(kK7700Count, 1);

    const std::array<const BitTable*, 3> tables { &kTiming, &kSlot00, &kSlot01 };
    const std::array<const char*, 3> captionNames { "lblTmgChannel", "lblSlot00", "lblSlot01" };
    const std::array<const char*, 3> stateNames { "lblTmgChannelState", "lblSlot00State", "lblSlot01State" };
    for (int g = 0; g < 3; ++g) {
        QGroupBox* frame = fraBMIO[g + 1];
        auto* grid = new QGridLayout(frame);
        for (int b = 0; b < kBitCount; ++b) {
            const BitPoint& point = (*tables[g])[b];
            QLabel* caption = makeLabel(frame, captionNames[g], b, QString::fromLatin1(point.caption));
            caption->setToolTip(QString::fromLatin1(point.toolTip));
            QLabel* state = makeState(frame, stateNames[g], b);
            bitCaptions(g)[b] = caption;
            bitStates(g)[b] = state;
            grid->addWidget(caption, b, 0);
            grid->addWidget(state, b, 1);
        }
        grid->setRowStretch(kBitCount, 1);
    }
    // The timing outputs are bits of B170 (channels 0..7) and B171 (8..15).
    for (int b = 0; b < kBitCount; ++b)
        lblTmgChannelState[b]->setToolTip(QStringLiteral("B%1.%2").arg(170 + b / 8).arg(b % 8));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(12);
    for (QGroupBox* frame : fraBMIO)
        layout->addWidget(frame, 0, Qt::AlignTop);
    layout->addStretch();

    connect(&m_states, &IoStates::presented, this, &frmDisplayIO::drawPresentation);
    connect(&m_states, &IoStates::itemRead, this, &frmDisplayIO::drawItem);
    // Activation starts the refresh loop, which runs until the window is
    // unloaded (closed or switched away; a minimised main window is not).
    RefreshLoop& loop = followWithLoop(m_states, rs, mode, RefreshLoop::Activation::LoopPresents);
    // Load: the presentation of the mode.
    m_states.presentAtLoad(loop);
}

frmDisplayIO::~frmDisplayIO()
{
    tearDown();
}

std::array<QLabel*, frmDisplayIO::kBitCount>& frmDisplayIO::bitStates(int group)
{
    return group == 0 ? lblTmgChannelState : group == 1 ? lblSlot00State : lblSlot01State;
}

std::array<QLabel*, frmDisplayIO::kBitCount>& frmDisplayIO::bitCaptions(int group)
{
    return group == 0 ? lblTmgChannel : group == 1 ? lblSlot00 : lblSlot01;
}

void frmDisplayIO::drawPresentation()
{
    const bool online = m_states.state().online;
    for (QGroupBox* frame : fraBMIO)
        frame->setEnabled(online);
    for (int i = 0; i < kK7700Count; ++i) {
        lblk7710[i]->setEnabled(online);
        lblk7710State[i]->setEnabled(online);
        setLabelText(lblk7710State[i], kNoValue);
    }
    for (int g = 0; g < 3; ++g) {
        for (int b = 0; b < kBitCount; ++b) {
            bitCaptions(g)[b]->setEnabled(online);
            QLabel* state = bitStates(g)[b];
            state->setEnabled(online);
            setStateColor(state, kOnColor);
            setLabelText(state, kNoValue);
        }
    }
}

void frmDisplayIO::drawItem(int index)
{
    const IoStatesState& state = m_states.state();
    if (index < IoStatesState::kInputCount) {
        showBit(lblk7710State[index], state.input[size_t(index)]);
    } else if (index < kK7700Count) {
        setLabelText(lblk7710State[index], state.value[size_t(index)]);
    } else {
        const int group = index - kK7700Count;
        std::array<QLabel*, kBitCount>& states = bitStates(group);
        for (int b = 0; b < kBitCount; ++b)
            showBit(states[b], (state.bits[size_t(group)] & (1u << b)) != 0);
    }
}

} // namespace talvek
