#include "windows/frmData.h"

#include "shared/SetupCatalogue.h"
#include "windows/ControlArray.h"
#include "windows/DisplayText.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvek {

namespace {

constexpr std::array<const char*, 3> kFrameCaptions { "Current Shift", "Last Shift", "End of Shift" };

const QString kNoValue = QStringLiteral("-");

} // namespace

frmData::frmData(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent)
    : ChildWindow(parent)
    , cmdEndofShift(nullptr)
    , m_counters(rs, prompter)
    , m_endOfShiftHold(new QTimer(this))
{
    m_endOfShiftHold->setObjectName(QStringLiteral("endOfShiftHold"));
    m_endOfShiftHold->setSingleShot(true);
    m_endOfShiftHold->setInterval(kEndOfShiftHoldMs);
    connect(m_endOfShiftHold, &QTimer::timeout, this, [this] { m_counters.endOfShiftReleased(); });
    setObjectName(QStringLiteral("frmData"));
    setWindowTitle(QStringLiteral("Shift Data"));

    for (int i = 0; i < 3; ++i) {
        fraShiftData[i] = new QGroupBox(QString::fromLatin1(kFrameCaptions[i]), this);
        fraShiftData[i]->setObjectName(controlArrayName("fraShiftData", i));
    }
    for (int i = 0; i < kCounterCount; ++i) {
        QGroupBox* frame = fraShiftData[i / 2];
        lblDescription[i]
            = new QLabel(QString::fromLatin1(editorEntry(ParamEditor::ShiftData, i).caption), frame);
        lblDescription[i]->setObjectName(controlArrayName("lblDescription", i));
        lblData[i] = new QLabel(QStringLiteral("0"), frame);
        lblData[i]->setObjectName(controlArrayName("lblData", i));
        lblData[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        lblData[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        lblData[i]->setAutoFillBackground(true);
        lblData[i]->setBackgroundRole(QPalette::Base);
        lblData[i]->setMinimumWidth(180);
        QFont font = lblData[i]->font();
        font.setPointSize(font.pointSize() + 6);
        font.setBold(true);
        lblData[i]->setFont(font);
    }
    for (int f = 0; f < 2; ++f) {
        auto* grid = new QGridLayout(fraShiftData[f]);
        for (int k = 0; k < 2; ++k) {
            grid->addWidget(lblDescription[f * 2 + k], k, 0);
            grid->addWidget(lblData[f * 2 + k], k, 1);
        }
        grid->setColumnStretch(1, 1);
    }

    // No access key: the keyboard never ends a shift, so Alt+R would
    // promise what it does not do.
    cmdEndofShift = new QPushButton(QStringLiteral("Transfer Data"), fraShiftData[2]);
    cmdEndofShift->setObjectName(QStringLiteral("cmdEndofShift"));
    cmdEndofShift->setAutoDefault(false);
    cmdEndofShift->setMinimumSize(160, 36);
    cmdEndofShift->installEventFilter(this);
    auto* endOfShift = new QHBoxLayout(fraShiftData[2]);
    endOfShift->addStretch();
    endOfShift->addWidget(cmdEndofShift);
    endOfShift->addStretch();

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(fraShiftData[0], 0, 0);
    layout->addWidget(fraShiftData[1], 0, 1);
    layout->addWidget(fraShiftData[2], 1, 0, 1, 2);
    layout->setRowStretch(2, 1);
    layout->setColumnStretch(2, 1);

    // Activation applies the appearance of the mode, then starts the loop;
    // closing or switching away ends it, a minimised main window does not.
    connect(&m_counters, &ShiftCounters::presented, this, &frmData::drawPresentation);
    connect(&m_counters, &ShiftCounters::countChanged, this, &frmData::drawCount);
    followWithLoop(m_counters, rs, mode, RefreshLoop::Activation::PresentMode);
}

frmData::~frmData()
{
    // A flag still held goes back to 0, or the next shift could not be ended.
    if (m_endOfShiftHold->isActive()) {
        m_endOfShiftHold->stop();
        m_counters.endOfShiftReleased();
    }
    tearDown();
}

bool frmData::eventFilter(QObject* watched, QEvent* event)
{
    // A greyed button does nothing (the press still reaches its filter). The
    // release of the press that asked went to the question: the hold timer
    // writes the 0.
    if (watched == cmdEndofShift && cmdEndofShift->isEnabled()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (!m_endOfShiftHold->isActive() && m_counters.endOfShiftPressed())
                m_endOfShiftHold->start();
            return true;
        case QEvent::MouseButtonDblClick: // the second press of a double click asks nothing more
        case QEvent::MouseButtonRelease:
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmData::drawPresentation()
{
    const bool enabled = m_counters.state().enabled;
    cmdEndofShift->setEnabled(enabled);
    for (QGroupBox* frame : fraShiftData)
        frame->setEnabled(enabled);
    for (QLabel* label : lblDescription)
        label->setEnabled(enabled);
    for (QLabel* label : lblData) {
        label->setEnabled(enabled);
        setLabelText(label, kNoValue);
    }
}

void frmData::drawCount(int index)
{
    for (int i = 0; i < kCounterCount; ++i) {
        if (index < 0 || index == i) {
            const QString& count = m_counters.state().count[size_t(i)];
            setLabelText(lblData[size_t(i)], count.isEmpty() ? kNoValue : groupedCount(count));
        }
    }
}

} // namespace talvek
