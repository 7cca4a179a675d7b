#include "frmTargetBoard.h"

#include "ControlArray.h"
#include "AddressUtils.h"
#include "BasicError.h"
#include "BasicText.h"
#include "CodeTables.h"
#include "FormUtility.h"
#include "NumericField.h"
#include "ProgramFiles.h"
#include "ProgramFolder.h"
#include "Prompter.h"
#include "RSComm.h"
#include "UpDown.h"
#include "modUtility.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>

namespace talvek {

namespace {

// Fault and error registers of the first pass, positions 0..5.
constexpr std::array<const char*, 6> kRegisters { "B8176", "B8177", "B8175", "B8177", "B8179", "B8178" };
constexpr int PosCurrentFault = 0;
constexpr int PosLastFault = 1;
constexpr int PosSlot = 2;
constexpr int PosAction = 3;
constexpr int PosCurrentComm = 4;
constexpr int PosLastComm = 5;
const QString kSlotAddress = QStringLiteral("B8175");
// Written with 0 by "&Reset Faults", in this order.
constexpr std::array<const char*, 4> kResetRegisters { "B8178", "B8179", "B8177", "B8176" };
// Ident registers of the board: characters 1..8, checksum, revision.
constexpr int IdentBase = 61424;
constexpr int IdentRegisters = 10;
// The code read when the link has failed: its corrective action is the cable check.
const QString kLinkLostCode = QStringLiteral("42");


struct FieldRow
{
    const char* caption;
    int min;
    int max;
};

constexpr std::array<FieldRow, frmTargetBoard::FieldCount> kFields { {
    { "Current Network Address 1:", 1, 32 },
    { "Current Network Address 2:", 1, 32 },
    { "Hr.", 0, 23 },
    { "Min.", 0, 59 },
    { "Sec.", 0, 59 },
    { "Mo.", 1, 12 },
    { "Day", 1, 31 },
    { "Yr.", 0, 99 },
} };
constexpr int FirstClockField = 2;

constexpr std::array<const char*, 14> kTargetBoardCaptions { "Current Fault:", "Last Fault:", "CO-CPU Slot:",
    "Corrective Action:", "Current Comm Error:", "Last Comm Error:", "Name:", "Revision:", "Checksum:",
    "Target Board:", "Name:", "Revision:", "Checksum:", "Rev Date:" };

const QString kNoValue = QStringLiteral("-");
const QString kCannotCommunicate = QStringLiteral("Cannot Communicate with Target Board.");
const QString kNetworkComment = QStringLiteral(
    "Each R6000 board connected to the R6000 Network must be assigned a unique network address between 1 "
    "and 32.\r\n\r\nSystem function sfunc19(); configures the R8816 serial communication for the K7700 "
    "processor.");

QString twoDigits(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

BasicError invalidCall()
{
    return BasicError(RuntimeError::InvalidCall, QStringLiteral("TargetBoard"),
        QStringLiteral("Invalid procedure call or argument"));
}

// Two mark-hex (or ordinary hexadecimal) digits as their value.
qint16 hexPairValue(QString pair)
{
    MarkHex2HEX(pair);
    int value = 0;
    for (const QChar c : std::as_const(pair)) {
        const int digit = QStringView(u"0123456789ABCDEF").indexOf(c, 0, Qt::CaseInsensitive);
        if (digit < 0)
            throw BasicError(RuntimeError::TypeMismatch, QStringLiteral("TargetBoard"),
                QStringLiteral("Type mismatch"));
        value = value * 16 + digit;
    }
    return qint16(value);
}

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

const std::array<const char*, frmTargetBoard::FieldCount> frmTargetBoard::FieldAddresses {
    "B8180",
    "B8191",
    "B43012",
    "B43010",
    "B43008",
    "B43016",
    "B43015",
    "B43017",
};

QString frmTargetBoard::CorrectiveAction(int code)
{
    if (code >= 0x01 && code <= 0x3F)
        return QStringLiteral("Replace CO-CPU board at \"CO-CPU Slot\" and try again.  "
                              "If fault persists, peplace R6012 processor board and try again.  "
                              "If fault persists, verify proper use of \"sfunc05/06/12\" in user program.");
    if (code == 0x42)
        return QStringLiteral(
            "Verify connection of cable between computer \"COM\" port and target board "
            "\"PROG PORT\".  Verify cable wiring and connectors.  If fault persists, replace "
            "target board and/or try a different computer.");
    if (code == 0x45)
        return QStringLiteral("User program executed an sfunc09() system fault function call.  See User "
                              "program for details on source of fault and corrective action.");
    if (code == 0x5C || code == 0x5D)
        return QStringLiteral("Program is invalid.  Re-dump program to target board.  If fault persists, "
                              "verify cable connections between computer and target board.  If fault "
                              "persists, replace target board.");
    if (code >= 0x40 && code <= 0x7A)
        return QStringLiteral("Reset fault and try again.  If fault persists, replace target board and try "
                              "again.  See Norvik Manual for more details.");
    return QStringLiteral("None");
}

frmTargetBoard::frmTargetBoard(
    Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, const ProgramFolder& folder, QWidget* parent)
    : QDialog(parent)
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
    , cmdDefault(new QPushButton(QStringLiteral("-"), this))
    , m_prompter(prompter)
    , m_rs(rs)
    , m_mode(mode)
    , m_folder(folder)
    , m_form(prompter)
    , m_now([] { return QDateTime::currentDateTime(); })
{
    setObjectName(QStringLiteral("frmTargetBoard"));
    setWindowTitle(QStringLiteral("Target Board Interface"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

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
    const std::array<const char*, PageCount> pageCaptions { "Fault Codes / Status", "Program Ident/Revision",
        "Set Network Address", "Set Time && Date" };
    for (int k = 0; k < PageCount; ++k) {
        auto* page = new QFrame(pages);
        page->setObjectName(ControlArrayName("fraTargetBoard", k));
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
        label->setObjectName(ControlArrayName("lblTargetBoard", i));
        lblTargetBoard[size_t(i)] = label;
    }
    const std::array<const char*, 5> descriptionCaptions { "Internal Fault Code:",
        "Communications Network Error Codes:", "On Disk:", "In Target Board:",
        "Target Board Network Address:" };
    for (int i = 0; i < 5; ++i) {
        auto* box = new QGroupBox(QLatin1String(descriptionCaptions[size_t(i)]), this);
        box->setObjectName(ControlArrayName("fraDescription", i));
        fraDescription[size_t(i)] = box;
    }

    buildFaultPage();
    buildIdentPage();
    buildFields(); // before the pages that hold them
    buildNetworkPage();
    buildClockPage();

    // ---- buttons ----
    cmdResetFaults->setObjectName(QStringLiteral("cmdResetFaults"));
    cmdGoOnline->setObjectName(QStringLiteral("cmdGoOnline"));
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    SetUpFocusSink(cmdDefault);
    for (QPushButton* b :
        { cmdSetToCurrTime, cmdSetToCurrDate, cmdResetFaults, cmdGoOnline, cmdOk, cmdDefault })
        b->setAutoDefault(false);
    cmdOk->setMinimumWidth(90);
    cmdGoOnline->setMinimumWidth(90);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cmdDefault, 0, Qt::AlignBottom);
    bottom->addStretch(1);
    bottom->addWidget(cmdGoOnline);
    bottom->addWidget(cmdOk);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(10, 10, 10, 10);
    top->setSpacing(0);
    top->addWidget(tabTargetBoard);
    auto* pageBox = new QFrame(this);
    pageBox->setFrameShape(QFrame::StyledPanel);
    auto* pageBoxLayout = new QVBoxLayout(pageBox);
    pageBoxLayout->addWidget(pages);
    top->addWidget(pageBox, 1);
    top->addSpacing(10);
    top->addLayout(bottom);
    top->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(tabTargetBoard, cmdResetFaults);
    for (int i = 0; i + 1 < FieldCount; ++i)
        setTabOrder(txtSetup[size_t(i)], txtSetup[size_t(i + 1)]);

    connect(tabTargetBoard, &QTabBar::currentChanged, this, &frmTargetBoard::tabTargetBoard_Click);
    connect(cmdResetFaults, &QPushButton::clicked, this, &frmTargetBoard::cmdResetFaults_Click);
    connect(cmdGoOnline, &QPushButton::clicked, this, &frmTargetBoard::cmdGoOnline_Click);
    connect(cmdSetToCurrTime, &QPushButton::clicked, this, &frmTargetBoard::cmdSetToCurrTime_Click);
    connect(cmdSetToCurrDate, &QPushButton::clicked, this, &frmTargetBoard::cmdSetToCurrDate_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmTargetBoard::cmdOk_Click);

    // Four pages of controls: on a small screen the panel scrolls.
    MakeScrollable(this);

    m_loop = std::make_unique<RefreshLoop>(static_cast<RefreshClient&>(*this), rs, mode);
    m_loop->followVisibility(this, RefreshLoop::Activation::LoopPresents);
    Form_Load();
}

frmTargetBoard::~frmTargetBoard()
{
    // Nothing here may reach the link: the main window lets it go before its
    // child windows.
    m_form.live = false;
    m_running = false;
    if (m_loop)
        m_loop->stop();
    m_loop.reset();
    for (auto& f : m_fields)
        f.reset();
}

// ---------------------------------------------------------------------------
// Building

// The entry fields: caption, text box and up-down control, with the shared
// numeric entry rules.
void frmTargetBoard::buildFields()
{
    for (int i = 0; i < FieldCount; ++i) {
        const FieldRow& row = kFields[size_t(i)];
        auto* caption = new QLabel(QLatin1String(row.caption), this);
        caption->setObjectName(ControlArrayName("lblSetupDesc", i));
        auto* text = new QLineEdit(kNoValue, this);
        text->setObjectName(ControlArrayName("txtSetup", i));
        text->setFixedWidth(text->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 14);
        text->setAlignment(Qt::AlignRight);
        auto* upd = new UpDown(this);
        upd->setObjectName(ControlArrayName("updSetup", i));
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
        f->entry().setOnAccept(
            [this, i](qint32, const QString& writeText) { return acceptField(i, writeText); });
        m_fields[size_t(i)] = std::move(f);
    }
}

// Page 0: fault codes and communication error codes.
void frmTargetBoard::buildFaultPage()
{
    for (int i : { 0, 1, 3, 4, 5 }) {
        auto* box = new QPlainTextEdit(this);
        box->setObjectName(ControlArrayName("txtTargetBoard", i));
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
        lblRevIdentInPLC[size_t(i)] = valueLabel(ControlArrayName("lblRevIdentInPLC", i), fraDescription[3]);
        inBoard->addWidget(lblTargetBoard[size_t(10 + i)], i, 0);
        inBoard->addWidget(lblRevIdentInPLC[size_t(i)], i, 1);
    }
    inBoard->setRowStretch(3, 1);
    inBoard->setColumnStretch(1, 1);
    auto* onDisk = new QGridLayout(fraDescription[2]);
    const std::array<int, 5> captions { 6, 7, 8, 9, 13 };
    for (int i = 0; i < 5; ++i) {
        lblRevIdentOnDisk[size_t(i)] = valueLabel(ControlArrayName("lblRevIdentOnDisk", i), fraDescription[2]);
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
        lblTimeDateNote[size_t(i)]->setObjectName(ControlArrayName("lblTimeDateNote", i));
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
        const int first = FirstClockField + 3 * row;
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

// ---------------------------------------------------------------------------
// Opening

// The controls as the form designs them; InitializeForm starts from here at
// every opening.
void frmTargetBoard::Form_Load()
{
    tabTargetBoard->setCurrentIndex(0);
    for (int i = 0; i < int(kTargetBoardCaptions.size()); ++i)
        lblTargetBoard[size_t(i)]->setText(QLatin1String(kTargetBoardCaptions[size_t(i)]));
    for (QPlainTextEdit* box : txtTargetBoard) {
        if (box)
            box->clear();
    }
    for (QLabel* l : lblRevIdentInPLC) {
        l->setText(kNoValue);
        l->setEnabled(true);
    }
    for (QLabel* l : lblRevIdentOnDisk)
        l->setText(kNoValue);
    for (int i = 0; i < FieldCount; ++i) {
        txtSetup[size_t(i)]->setText(kNoValue);
        m_fields[size_t(i)]->entry().setEditing(false);
        setFieldEnabled(i, true);
        setFieldShown(i, i >= FirstClockField);
    }
    lblCurrTime->setText(QStringLiteral("XX : XX : XX"));
    lblCurrDate->setText(QStringLiteral("XX - XX - XX"));
    cmdResetFaults->setEnabled(false);
    m_form.escape = false;
}

bool frmTargetBoard::InitializeForm(const QString& NorvikFile)
{
    if (isVisible()) {
        raise();
        activateWindow();
        return true;
    }
    // 1. The program file set on disk.
    qint16 code = m_boardCode;
    bool loaded = m_diskLoaded;
    QString ident = m_diskIdent;
    qint16 revision = m_diskRevision;
    qint16 checksum = m_diskChecksum;
    QString image = m_imagePath;
    const QString P = QString(NorvikFile).replace(QLatin1Char('\\'), QLatin1Char('/'));
    try {
        if (!P.isEmpty() && QFileInfo(P).isFile()) {
            const ProgramSetPaths set = DeriveProgramSet(ChangeExtension(P, QStringLiteral("nvk")));
            code = qint16(ReadBoardTypeCode(P));
            loaded = true;
            ident = kNoValue;
            revision = 0;
            checksum = 0;
            image.clear();
            const QFileInfo rev(set.revision);
            if (rev.exists() && rev.size() > 0) {
                const QString S = ReadFirstField(set.revision).value_or(QString());
                if (S.size() < 4)
                    throw invalidCall();
                revision = hexPairValue(S.right(2));
                checksum = hexPairValue(S.mid(S.size() - 4, 2));
                ident = S.left(S.size() - 4);
                image = set.image;
            }
        }
    } catch (const BasicError& e) {
        ShowRuntimeFault(m_prompter, e, QStringLiteral("InitializeForm"), MsgIcon::Information);
        return false;
    }
    m_boardCode = code;
    m_diskLoaded = loaded;
    m_diskIdent = ident;
    m_diskRevision = revision;
    m_diskChecksum = checksum;
    m_imagePath = image;

    Form_Load();
    // 2. The entry fields' addresses.
    for (int i = 0; i < FieldCount; ++i)
        m_address[size_t(i)] = QLatin1String(FieldAddresses[size_t(i)]);
    // 3.
    lblNetworkAddComment->setText(kNetworkComment);
    // 4.
    cmdGoOnline->hide();
    lblTargetBoard[PosSlot]->hide();
    setFieldShown(1, false);
    for (int i = FirstClockField; i < FieldCount; ++i) {
        setFieldEnabled(i, false);
        txtSetup[size_t(i)]->setText(kNoValue);
    }
    setClockControlsEnabled(false);
    // 5. By board.
    if (m_boardCode == '2') {
        lblTargetBoard[PosSlot]->show();
    } else if (hasClock()) {
        for (int i = FirstClockField; i < FieldCount; ++i) {
            setFieldEnabled(i, true);
            txtSetup[size_t(i)]->setText(kNoValue);
        }
        setClockControlsEnabled(true);
        if (m_boardCode == 'A') {
            setFieldShown(1, true);
            txtSetup[1]->clear();
        }
    } else {
        setFieldShown(0, true);
    }
    // 6. The program on disk (nothing before a program file was ever chosen).
    if (m_diskLoaded) {
        lblRevIdentOnDisk[0]->setText(m_diskIdent);
        lblRevIdentOnDisk[1]->setText(QString::number(m_diskRevision));
        lblRevIdentOnDisk[2]->setText(QString::number(m_diskChecksum));
        lblRevIdentOnDisk[3]->setText(RSComm::TargetboardName(m_boardCode));
        const QFileInfo hex(m_imagePath);
        lblRevIdentOnDisk[4]->setText(
            !m_imagePath.isEmpty() && hex.exists() ? GeneralDateText(hex.lastModified()) : kNoValue);
    }
    // 7. Modal; the activation starts the poll loop. The panel opens at its
    // natural size (not the two thirds of the screen adjustSize allows);
    // centring then fits it to a smaller screen, where it scrolls.
    resize(sizeHint());
    show();
    return true;
}

// The panel has been shown (not by the window system): the poll loop starts.
void frmTargetBoard::Form_Activate()
{
    CenterForm(this);
    showPage(0);
    tabTargetBoard->setFocus(Qt::OtherFocusReason);
    m_running = true;
    // The poll loop's start: the clock is drawn in the first cycle, both
    // presentations are due, and the link goes online.
    m_lastSecond = -1;
    m_firstPassDone = false;
    m_offlineShown = false;
    m_restartPass = false;
    m_faultReported = false;
    m_goOnlinePending = true;
    m_loop->setOnlinePresented(false);
    m_loop->setOfflinePresented(false);
}

// The panel has been taken down; its loop has stopped.
void frmTargetBoard::Form_Unload()
{
    m_running = false;
    m_form.live = false;
    m_form.escape = false;
    for (auto& f : m_fields)
        f->entry().setEditing(false);
}

// ---------------------------------------------------------------------------
// The poll loop

void frmTargetBoard::cycleStarted()
{
    if (m_goOnlinePending) {
        m_goOnlinePending = false;
        cmdGoOnline_Click();
    }
    UpdateClock();
}

void frmTargetBoard::UpdateClock()
{
    const QDateTime now = m_now();
    const QTime time = now.time();
    if (time.second() == m_lastSecond)
        return;
    m_lastSecond = time.second();
    lblCurrTime->setText(twoDigits(time.hour()) + QStringLiteral(" : ") + twoDigits(time.minute())
        + QStringLiteral(" : ") + twoDigits(time.second()));
    const QDate date = now.date();
    lblCurrDate->setText(twoDigits(date.month()) + QStringLiteral(" - ") + twoDigits(date.day())
        + QStringLiteral(" - ") + QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0')));
}

void frmTargetBoard::applyOnlinePresentation()
{
    m_offlineShown = false;
    m_form.live = true;
}

void frmTargetBoard::applyOfflinePresentation()
{
    ShowOffline();
    m_firstPassDone = false;
    m_form.live = true;
}

void frmTargetBoard::offlinePass()
{
    m_firstPassDone = false;
}

int frmTargetBoard::beginOnlinePass()
{
    m_plan.clear();
    m_restartPass = false;
    if (!m_firstPassDone) {
        m_firstPassFaulted = false;
        for (int k = 0; k < int(kRegisters.size()); ++k)
            m_plan.push_back({ Step::Register, k });
        m_plan.push_back({ Step::Describe, 0 });
        for (int m = 0; m < IdentRegisters; ++m)
            m_plan.push_back({ Step::Ident, m });
        m_plan.push_back({ Step::FinishFirstPass, 0 });
    }
    for (int i = 0; i < FieldCount; ++i)
        m_plan.push_back({ Step::Field, i });
    return int(m_plan.size());
}

bool frmTargetBoard::onlineItem(int index)
{
    if (!m_running || index < 0 || index >= int(m_plan.size()))
        return false;
    if (m_restartPass) {
        // "&Reset Faults" asked for a new first pass: this pass ends here.
        m_restartPass = false;
        return false;
    }
    const PassStep& s = m_plan[size_t(index)];
    if (s.step != Step::Field)
        return FirstPassStep(s);

    // UpdateSetupFields: every field is read, shown or not.
    const int i = s.arg;
    const QString value = m_rs.RSRead(m_address[size_t(i)]);
    if (m_rs.CommError)
        return false;
    const bool showsValue = i < FirstClockField ? fieldShown(i) : txtSetup[size_t(i)]->isEnabledTo(this);
    if (showsValue && !m_fields[size_t(i)]->entry().editing())
        txtSetup[size_t(i)]->setText(QString(QStringLiteral("00") + value).right(2));
    return true;
}

void frmTargetBoard::FirstPassBegin()
{
    cmdResetFaults->setEnabled(false);
    for (QLabel* l : lblRevIdentInPLC)
        l->setEnabled(true);
    for (int i = 0; i < FieldCount; ++i) {
        if (fieldShown(i))
            setFieldEnabled(i, true);
    }
    if (hasClock()) {
        setClockControlsEnabled(true);
    } else {
        for (int i = FirstClockField; i < FieldCount; ++i)
            setFieldEnabled(i, false);
        setClockControlsEnabled(false);
    }
}

bool frmTargetBoard::FirstPassStep(const PassStep& s)
{
    switch (s.step) {
    case Step::Register: {
        const int k = s.arg;
        if (k == 0)
            FirstPassBegin();
        qint32 value = 0;
        if (!m_rs.CommError)
            value = RoundedInt32(Val(m_rs.RSRead(QLatin1String(kRegisters[size_t(k)]))));
        const QString code = m_rs.CommError ? kLinkLostCode : CodeHexText(qint16(value));
        m_codes[size_t(k)] = code;
        if (k != PosSlot && !m_rs.CommError && value != 0)
            cmdResetFaults->setEnabled(true);
        switch (k) {
        case PosCurrentFault:
            lblTargetBoard[0]->setText(QStringLiteral("Current Fault: Code = ") + code + QStringLiteral("H"));
            break;
        case PosLastFault:
            lblTargetBoard[1]->setText(QStringLiteral("Last Fault: Code = ") + code + QStringLiteral("H"));
            break;
        case PosSlot:
            if (!lblTargetBoard[PosSlot]->isHidden() && !m_rs.CommError)
                lblTargetBoard[PosSlot]->setText(QStringLiteral("CO-CPU Slot: ") + QString::number(value));
            break;
        case PosCurrentComm:
            lblTargetBoard[4]->setText(
                QStringLiteral("Current Comm Error: Code = ") + code + QStringLiteral("H"));
            break;
        case PosLastComm:
            lblTargetBoard[5]->setText(
                QStringLiteral("Last Comm Error: Code = ") + code + QStringLiteral("H"));
            break;
        default:
            break;
        }
        return true;
    }
    case Step::Describe: {
        if (m_firstPassFaulted)
            return true;
        const QString faults = FaultCodeFilePath(m_folder);
        if (!describe(faults, m_codes[PosCurrentFault], txtTargetBoard[0])
            || !describe(faults, m_codes[PosLastFault], txtTargetBoard[1])) {
            m_firstPassFaulted = true;
            return true;
        }
        if (!lblTargetBoard[PosSlot]->isHidden() && !m_rs.CommError) {
            const QString slot = m_rs.RSRead(kSlotAddress);
            if (!m_rs.CommError)
                lblTargetBoard[PosSlot]->setText(QStringLiteral("CO-CPU Slot: ") + slot);
        }
        txtTargetBoard[3]->setPlainText(CorrectiveAction(m_codes[PosAction].toInt(nullptr, 16)));
        const QString comm = CommErrorCodeFilePath(m_folder);
        if (!describe(comm, m_codes[PosCurrentComm], txtTargetBoard[4])
            || !describe(comm, m_codes[PosLastComm], txtTargetBoard[5]))
            m_firstPassFaulted = true;
        return true;
    }
    case Step::Ident: {
        if (m_firstPassFaulted || m_rs.CommError)
            return true;
        const int m = s.arg;
        const QString value = m_rs.RSRead(QStringLiteral("B") + QString::number(IdentBase + m));
        if (m_rs.CommError)
            return true;
        if (m < 8) {
            const QChar c(char16_t(RoundedInt32(Val(value)) & 0xFF));
            if (m == 0)
                m_plcIdent = c;
            else
                m_plcIdent += c;
            // A label ends at the first character of code 0.
            const qsizetype end = m_plcIdent.indexOf(QChar(0));
            lblRevIdentInPLC[0]->setText(end < 0 ? m_plcIdent : m_plcIdent.left(end));
        } else if (m == 8) {
            lblRevIdentInPLC[2]->setText(value);
        } else {
            lblRevIdentInPLC[1]->setText(value);
        }
        return true;
    }
    case Step::FinishFirstPass:
        if (m_firstPassFaulted)
            return true; // the next cycle tries again
        if (!m_rs.CommError)
            cmdGoOnline->hide();
        m_firstPassDone = true;
        m_faultReported = false;
        return true;
    case Step::Field:
        break;
    }
    return true;
}

bool frmTargetBoard::describe(const QString& table, const QString& code, QPlainTextEdit* box)
{
    const CodeLookup found = LookupCodeText(table, code, CodeMatch::Last);
    if (found.matched)
        box->setPlainText(found.description);
    if (found.status != CodeLookup::Status::ReadError)
        return true;
    // Reported once; the first pass is tried again in the next cycles.
    if (!m_faultReported) {
        m_faultReported = true;
        ShowRuntimeFault(m_prompter, BasicError(found.errorNumber, QString(), found.errorDescription),
            QStringLiteral("TargetBoard FirstPass"), MsgIcon::Information);
    }
    return false;
}

void frmTargetBoard::ShowOffline()
{
    cmdGoOnline->show();
    cmdResetFaults->setEnabled(false);
    for (int i : { 0, 1, 3, 4, 5 })
        txtTargetBoard[size_t(i)]->setPlainText(kCannotCommunicate);
    for (QLabel* l : lblRevIdentInPLC)
        l->setEnabled(false);
    for (int i = 0; i < FieldCount; ++i) {
        if (fieldShown(i))
            setFieldEnabled(i, false);
    }
    setClockControlsEnabled(false);
    m_offlineShown = true;
}

// ---------------------------------------------------------------------------
// Controls

bool frmTargetBoard::hasClock() const
{
    return m_boardCode == '6' || m_boardCode == 'A';
}

void frmTargetBoard::setFieldShown(int i, bool shown)
{
    lblSetupDesc[size_t(i)]->setVisible(shown);
    txtSetup[size_t(i)]->setVisible(shown);
    updSetup[size_t(i)]->setVisible(shown);
}

bool frmTargetBoard::fieldShown(int i) const
{
    return !txtSetup[size_t(i)]->isHidden();
}

void frmTargetBoard::setFieldEnabled(int i, bool on)
{
    lblSetupDesc[size_t(i)]->setEnabled(on);
    m_fields[size_t(i)]->setEnabled(on);
}

void frmTargetBoard::setClockControlsEnabled(bool on)
{
    lblTargetBoardTime->setEnabled(on);
    lblTargetBoardDate->setEnabled(on);
    cmdSetToCurrTime->setEnabled(on);
    cmdSetToCurrDate->setEnabled(on);
}

void frmTargetBoard::tabTargetBoard_Click(int index)
{
    if (m_form.holding) {
        // A refused entry keeps the operator in its field: the page stays.
        for (int k = 0; k < PageCount; ++k) {
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
    for (int k = 0; k < PageCount; ++k)
        fraTargetBoard[size_t(k)]->setVisible(k == page);
    if (tabTargetBoard->currentIndex() != page) {
        const QSignalBlocker block(tabTargetBoard);
        tabTargetBoard->setCurrentIndex(page);
    }
}

bool frmTargetBoard::acceptField(int i, const QString& writeText)
{
    if (m_rs.OnlineMode && !m_rs.CommError)
        m_rs.RSWrite(m_address[size_t(i)], writeText);
    return true;
}

void frmTargetBoard::cmdResetFaults_Click()
{
    const MsgResult answer = m_prompter.msgBox(
        QStringLiteral("Target Board will be reinitialized.\r\n\r\nDo you wish to continue?"),
        QStringLiteral("WARNING - Fault Code Reset!"), MsgIcon::Critical, MsgButtons::YesNoCancel,
        MsgDefault::Button2);
    if (answer != MsgResult::Yes)
        return;
    cmdResetFaults->setEnabled(false);
    if (!m_rs.OnlineMode)
        return;
    for (const char* address : kResetRegisters) {
        if (!m_rs.CommError)
            m_rs.RSWrite(QLatin1String(address), QStringLiteral("0"));
    }
    if (!m_rs.CommError) {
        // The next cycle reads the codes and the ident again.
        m_firstPassDone = false;
        m_restartPass = m_loop->inPass();
    }
}

void frmTargetBoard::cmdGoOnline_Click()
{
    if (m_rs.OnlineMode)
        return;
    m_rs.CommError = false;
    m_rs.OnlineMode = true;
    m_mode.ApplyOnlineMode();
}

void frmTargetBoard::cmdSetToCurrTime_Click()
{
    if (!m_rs.OnlineMode)
        return;
    const QTime now = m_now().time();
    const std::array<std::pair<const char*, int>, 3> writes { { { "B43012", now.hour() },
        { "B43010", now.minute() }, { "B43008", now.second() } } };
    for (const auto& [address, value] : writes) {
        if (!m_rs.CommError)
            m_rs.RSWrite(QLatin1String(address), QString::number(value));
    }
}

void frmTargetBoard::cmdSetToCurrDate_Click()
{
    if (!m_rs.OnlineMode)
        return;
    const QDate today = m_now().date();
    const std::array<std::pair<const char*, int>, 3> writes { { { "B43016", today.month() },
        { "B43015", today.day() }, { "B43017", today.year() % 100 } } };
    for (const auto& [address, value] : writes) {
        if (!m_rs.CommError)
            m_rs.RSWrite(QLatin1String(address), QString::number(value));
    }
}

void frmTargetBoard::cmdOk_Click()
{
    m_running = false;
    m_loop->stop();
    accept();
}

void frmTargetBoard::reject()
{
    // The window's own close control: as "&Ok".
    m_running = false;
    m_loop->stop();
    QDialog::reject();
}

void frmTargetBoard::closeEvent(QCloseEvent* event)
{
    m_running = false;
    m_loop->stop();
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
