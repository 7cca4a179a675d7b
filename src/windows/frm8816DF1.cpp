#include "frm8816DF1.h"

#include "BasicText.h"
#include "ControlArray.h"
#include "FormUtility.h"
#include "MachineData.h"
#include "NumericField.h"
#include "Prompter.h"
#include "RSComm.h"
#include "UpDown.h"
#include "modUtility.h"

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

struct CodeText
{
    int code;
    const char* text;
};

constexpr std::array<CodeText, 6> kConfigStatus { {
    { 1, "(1) Busy" },
    { 2, "(2) Success" },
    { 3, "(3) Invalid Parameter" },
    { 4, "(4) Timeout - No Response" },
    { 32, "(32) Hardware ACK Error" },
    { 34, "(34) Invalid Slot ADD" },
} };

constexpr std::array<CodeText, 6> kTransmitStatus { {
    { 1, "(1) Busy" },
    { 2, "(2) Done" },
    { 3, "(3) DLE NAK Received" },
    { 4, "(4) DLE ENQ Timeout" },
    { 5, "(5) No Response Timeout" },
    { 6, "(6) Message Packet Error" },
} };

// Keyed by the STS byte (0xF0: the EXT STS table).
constexpr std::array<CodeText, 22> kSts { {
    { 0x01, "(01) Not Used" },
    { 0x02, "(02) Cannot Guarantee Delivery: Link Layer" },
    { 0x03, "(03) Duplicate Token Holder Detected" },
    { 0x04, "(04) Local Port is Disconnected" },
    { 0x05, "(05) Application Layer Timed out waiting for a response" },
    { 0x06, "(06) Duplicate Node Detected" },
    { 0x07, "(07) Station is Off-Line" },
    { 0x08, "(08) Hardware Fault" },
    { 0x10, "(10) Illegal Command or Format" },
    { 0x20, "(20) Host has a Problem and Will Not Communicate" },
    { 0x30, "(30) Remote Node Host is Missing, Disconnected or Shut Down" },
    { 0x40, "(40) Host Could Not Complete Function Due to Hardware Fault" },
    { 0x50, "(50) Addressing Problem or Memory Protect Rungs" },
    { 0x60, "(60) Function Disallowed due to Command Protection Selection" },
    { 0x70, "(70) Processor is in Program Mode" },
    { 0x80, "(80) Compatibility Mode File Missing or Communication Zone Problem" },
    { 0x90, "(90) Remote Node Cannot Buffer Command" },
    { 0xA0, "(A0) Not Used" },
    { 0xB0, "(B0) Remote Node Problem Due to Download" },
    { 0xC0, "(C0) Cannot Execute Command Due to Active IPBs" },
    { 0xD0, "(D0) Not Used" },
    { 0xE0, "(E0) Not Used" },
} };

constexpr int StsExtended = 0xF0;

constexpr std::array<CodeText, 28> kExtSts { {
    { 0x00, "(F0-0) Not Used" },
    { 0x01, "(F0-1) A Field has an Illegal Value" },
    { 0x02, "(F0-2) Less Levels Specified in Address than Minimum for any Address" },
    { 0x03, "(F0-3) More Levels Specified in Address than System Supports" },
    { 0x04, "(F0-4) Symbol Not Found" },
    { 0x05, "(F0-5) Symbol is of Improper Format" },
    { 0x06, "(F0-6) Address Dosen't Point to Something Usable" },
    { 0x07, "(F0-7) File is Wrong Size" },
    { 0x08, "(F0-8) Cannot Complete Request, Situation has Changed since the Start of the Command" },
    { 0x09, "(F0-9) Data or File is Too Large" },
    { 0x0A, "(F0-A) Transaction Size plus Word Address is Too Large" },
    { 0x0B, "(F0-B) Access Denied, Improper Privilege" },
    { 0x0C, "(F0-C) Condition cannot be Generated - Resource is Not Available" },
    { 0x0D, "(F0-D) Condition already exists - Resource is already available" },
    { 0x0E, "(F0-E) Command Cannot be Executed" },
    { 0x0F, "(F0-F) Histogram Overflow" },
    { 0x10, "(F0-10) No Access" },
    { 0x11, "(F0-11) Illegal Data Type" },
    { 0x12, "(F0-12) Invalid Parameter or Invalid Data" },
    { 0x13, "(F0-13) Address Reference exists to Deleted Area" },
    { 0x14, "(F0-14) Command Execution Failure for unknown reason; Possible PLC-3 Histogram Overflow" },
    { 0x15, "(F0-15) Data Conversion Error" },
    { 0x16, "(F0-16) Scanner Not Able to Communicate with 1771 Rack Adapter" },
    { 0x17, "(F0-17) Adapter cannot Communicate with module" },
    { 0x18, "(F0-18) 1771 Module Response was not Valid" },
    { 0x19, "(F0-19) Duplicate Label" },
    { 0x1A, "(F0-1A) File is Open; Another Node Owns it" },
    { 0x1B, "(F0-1B) Another Node is the Program Owner" },
} };

