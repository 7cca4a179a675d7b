// The target board panel's controls and their layout.

#include "windows/ControlArray.h"
#include "windows/FormUtility.h"
#include "windows/frmTargetBoard.h"
#include "windows/NumericField.h"
#include "windows/UpDown.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabBar>
#include <QVBoxLayout>

namespace talvek {

namespace {

struct FieldRow
{
    const char* caption;
    int min;
    int max;
};

constexpr std::array<FieldRow, frmTargetBoard::kFieldCount> kFields { {
    { "Current Network Address 1:", 1, 32 },
    { "Current Network Address 2:", 1, 32 },
    { "Hr.", 0, 23 },
    { "Min.", 0, 59 },
    { "Sec.", 0, 59 },
    { "Mo.", 1, 12 },
    { "Day", 1, 31 },
    { "Yr.", 0, 99 },
} };
constexpr int kFirstClockField = TargetBoardState::kFirstClockField;

constexpr std::array<const char*, 14> kTargetBoardCaptions { "Current Fault:", "Last Fault:", "CO-CPU Slot:",
    "Corrective Action:", "Current Comm Error:", "Last Comm Error:", "Name:", "Revision:", "Checksum:",
    "Target Board:", "Name:", "Revision:", "Checksum:", "Rev Date:" };
const QString kNoValue = QStringLiteral("-");
QLabel* valueLabel(const QString& name, QWidget* parent)
{
    auto* label = new QLabel(kNoValue, parent);
    label->setObjectName(name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(200);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

// ---------------------------------------------------------------------------
// Building

// The tab strip, its four page frames (in the returned widget), the captions
// and the group boxes.
QWidget* frmTargetBoard::buildTabs()
{
    // ---- the tab strip and its four page frames ----
    tabTargetBoard->setObjectName(QStringLiteral("tabTargetBoard"));
    for (const char* caption :
        { "&Fault Codes / Status", "&Program Ident/Revision", "&Set Network Address", "S&et Time && Date" })
        tabTargetBoard->addTab(QLatin1String(caption));
    tabTargetBoard->setDrawBase(true);
    tabTargetBoard->setExpanding(false);
    tabTargetBoard->setFocusPolicy(Qt::StrongFocus);
    auto* pages = new QWidget(this);
    auto* pageStack = new QGridLayout(pages);
    pageStack->setContentsMargins(0, 0, 0, 0);
    const std::array<const char*, kPageCount> pageCaptions { "Fault Codes / Status", "Program Ident/Revision",
        "Set Network Address", "Set Time && Date" };
    for (int k = 0; k < kPageCount; ++k) {
        auto* page = new QFrame(pages);
        page->setObjectName(controlArrayName("fraTargetBoard", k));
        page->setAccessibleName(QLatin1String(pageCaptions[size_t(k)]));
        page->setFrameShape(QFrame::NoFrame);
        QSizePolicy policy = page->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        page->setSizePolicy(policy);
        pageStack->addWidget(page, 0, 0);
        fraTargetBoard[size_t(k)] = page;
    }

    for (int i = 0; i < int(kTargetBoardCaptions.size()); ++i) {
        auto* label = new QLabel(QLatin1String(kTargetBoardCaptions[size_t(i)]), this);
        label->setObjectName(controlArrayName("lblTargetBoard", i));
        lblTargetBoard[size_t(i)] = label;
    }
    const std::array<const char*, 5> descriptionCaptions { "Internal Fault Code:",
        "Communications Network Error Codes:", "On Disk:", "In Target Board:",
        "Target Board Network Address:" };
    for (int i = 0; i < 5; ++i) {
        auto* box = new QGroupBox(QLatin1String(descriptionCaptions[size_t(i)]), this);
        box->setObjectName(controlArrayName("fraDescription", i));
        fraDescription[size_t(i)] = box;
    }

    return pages;
}

// The buttons below the pages and the panel's layout.
void frmTargetBoard::buildButtons(QWidget* pages)
{
    // ---- buttons ----
    cmdResetFaults->setObjectName(QStringLiteral("cmdResetFaults"));
    cmdGoOnline->setObjectName(QStringLiteral("cmdGoOnline"));
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    for (QPushButton* b :
        { cmdSetToCurrTime, cmdSetToCurrDate, cmdResetFaults, cmdGoOnline, cmdOk, cmdDefault })
        b->setAutoDefault(false);
    cmdOk->setMinimumWidth(90);
    cmdGoOnline->setMinimumWidth(90);

    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(10, 0, 10, 0);
    bottom->addWidget(cmdDefault, 0, Qt::AlignBottom);
    bottom->addStretch(1);
    bottom->addWidget(cmdGoOnline);
    bottom->addWidget(cmdOk);
    // The tab strip and its pages scroll on a small screen; the buttons stay
    // below them, never under a scroll bar.
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("scrollContent"));
    auto* inner = new QVBoxLayout(content);
    inner->setContentsMargins(10, 10, 10, 0);
    inner->setSpacing(0);
    inner->addWidget(tabTargetBoard);
    auto* pageBox = new QFrame(content);
    pageBox->setFrameShape(QFrame::StyledPanel);
    auto* pageBoxLayout = new QVBoxLayout(pageBox);
    pageBoxLayout->addWidget(pages);
    inner->addWidget(pageBox, 1);
    inner->setSizeConstraint(QLayout::SetFixedSize);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 10);
    top->setSpacing(0);
    top->addWidget(scrollWhenSmall(content, this), 1);
    top->addSpacing(10);
    top->addLayout(bottom);

    setTabOrder(tabTargetBoard, cmdResetFaults);
    for (int i = 0; i + 1 < kFieldCount; ++i)
        setTabOrder(txtSetup[size_t(i)], txtSetup[size_t(i + 1)]);
}

// The entry fields: caption, text box and up-down control, with the shared
// numeric entry rules.
void frmTargetBoard::buildFields()
{
    for (int i = 0; i < kFieldCount; ++i) {
        const FieldRow& row = kFields[size_t(i)];
        auto* caption = new QLabel(QLatin1String(row.caption), this);
        caption->setObjectName(controlArrayName("lblSetupDesc", i));
        auto* text = new QLineEdit(kNoValue, this);
        text->setObjectName(controlArrayName("txtSetup", i));
        text->setFixedWidth(text->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 14);
        text->setAlignment(Qt::AlignRight);
        auto* upd = new UpDown(this);
        upd->setObjectName(controlArrayName("updSetup", i));
        upd->setRange(row.min, row.max);
        upd->setIncrement(1);
        upd->setFixedHeight(text->sizeHint().height());
        caption->setBuddy(text);
        lblSetupDesc[size_t(i)] = caption;
        txtSetup[size_t(i)] = text;
        updSetup[size_t(i)] = upd;

        NumericEntryOptions options;
        options.holder = ValueHolder::Text;
        options.title = QStringLiteral("Set-up") + QLatin1String(row.caption);
        auto f = std::make_unique<NumericField>(m_form, text, upd, cmdDefault, options);
        f->entry().setOnAccept([this, i](qint32, const QString& writeText) {
            m_status.writeField(i, writeText);
            return true;
        });
        m_fields[size_t(i)] = std::move(f);
    }
}

// Page 0: fault codes and communication error codes.
void frmTargetBoard::buildFaultPage()
{
    for (int i : { 0, 1, 3, 4, 5 }) {
        auto* box = new QPlainTextEdit(this);
        box->setObjectName(controlArrayName("txtTargetBoard", i));
        box->setReadOnly(true);
        box->setTabChangesFocus(true);
        box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        const int lines = i == 3 ? 4 : 2;
        box->setFixedHeight(box->fontMetrics().lineSpacing() * lines + 12);
        box->setMinimumWidth(520);
        txtTargetBoard[size_t(i)] = box;
    }
    {
        auto* faults = new QVBoxLayout(fraDescription[0]);
        faults->setSpacing(3);
        for (int i : { 0, 1 }) {
            faults->addWidget(lblTargetBoard[size_t(i)]);
            faults->addWidget(txtTargetBoard[size_t(i)]);
            faults->addSpacing(4);
        }
        faults->addWidget(lblTargetBoard[2]);
        faults->addSpacing(4);
        faults->addWidget(lblTargetBoard[3]);
        faults->addWidget(txtTargetBoard[3]);
        auto* comm = new QVBoxLayout(fraDescription[1]);
        comm->setSpacing(3);
        for (int i : { 4, 5 }) {
            comm->addWidget(lblTargetBoard[size_t(i)]);
            comm->addWidget(txtTargetBoard[size_t(i)]);
            comm->addSpacing(4);
        }
        auto* page = new QVBoxLayout(fraTargetBoard[0]);
        page->addWidget(fraDescription[0]);
        page->addWidget(fraDescription[1]);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        buttons->addWidget(cmdResetFaults);
        page->addLayout(buttons);
        page->addStretch(1);
    }
}

// Page 1: the program in the board beside the program on disk.
void frmTargetBoard::buildIdentPage()
{
    auto* inBoard = new QGridLayout(fraDescription[3]);
    for (int i = 0; i < 3; ++i) {
        lblRevIdentInPLC[size_t(i)] = valueLabel(controlArrayName("lblRevIdentInPLC", i), fraDescription[3]);
        inBoard->addWidget(lblTargetBoard[size_t(10 + i)], i, 0);
        inBoard->addWidget(lblRevIdentInPLC[size_t(i)], i, 1);
    }
    inBoard->setRowStretch(3, 1);
    inBoard->setColumnStretch(1, 1);
    auto* onDisk = new QGridLayout(fraDescription[2]);
    const std::array<int, 5> captions { 6, 7, 8, 9, 13 };
    for (int i = 0; i < 5; ++i) {
        lblRevIdentOnDisk[size_t(i)]
            = valueLabel(controlArrayName("lblRevIdentOnDisk", i), fraDescription[2]);
        onDisk->addWidget(lblTargetBoard[size_t(captions[size_t(i)])], i, 0);
        onDisk->addWidget(lblRevIdentOnDisk[size_t(i)], i, 1);
    }
    onDisk->setColumnStretch(1, 1);
    auto* page = new QHBoxLayout(fraTargetBoard[1]);
    page->addWidget(fraDescription[3], 1, Qt::AlignTop);
    page->addWidget(fraDescription[2], 1, Qt::AlignTop);
}

// Page 2: the network address.
void frmTargetBoard::buildNetworkPage()
{
    auto* grid = new QGridLayout(fraDescription[4]);
    for (int i = 0; i < 2; ++i) {
        grid->addWidget(lblSetupDesc[size_t(i)], i, 0);
        grid->addLayout(fieldBox(i), i, 1);
    }
    grid->setColumnStretch(2, 1);
    lblNetworkAddComment->setObjectName(QStringLiteral("lblNetworkAddComment"));
    lblNetworkAddComment->setWordWrap(true);
    auto* page = new QVBoxLayout(fraTargetBoard[2]);
    page->addWidget(fraDescription[4]);
    page->addSpacing(8);
    page->addWidget(lblNetworkAddComment);
    page->addStretch(1);
}

// Page 3: the board's clock.
void frmTargetBoard::buildClockPage()
{
    lblTargetBoardTime->setObjectName(QStringLiteral("lblTargetBoardTime"));
    lblTargetBoardDate->setObjectName(QStringLiteral("lblTargetBoardDate"));
    lblCurrTimeDesc->setObjectName(QStringLiteral("lblCurrTimeDesc"));
    lblCurrTime->setObjectName(QStringLiteral("lblCurrTime"));
    lblCurrDateDesc->setObjectName(QStringLiteral("lblCurrDateDesc"));
    lblCurrDate->setObjectName(QStringLiteral("lblCurrDate"));
    cmdSetToCurrTime->setObjectName(QStringLiteral("cmdSetToCurrTime"));
    cmdSetToCurrDate->setObjectName(QStringLiteral("cmdSetToCurrDate"));
    const std::array<const char*, 2> notes { "Note:",
        "Only the V5510 Display Module and the R6016 Communications CO-CPU board are equipped with real "
        "time clocks." };
    for (int i = 0; i < 2; ++i) {
        lblTimeDateNote[size_t(i)] = new QLabel(QLatin1String(notes[size_t(i)]), this);
        lblTimeDateNote[size_t(i)]->setObjectName(controlArrayName("lblTimeDateNote", i));
    }
    lblTimeDateNote[1]->setWordWrap(true);
    for (QLabel* clock : { lblCurrTime, lblCurrDate }) {
        clock->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        clock->setAlignment(Qt::AlignCenter);
        clock->setMinimumWidth(clock->fontMetrics().horizontalAdvance(QStringLiteral("00 - 00 - 0000")) + 16);
    }

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    for (int row = 0; row < 2; ++row) {
        const int first = kFirstClockField + 3 * row;
        for (int k = 0; k < 3; ++k) {
            grid->addWidget(lblSetupDesc[size_t(first + k)], 2 * row, 1 + k, Qt::AlignLeft | Qt::AlignBottom);
            grid->addLayout(fieldBox(first + k), 2 * row + 1, 1 + k, Qt::AlignLeft);
        }
    }
    grid->addWidget(lblTargetBoardTime, 1, 0);
    grid->addWidget(cmdSetToCurrTime, 1, 4);
    grid->addWidget(lblTargetBoardDate, 3, 0);
    grid->addWidget(cmdSetToCurrDate, 3, 4);
    grid->setRowMinimumHeight(4, 12);
    grid->addWidget(lblCurrTimeDesc, 5, 0);
    grid->addWidget(lblCurrTime, 5, 1, 1, 3, Qt::AlignLeft);
    grid->addWidget(lblCurrDateDesc, 6, 0);
    grid->addWidget(lblCurrDate, 6, 1, 1, 3, Qt::AlignLeft);
    grid->setColumnStretch(5, 1);

    auto* note = new QHBoxLayout;
    note->addWidget(lblTimeDateNote[0], 0, Qt::AlignTop);
    note->addWidget(lblTimeDateNote[1], 1);
    auto* page = new QVBoxLayout(fraTargetBoard[3]);
    page->addLayout(grid);
    page->addSpacing(12);
    page->addLayout(note);
    page->addStretch(1);
}

QHBoxLayout* frmTargetBoard::fieldBox(int i) const
{
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(txtSetup[size_t(i)]);
    row->addWidget(updSetup[size_t(i)]);
    return row;
}

} // namespace talvek
