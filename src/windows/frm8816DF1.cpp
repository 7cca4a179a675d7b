#include "windows/frm8816DF1.h"

#include "windows/ControlArray.h"
#include "windows/NumericField.h"
#include "windows/UpDown.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace talvek {

namespace {

struct Description
{
    const char* caption;
    int frame;
};

constexpr std::array<Description, frm8816DF1::kAddressCount> kDescriptions { {
    { "R8816 Configuration Status:", 0 },
    { "Transmit Data Status", 0 },
    { "Transmit Data Status (prev.):", 0 },
    { "Current Transaction:", 0 },
    { "Active Command:", 0 },
    { "Number of BYTES Received:", 0 },
    { "Received Command BIT Status", 0 },
    { "Status:", 1 },
    { "Current Transaction Received:", 1 },
    // The set-up frame's captions are those of the rows (Df1Board).
    { nullptr, 2 },
    { nullptr, 2 },
    { nullptr, 2 },
} };

constexpr int kPlcTypeIndex = 9;
constexpr int kFirstFieldIndex = 10;

QString caption(int i)
{
    if (i == kPlcTypeIndex)
        return Df1Board::plcTypeCaption();
    if (i >= kFirstFieldIndex)
        return Df1Board::fieldCaption(i - kFirstFieldIndex);
    return QLatin1String(kDescriptions[size_t(i)].caption);
}
const QString kNoValue = QStringLiteral("-");

} // namespace

frm8816DF1::frm8816DF1(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent)
    : ChildWindow(parent)
    , cboSetup(new QComboBox(this))
    , cmdDefault(makeFocusSink(QStringLiteral("-")))
    , m_board(prompter, rs)
{
    setObjectName(QStringLiteral("frm8816DF1"));
    setWindowTitle(QStringLiteral("R8816DF1"));
    setEntryForm(m_board.entryForm());

    buildFrames();
    layOut();

    cboSetup->installEventFilter(this);
    connect(cboSetup, &QComboBox::activated, &m_board, &Df1Board::plcTypeChosen);
    connect(&m_board, &Df1Board::presented, this, &frm8816DF1::drawPresentation);
    connect(&m_board, &Df1Board::displayChanged, this, &frm8816DF1::drawDisplay);
    connect(&m_board, &Df1Board::plcTypeChanged, this, &frm8816DF1::drawPlcType);

    m_board.setRefreshLoop(followWithLoop(m_board, rs, mode, RefreshLoop::Activation::LoopPresents));
    // Load.
    cboSetup->addItem(QStringLiteral("PLC5"));
    cboSetup->addItem(QStringLiteral("SLC500"));
}

// The three frames with their captions and displays, and the set-up frame's
// controls.
void frm8816DF1::buildFrames()
{
    const std::array<const char*, 3> frameCaptions { "R8816-DF1 Communication Status",
        "A/B Link Layer Status", "DF1 Communication Set-up" };
    std::array<QGridLayout*, 3> grids {};
    for (int k = 0; k < 3; ++k) {
        auto* box = new QGroupBox(QLatin1String(frameCaptions[size_t(k)]), this);
        box->setObjectName(controlArrayName("fraSetup", k));
        grids[size_t(k)] = new QGridLayout(box);
        grids[size_t(k)]->setHorizontalSpacing(8);
        grids[size_t(k)]->setVerticalSpacing(6);
        fraSetup[size_t(k)] = box;
    }

    std::array<int, 3> rows {};
    for (int i = 0; i < kAddressCount; ++i) {
        const Description& d = kDescriptions[size_t(i)];
        auto* label = new QLabel(caption(i), fraSetup[size_t(d.frame)]);
        label->setObjectName(controlArrayName("lblDescription", i));
        const int row = rows[size_t(d.frame)]++;
        grids[size_t(d.frame)]->addWidget(label, row, 0);
        lblDescription[size_t(i)] = label;
        if (i < kDisplayCount) {
            auto* display = new QLabel(QStringLiteral("0"), fraSetup[size_t(d.frame)]);
            display->setObjectName(controlArrayName("lblDisplay", i));
            display->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            display->setMinimumWidth(i == 7 ? 460 : 300);
            display->setTextInteractionFlags(Qt::NoTextInteraction);
            grids[size_t(d.frame)]->addWidget(display, row, 1, 1, 2);
            lblDisplay[size_t(i)] = display;
        }
    }
    grids[0]->setColumnStretch(2, 1);
    grids[1]->setColumnStretch(2, 1);
    buildSetupFrame(grids[2]);

    // One caption column for the three frames.
    int captionWidth = 0;
    for (QLabel* l : lblDescription)
        captionWidth = std::max(captionWidth, l->sizeHint().width());
    for (QGridLayout* grid : grids)
        grid->setColumnMinimumWidth(0, captionWidth);
}