template <size_t N> const char* lookup(const std::array<CodeText, N>& table, int code)
{
    for (const CodeText& c : table) {
        if (c.code == code)
            return c.text;
    }
    return nullptr;
}

QString hexKey(int value)
{
    return QString::number(value, 16).toUpper();
}

int readNumber(const QString& text)
{
    return RoundedInt32(Val(text));
}

struct Description
{
    const char* caption;
    int frame;
};

constexpr std::array<Description, frm8816DF1::AddressCount> kDescriptions { {
    { "R8816 Configuration Status:", 0 },
    { "Transmit Data Status", 0 },
    { "Transmit Data Status (prev.):", 0 },
    { "Current Transaction:", 0 },
    { "Active Command:", 0 },
    { "Number of BYTES Received:", 0 },
    { "Received Command BIT Status", 0 },
    { "Status:", 1 },
    { "Current Transaction Received:", 1 },
    { "&PLC Type:", 2 },
    { "&Destination Node:", 2 },
    { "Desination File &Number:", 2 },
} };

constexpr int PlcTypeIndex = 9;
constexpr int PlcTypeRow = 15;
constexpr int FirstFieldRow = 16;
constexpr int FirstFieldIndex = 10;
const QString NoValue = QStringLiteral("-");

} // namespace

// ---- status texts ----

QString DF1ConfigStatusText(int value)
{
    if (const char* t = lookup(kConfigStatus, value))
        return QLatin1String(t);
    return QLatin1Char('(') + QString::number(value) + QStringLiteral(") Unknown Status");
}

QString DF1TransmitStatusText(int value)
{
    if (const char* t = lookup(kTransmitStatus, value))
        return QLatin1String(t);
    return QLatin1Char('(') + QString::number(value) + QStringLiteral(") Unknown Status");
}

QString DF1ExtStsText(int extSts)
{
    if (const char* t = lookup(kExtSts, extSts))
        return QLatin1String(t);
    return QStringLiteral("(F0-") + hexKey(extSts) + QStringLiteral(") - Not Used");
}

QString DF1StsText(int sts, int extSts)
{
    if (sts == StsExtended)
        return DF1ExtStsText(extSts);
    if (const char* t = lookup(kSts, sts))
        return QLatin1String(t);
    return QLatin1Char('(') + hexKey(sts) + QStringLiteral(") - Not Used");
}

QString DF1LinkStatusText(int status, int sts, int extSts)
{
    if (status == 0)
        return QStringLiteral("(00) Success - No Error");
    return DF1StsText(sts, extSts);
}

// ---- the panel ----

const std::array<const char*, frm8816DF1::AddressCount> frm8816DF1::Addresses {
    "B4023",
    "B4021",
    "B4022",
    "W4016",
    "B4014",
    "B4026",
    "B4302.6",
    "B4303",
    "W4304",
    "B4001.0",
    "B4050",
    "B4011",
};

