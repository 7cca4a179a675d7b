// The machine timing window's controls and their layout.

#include "shared/MachineData.h"
#include "windows/ControlArray.h"
#include "windows/FormUtility.h"
#include "windows/frmTiming.h"
#include "windows/NumericField.h"
#include "windows/UpDown.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabBar>
#include <QVBoxLayout>

namespace talvek {

namespace {

// Setpoints are positions in the machine cycle.
constexpr int kSetpointMax = 359;
constexpr int kOffsetMax = 359;

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

} // namespace

// ---- building the controls ----

void frmTiming::buildChannelGrid()
{
    auto* grid = new QGridLayout(fraTmg[0]);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(8);
    grid->setColumnMinimumWidth(3, 8);
    for (int h = 0; h < 2; ++h) {
        auto* heading = new QLabel(QLatin1String(h == 0 ? "ON" : "OFF"), fraTmg[0]);
        heading->setObjectName(controlArrayName("lblChannel", 8 + h));
        heading->setAlignment(Qt::AlignCenter);
        grid->addWidget(heading, 0, 1 + 3 * h, 1, 2);
        lblChannel[size_t(8 + h)] = heading;
    }
    for (int ch = 0; ch < kChannelCount; ++ch) {
        auto* name = new QLabel(
            timingChannelName(ch) + QStringLiteral(" (CH0&") + QString::number(ch) + QStringLiteral("):"),
            fraTmg[0]);
        name->setObjectName(controlArrayName("lblChannel", ch));
        grid->addWidget(name, ch + 1, 0);
        lblChannel[size_t(ch)] = name;
        for (const int i : { ch, ch + kOffField })
            buildChannelField(ch, i, grid);
        name->setBuddy(txtChannel[size_t(ch)]);
    }
}

void frmTiming::buildChannelField(int ch, int i, QGridLayout* grid)
{
    auto* text = new QLineEdit(fraTmg[0]);
    text->setObjectName(controlArrayName("txtChannel", i));
    text->setFixedWidth(56);
    auto* upd = fieldUpDown(fraTmg[0], text, kSetpointMax);
    upd->setObjectName(controlArrayName("updChannel", i));
    const int column = i < kOffField ? 1 : 4;
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
    options.exemptText = placeholder::kEmptyChannel;
    auto f = std::make_unique<NumericField>(m_form, text, upd, cmdDefault, options);
    f->entry().setOnAccept([this, i](qint32 value, const QString&) {
        return m_spinnerField == i ? acceptSpinner(i, value) : acceptChannel(i, value);
    });
    connect(upd, &UpDown::Change, this, [this] { m_spinnerField = -1; });
    m_channelFields[size_t(i)] = std::move(f);
}

void frmTiming::buildParameterFields()
{
    const std::array<int, 2> tmgMax { kOffsetMax, kChannelCount - 1 };
    for (int i = 0; i < 2; ++i) {
        QGroupBox* box = fraTmg[size_t(1 + i)];
        auto* text = new QLineEdit(box);
        text->setObjectName(controlArrayName("txtTmg", i));
        text->setFixedWidth(56);
        auto* upd = fieldUpDown(box, text, tmgMax[size_t(i)]);
        upd->setObjectName(controlArrayName("updTmg", i));
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
    m_tmgFields[kOffsetField]->setEnterTarget(cmdSetOffset);
}

void frmTiming::layOutTimingPage()
{
    // The offset field with its up-down control and Set Offset in one row.
    auto* offset = new QHBoxLayout(fraTmg[1]);
    offset->setSpacing(6);
    offset->addWidget(txtTmg[kOffsetField]);
    offset->addWidget(updTmg[kOffsetField]);
    offset->addSpacing(12);
    cmdSetOffset->setParent(fraTmg[1]);
    offset->addWidget(cmdSetOffset);
    offset->addStretch();
    // The channel number, and below it the buttons it serves, one under the
    // other: the column beside the grid stays narrow enough for a small or
    // scaled screen.
    auto* channel = new QGridLayout(fraTmg[2]);
    channel->setHorizontalSpacing(6);
    channel->setVerticalSpacing(6);
    channel->addWidget(txtTmg[kChannelNumberField], 0, 0);
    channel->addWidget(updTmg[kChannelNumberField], 0, 1, Qt::AlignLeft);
    for (QPushButton* b : { cmdRecallChan, cmdClearChan }) {
        b->setParent(fraTmg[2]);
        channel->addWidget(b, channel->rowCount(), 0, 1, 3);
    }
    channel->setColumnStretch(2, 1);
    cmdRecallAll->setParent(fraTiming[0]);
    cmdRecallAll->setToolTip(QStringLiteral("Reads the configuration and every channel from the PLS again (F5)"));

    auto* timingPage = new QHBoxLayout(fraTiming[0]);
    timingPage->setContentsMargins(0, 0, 0, 0);
    timingPage->setSpacing(8);
    timingPage->addWidget(fraTmg[0], 0, Qt::AlignTop);
    auto* side = new QVBoxLayout;
    side->setSpacing(12);
    side->addWidget(fraTmg[1]);
    side->addWidget(fraTmg[2]);
    side->addWidget(cmdRecallAll, 0, Qt::AlignLeft);
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
        description->setObjectName(controlArrayName("lblCfgDescription", i));
        auto* value = valueLabel(box);
        value->setObjectName(controlArrayName("lblPLSCfg", i));
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
        label->setObjectName(controlArrayName("sbrMachineTiming_Panel", n + 1));
        label->setToolTip(QLatin1String(panelTips[size_t(n)]));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setIndent(4);
        sbrMachineTiming->addWidget(label, 1);
        m_panels[size_t(n)] = label;
    }
}

// The tab strip, the pages (scrolling on a small or scaled screen, so that
// the window's own status bar stays in view at its bottom), the focus sink.
void frmTiming::layOutWindow(QFrame* page)
{
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(8, 8, 8, 0); // the status bar runs to the bottom edge
    top->setSpacing(0);
    top->addWidget(tbsTiming);
    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    auto* pageHolder = new QWidget;
    pageHolder->setObjectName(QStringLiteral("pageHolder"));
    auto* holderLayout = new QHBoxLayout(pageHolder);
    holderLayout->setContentsMargins(0, 0, 0, 0);
    holderLayout->addWidget(page, 0, Qt::AlignTop);
    holderLayout->addStretch();
    body->addWidget(scrollWhenSmall(pageHolder, this), 1);
    top->addLayout(body, 1);
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addWidget(cmdDefault);
    bottom->addStretch();
    top->addLayout(bottom);
    top->addWidget(sbrMachineTiming);
}

// Tab order: the grid row by row (ON field, its up-down, OFF field, its
// up-down), then the offset and the channel commands.
void frmTiming::chainTabOrder()
{
    QWidget* previous = tbsTiming;
    auto chain = [&previous](QWidget* next) {
        setTabOrder(previous, next);
        previous = next;
    };
    for (int ch = 0; ch < kChannelCount; ++ch) {
        for (const int i : { ch, ch + kOffField }) {
            chain(txtChannel[size_t(i)]);
            chain(updChannel[size_t(i)]);
        }
    }
    for (QWidget* w : std::initializer_list<QWidget*> { txtTmg[kOffsetField], updTmg[kOffsetField],
             cmdSetOffset, txtTmg[kChannelNumberField], updTmg[kChannelNumberField], cmdRecallChan,
             cmdClearChan, cmdRecallAll, cmdResetPLSConfig, cmdDefault })
        chain(w);
}

} // namespace talvek