void frm8816DF1::buildSetupFrame(QGridLayout* grid)
{
    cboSetup->setObjectName(QStringLiteral("cboSetup"));
    cboSetup->setParent(fraSetup[2]);
    grid->addWidget(cboSetup, 0, 1, 1, 2);
    lblDescription[kPlcTypeIndex]->setBuddy(cboSetup);
    for (int i = 0; i < 2; ++i) {
        auto* text = new QLineEdit(fraSetup[2]);
        text->setObjectName(controlArrayName("txtSetup", i));
        text->setFixedWidth(72);
        auto* upd = new UpDown(fraSetup[2]);
        upd->setObjectName(controlArrayName("updSetup", i));
        upd->setRange(Df1Board::fieldMin(i), Df1Board::fieldMax(i));
        upd->setIncrement(1);
        upd->setFixedHeight(text->sizeHint().height());
        grid->addWidget(text, 1 + i, 1);
        grid->addWidget(upd, 1 + i, 2, Qt::AlignLeft);
        lblDescription[size_t(kFirstFieldIndex + i)]->setBuddy(text);
        txtSetup[size_t(i)] = text;
        updSetup[size_t(i)] = upd;

        NumericEntryOptions options;
        options.holder = ValueHolder::Text;
        options.title = QStringLiteral("R8816DF1 Set-up");
        m_fields[size_t(i)]
            = std::make_unique<NumericField>(m_board.entryForm(), text, upd, cmdDefault, options);
        m_board.bindField(i, m_fields[size_t(i)]->entry());
    }
    grid->setColumnStretch(3, 1);
}

void frm8816DF1::layOut()
{
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(10, 10, 10, 10);
    top->setSpacing(10);
    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(fraSetup[0]);
    left->addWidget(fraSetup[1]);
    left->addWidget(fraSetup[2]);
    columns->addLayout(left);
    columns->addStretch();
    top->addLayout(columns);
    top->addWidget(cmdDefault);
    top->addStretch();

    setTabOrder(cboSetup, txtSetup[0]);
    setTabOrder(txtSetup[0], updSetup[0]);
    setTabOrder(updSetup[0], txtSetup[1]);
    setTabOrder(txtSetup[1], updSetup[1]);
    setTabOrder(updSetup[1], cmdDefault);
}

frm8816DF1::~frm8816DF1()
{
    tearDown();
}

bool frm8816DF1::editing(int i) const
{
    if (i == 2)
        return m_board.comboEditing();
    return m_fields.at(size_t(i))->entry().editing();
}

bool frm8816DF1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cboSetup) {
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut: {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                m_board.setComboEditing(event->type() == QEvent::FocusIn);
            break;
        }
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
                m_board.comboEscaped();
                cmdDefault->setFocus(Qt::OtherFocusReason);
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// Both presentations: the focus waits on the focus sink, every control is
// enabled or disabled; OFFLINE the displays show "-" and offline editing
// enables the set-up frame.
void frm8816DF1::drawPresentation()
{
    const Df1BoardState& state = m_board.state();
    cmdDefault->setFocus(Qt::OtherFocusReason);
    const bool enabled = state.enabled;
    for (QGroupBox* f : fraSetup)
        f->setEnabled(enabled);
    for (QLabel* l : lblDescription)
        l->setEnabled(enabled);
    for (QLabel* l : lblDisplay)
        l->setEnabled(enabled);
    for (auto& f : m_fields)
        f->setEnabled(enabled);
    cboSetup->setEnabled(enabled);
    if (enabled)
        return;
    for (QLabel* l : lblDisplay)
        l->setText(kNoValue);
    if (state.setupEnabled) {
        fraSetup[2]->setEnabled(true);
        for (int i = kPlcTypeIndex; i < kAddressCount; ++i)
            lblDescription[size_t(i)]->setEnabled(true);
        for (auto& f : m_fields)
            f->setEnabled(true);
        cboSetup->setEnabled(true);
    }
}

void frm8816DF1::drawDisplay(int index)
{
    lblDisplay[size_t(index)]->setText(m_board.state().display[size_t(index)]);
}

void frm8816DF1::drawPlcType()
{
    const qint64 index = m_board.state().plcType;
    cboSetup->setCurrentIndex(index >= 0 && index < cboSetup->count() ? int(index) : -1);
}

} // namespace talvek