frm8816DF1::frm8816DF1(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent)
    : QWidget(parent)
    , cboSetup(new QComboBox(this))
    , cmdDefault(new QPushButton(QStringLiteral("-"), this))
    , m_prompter(prompter)
    , m_rs(rs)
    , m_form(prompter)
{
    setObjectName(QStringLiteral("frm8816DF1"));
    setWindowTitle(QStringLiteral("R8816DF1"));

    const std::array<const char*, 3> frameCaptions { "R8816-DF1 Communication Status",
        "A/B Link Layer Status", "DF1 Communication Set-up" };
    std::array<QGridLayout*, 3> grids {};
    for (int k = 0; k < 3; ++k) {
        auto* box = new QGroupBox(QLatin1String(frameCaptions[size_t(k)]), this);
        box->setObjectName(ControlArrayName("fraSetup", k));
        grids[size_t(k)] = new QGridLayout(box);
        grids[size_t(k)]->setHorizontalSpacing(8);
        grids[size_t(k)]->setVerticalSpacing(6);
        fraSetup[size_t(k)] = box;
    }

    std::array<int, 3> rows {};
    for (int i = 0; i < AddressCount; ++i) {
        const Description& d = kDescriptions[size_t(i)];
        auto* label = new QLabel(QLatin1String(d.caption), fraSetup[size_t(d.frame)]);
        label->setObjectName(ControlArrayName("lblDescription", i));
        const int row = rows[size_t(d.frame)]++;
        grids[size_t(d.frame)]->addWidget(label, row, 0);
        lblDescription[size_t(i)] = label;
        if (i < DisplayCount) {
            auto* display = new QLabel(QStringLiteral("0"), fraSetup[size_t(d.frame)]);
            display->setObjectName(ControlArrayName("lblDisplay", i));
            display->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            display->setMinimumWidth(i == 7 ? 460 : 300);
            display->setTextInteractionFlags(Qt::NoTextInteraction);
            grids[size_t(d.frame)]->addWidget(display, row, 1, 1, 2);
            lblDisplay[size_t(i)] = display;
        }
    }
    grids[0]->setColumnStretch(2, 1);
    grids[1]->setColumnStretch(2, 1);

    cboSetup->setObjectName(QStringLiteral("cboSetup"));
    cboSetup->setParent(fraSetup[2]);
    grids[2]->addWidget(cboSetup, 0, 1, 1, 2);
    lblDescription[PlcTypeIndex]->setBuddy(cboSetup);
    for (int i = 0; i < 2; ++i) {
        auto* text = new QLineEdit(fraSetup[2]);
        text->setObjectName(ControlArrayName("txtSetup", i));
        text->setFixedWidth(72);
        auto* upd = new UpDown(fraSetup[2]);
        upd->setObjectName(ControlArrayName("updSetup", i));
        upd->setRange(0, 255);
        upd->setIncrement(1);
        upd->setFixedHeight(text->sizeHint().height());
        grids[2]->addWidget(text, 1 + i, 1);
        grids[2]->addWidget(upd, 1 + i, 2, Qt::AlignLeft);
        lblDescription[size_t(FirstFieldIndex + i)]->setBuddy(text);
        txtSetup[size_t(i)] = text;
        updSetup[size_t(i)] = upd;

        NumericEntryOptions options;
        options.holder = ValueHolder::Text;
        options.title = QStringLiteral("R8816DF1 Set-up");
        auto f = std::make_unique<NumericField>(m_form, text, upd, cmdDefault, options);
        f->entry().setOnAccept(
            [this, i](qint32 value, const QString& writeText) { return acceptField(i, value, writeText); });
        m_fields[size_t(i)] = std::move(f);
    }
    grids[2]->setColumnStretch(3, 1);

    // One caption column for the three frames.
    int captionWidth = 0;
    for (QLabel* l : lblDescription)
        captionWidth = std::max(captionWidth, l->sizeHint().width());
    for (QGridLayout* grid : grids)
        grid->setColumnMinimumWidth(0, captionWidth);

    SetUpFocusSink(cmdDefault);

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

    cboSetup->installEventFilter(this);
    connect(cboSetup, &QComboBox::activated, this, &frm8816DF1::cboSetup_Click);

    m_loop = std::make_unique<RefreshLoop>(static_cast<RefreshClient&>(*this), rs, mode);
    m_loop->followVisibility(this, RefreshLoop::Activation::LoopPresents);
    Form_Load();
}

frm8816DF1::~frm8816DF1()
{
    m_form.live = false;
    if (m_loop)
        m_loop->stop();
    m_loop.reset();
    for (auto& f : m_fields)
        f.reset();
}

bool frm8816DF1::editing(int i) const
{
    if (i == 2)
        return m_comboEditing;
    return m_fields.at(size_t(i))->entry().editing();
}

void frm8816DF1::Form_Load()
{
    cboSetup->addItem(QStringLiteral("PLC5"));
    cboSetup->addItem(QStringLiteral("SLC500"));
    m_comboReady = false;
    m_lastOfflineEditing = OfflineEditing;
}

// Runs when the window is shown (not by the window system), before its
// refresh loop starts; the loop's first cycle applies the online or offline
// presentation.
void frm8816DF1::Form_Activate()
{
    m_form.escape = false;
}

// Runs when the window is hidden (not by the window system), after its
// refresh loop has stopped.
void frm8816DF1::Form_Unload()
{
    m_form.live = false;
    clearEditingFlags();
}

void frm8816DF1::clearEditingFlags()
{
    for (auto& f : m_fields)
        f->entry().setEditing(false);
    m_comboEditing = false;
}

bool frm8816DF1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cboSetup) {
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut: {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                m_comboEditing = event->type() == QEvent::FocusIn;
            break;
        }
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
                m_form.escape = false;
                m_comboEditing = false;
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

void frm8816DF1::cboSetup_Click(int index)
{
    // Only the operator's choices: the refresh's own selections come before
    // the combo is ready.
    if (!m_comboReady)
        return;
    m_comboEditing = true;
    m_form.escape = false;
    if (PlcTypeRow < CurrentData.ParamValue.size())
        CurrentData.ParamValue[PlcTypeRow] = index;
    if (m_rs.OnlineMode && !m_rs.CommError)
        m_rs.RSWrite(QLatin1String(Addresses[PlcTypeIndex]), QString::number(index));
}

void frm8816DF1::setComboSelection(qint64 index)
{
    cboSetup->setCurrentIndex(index >= 0 && index < cboSetup->count() ? int(index) : -1);
}

bool frm8816DF1::acceptField(int i, qint32 value, const QString& writeText)
{
    const int row = FirstFieldRow + i;
    if (row < CurrentData.ParamValue.size())
        CurrentData.ParamValue[row] = value;
    if (m_rs.OnlineMode && !m_rs.CommError)
        m_rs.RSWrite(QLatin1String(Addresses[size_t(FirstFieldIndex + i)]), writeText);
    return true;
}

// What both presentations do first: nothing is being edited, the focus
// waits on the focus sink and every control is enabled or disabled.
void frm8816DF1::presentControls(bool enabled)
{
    m_comboReady = false;
    cmdDefault->setFocus(Qt::OtherFocusReason);
    clearEditingFlags();
    for (QGroupBox* f : fraSetup)
        f->setEnabled(enabled);
    for (QLabel* l : lblDescription)
        l->setEnabled(enabled);
    for (QLabel* l : lblDisplay)
        l->setEnabled(enabled);
    for (auto& f : m_fields)
        f->setEnabled(enabled);
    cboSetup->setEnabled(enabled);
}

void frm8816DF1::applyOnlinePresentation()
{
    if (m_rs.CommError)
        return;
    const QString driver = m_rs.RSRead(QStringLiteral("F152"));
    // A failed read is the link's fault, already reported; it says nothing
    // about the driver.
    if (!m_rs.CommError && Val(driver) == 0)
        m_prompter.msgBox(QStringLiteral("The DF1 Serial Communications Driver is Not Enabled in the K7700."),
            QStringLiteral("WARNING!!"), MsgIcon::Exclamation, MsgButtons::OK);
    presentControls(true);
    m_form.live = true;
}

void frm8816DF1::applyOfflinePresentation()
{
    presentControls(false);
    for (QLabel* l : lblDisplay)
        l->setText(NoValue);
    if (OfflineEditing) {
        fraSetup[2]->setEnabled(true);
        for (int i = PlcTypeIndex; i < AddressCount; ++i)
            lblDescription[size_t(i)]->setEnabled(true);
        for (auto& f : m_fields)
            f->setEnabled(true);
        cboSetup->setEnabled(true);
    }
    m_form.live = true;
}

int frm8816DF1::beginOnlinePass()
{
    return AddressCount;
}

bool frm8816DF1::onlineItem(int index)
{
    const QString value = m_rs.RSRead(QLatin1String(Addresses[size_t(index)]));
    if (m_rs.CommError)
        return false;
    const int v = readNumber(value);
    switch (index) {
    case 0:
        lblDisplay[0]->setText(DF1ConfigStatusText(v));
        break;
    case 1:
    case 2:
        lblDisplay[size_t(index)]->setText(DF1TransmitStatusText(v));
        break;
    case 3:
    case 5:
    case 8:
        lblDisplay[size_t(index)]->setText(value);
        break;
    case 4:
        // 0 and 1 are the commands; any other number is shown as read.
        lblDisplay[4]->setText(v == 0 ? QStringLiteral("Read") : (v == 1 ? QStringLiteral("Write") : value));
        break;
    case 6:
        lblDisplay[6]->setText(v == 0 ? QStringLiteral("Command") : QStringLiteral("Reply"));
        break;
    case 7: {
        if (v == 0) {
            lblDisplay[7]->setText(DF1LinkStatusText(0, 0, 0));
            break;
        }
        const QString sts = m_rs.RSRead(QStringLiteral("B4018"));
        if (m_rs.CommError)
            return false;
        const QString extSts = m_rs.RSRead(QStringLiteral("B4019"));
        if (m_rs.CommError)
            return false;
        lblDisplay[7]->setText(DF1LinkStatusText(v, readNumber(sts), readNumber(extSts)));
        break;
    }
    case PlcTypeIndex:
        if (!m_comboEditing) {
            setComboSelection(v);
            m_comboReady = true;
        }
        break;
    default: {
        NumericEntry& e = m_fields[size_t(index - FirstFieldIndex)]->entry();
        if (!e.editing())
            e.setValueText(value);
        break;
    }
    }
    return true;
}

void frm8816DF1::offlinePass()
{
    if (OfflineEditing != m_lastOfflineEditing) {
        // The next cycle applies the offline presentation with the new enabling.
        m_lastOfflineEditing = OfflineEditing;
        m_loop->setOfflinePresented(false);
    }
    if (!m_comboEditing) {
        setComboSelection(CurrentData.ParamValue.value(PlcTypeRow));
        m_comboReady = true;
    }
    for (int i = 0; i < 2; ++i) {
        NumericEntry& e = m_fields[size_t(i)]->entry();
        if (!e.editing())
            e.setValueText(QString::number(CurrentData.ParamValue.value(FirstFieldRow + i)));
    }
}

} // namespace talvek
