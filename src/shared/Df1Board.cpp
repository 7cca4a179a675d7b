#include "shared/Df1Board.h"

#include "base/BasicText.h"
#include "base/Prompter.h"
#include "link/K7700Registers.h"
#include "link/RSComm.h"
#include "shared/MachineData.h"
#include "shared/modUtility.h"
#include "shared/ParamWrite.h"
#include "shared/SetupCatalogue.h"

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

constexpr int kStsExtended = 0xF0;

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
    return roundedInt32(Val(text));
}

// Indexes of the address list.
enum Item
{
    ConfigStatus = 0,
    TransmitStatus = 1,
    TransmitStatusPrev = 2,
    CurrentTransaction = 3,
    ActiveCommand = 4,
    BytesReceived = 5,
    ReceivedCommandBit = 6,
    LinkStatus = 7,
    TransactionReceived = 8,
    PlcType = 9,
    FirstField = 10,
};

// The data rows of the PLC type and of the two numeric fields.
constexpr int kPlcTypeRow = editorRow(ParamEditor::Df1PlcType);
static_assert(editorFieldCount(ParamEditor::Df1Field) == Df1BoardState::kFieldCount);

} // namespace

// ---- status texts ----

QString dF1ConfigStatusText(int value)
{
    if (const char* t = lookup(kConfigStatus, value))
        return QLatin1String(t);
    return QLatin1Char('(') + QString::number(value) + QStringLiteral(") Unknown Status");
}

QString dF1TransmitStatusText(int value)
{
    if (const char* t = lookup(kTransmitStatus, value))
        return QLatin1String(t);
    return QLatin1Char('(') + QString::number(value) + QStringLiteral(") Unknown Status");
}

QString dF1ExtStsText(int extSts)
{
    if (const char* t = lookup(kExtSts, extSts))
        return QLatin1String(t);
    return QStringLiteral("(F0-") + hexKey(extSts) + QStringLiteral(") - Not Used");
}

QString dF1StsText(int sts, int extSts)
{
    if (sts == kStsExtended)
        return dF1ExtStsText(extSts);
    if (const char* t = lookup(kSts, sts))
        return QLatin1String(t);
    return QLatin1Char('(') + hexKey(sts) + QStringLiteral(") - Not Used");
}

QString dF1LinkStatusText(int status, int sts, int extSts)
{
    if (status == 0)
        return QStringLiteral("(00) Success - No Error");
    return dF1StsText(sts, extSts);
}

// ---- the board ----

const std::array<const char*, Df1BoardState::kAddressCount> Df1Board::kAddresses {
    reg::kDf1ConfigStatus.text,
    reg::kDf1TransmitStatus.text,
    reg::kDf1TransmitStatusPrev.text,
    reg::kDf1CurrentTransaction.text,
    reg::kDf1ActiveCommand.text,
    reg::kDf1BytesReceived.text,
    reg::kDf1ReceivedCommandBit.text,
    reg::kDf1LinkStatus.text,
    reg::kDf1TransactionReceived.text,
    kParamCatalogue[kPlcTypeRow].address.text,
    editorEntry(ParamEditor::Df1Field, 0).address.text,
    editorEntry(ParamEditor::Df1Field, 1).address.text,
};

int Df1Board::fieldRow(int i)
{
    return editorRow(ParamEditor::Df1Field, i);
}

int Df1Board::fieldMin(int i)
{
    return editorEntry(ParamEditor::Df1Field, i).min;
}

int Df1Board::fieldMax(int i)
{
    return editorEntry(ParamEditor::Df1Field, i).max;
}

QString Df1Board::fieldCaption(int i)
{
    return QString::fromLatin1(editorEntry(ParamEditor::Df1Field, i).caption);
}

QString Df1Board::plcTypeCaption()
{
    return QString::fromLatin1(kParamCatalogue[kPlcTypeRow].caption);
}

Df1Board::Df1Board(Prompter& prompter, RSComm& rs, QObject* parent)
    : QObject(parent)
    , m_prompter(prompter)
    , m_rs(rs)
    , m_fields(prompter, rs, Df1BoardState::kFieldCount)
{ }

void Df1Board::bindField(int i, NumericEntry& entry)
{
    m_fields.bind(i, entry, fieldRow(i), QLatin1String(kAddresses[size_t(FirstField + i)]));
}

// Runs when the window is shown (not by the window system), before its
// refresh loop starts; the loop's first cycle applies the online or offline
// presentation.
void Df1Board::activated()
{
    m_fields.form().escape = false;
}

// Runs when the window is hidden (not by the window system), after its
// refresh loop has stopped.
void Df1Board::unloaded()
{
    m_fields.unload();
    m_comboEditing = false;
}

void Df1Board::clearEditingFlags()
{
    m_fields.clearEditingFlags();
    m_comboEditing = false;
}

void Df1Board::comboEscaped()
{
    m_fields.form().escape = false;
    m_comboEditing = false;
}

void Df1Board::plcTypeChosen(int index)
{
    // Only the operator's choices: the refresh's own selections come before
    // the combo is ready.
    if (!m_comboReady)
        return;
    m_comboEditing = true;
    m_fields.form().escape = false;
    reportedWhereItHappened(
        storeParamAndWrite(m_rs, kPlcTypeRow, index, QLatin1String(kAddresses[PlcType]), QString::number(index)));
}

// Both presentations: nothing is being edited, and the controls are enabled
// or disabled (the window moves the focus to its focus sink first).
void Df1Board::present(bool enabled, bool setupEnabled)
{
    m_comboReady = false;
    clearEditingFlags();
    m_state.enabled = enabled;
    m_state.setupEnabled = setupEnabled;
    if (!enabled)
        m_state.display.fill(QString());
    emit presented();
    m_fields.form().live = true;
}

void Df1Board::applyOnlinePresentation()
{
    if (m_rs.CommError)
        return;
    const Result<QString> driver = m_rs.RSRead(reg::kDf1DriverEnabled);
    // A failed read says nothing about the driver.
    if (driver && Val(*driver) == 0)
        m_prompter.msgBox(QStringLiteral("The DF1 Serial Communications Driver is Not Enabled in the K7700."),
            QStringLiteral("WARNING!!"), MsgIcon::Exclamation, MsgButtons::OK);
    present(true, true);
}

void Df1Board::applyOfflinePresentation()
{
    present(false, OfflineEditing);
}

int Df1Board::beginOnlinePass()
{
    return Df1BoardState::kAddressCount;
}

bool Df1Board::onlineItem(int index)
{
    const Result<QString> read = m_rs.RSRead(QLatin1String(kAddresses[size_t(index)]));
    // A read that failed on the line leaves the display as it was until the
    // next pass; a lost link ends the loop.
    if (!read)
        return !m_rs.CommError;
    const QString& value = *read;
    const int v = readNumber(value);
    QString text;
    switch (index) {
    case ConfigStatus:
        text = dF1ConfigStatusText(v);
        break;
    case TransmitStatus:
    case TransmitStatusPrev:
        text = dF1TransmitStatusText(v);
        break;
    case CurrentTransaction:
    case BytesReceived:
    case TransactionReceived:
        text = value;
        break;
    case ActiveCommand:
        // 0 and 1 are the commands; any other number is shown as read.
        text = v == 0 ? QStringLiteral("Read") : (v == 1 ? QStringLiteral("Write") : value);
        break;
    case ReceivedCommandBit:
        text = v == 0 ? QStringLiteral("Command") : QStringLiteral("Reply");
        break;
    case LinkStatus:
        return showLinkStatus(v);
    case PlcType:
        if (!m_comboEditing)
            showPlcType(v);
        return true;
    default:
        m_fields.show(index - FirstField, value);
        return true;
    }
    m_state.display[size_t(index)] = text;
    emit displayChanged(index);
    return true;
}

// The link layer status; the STS and EXT STS bytes are read only when it is
// not 0.
bool Df1Board::showLinkStatus(int status)
{
    int sts = 0;
    int extSts = 0;
    if (status != 0) {
        const Result<QString> stsText = m_rs.RSRead(reg::kDf1Sts);
        const Result<QString> extStsText = stsText ? m_rs.RSRead(reg::kDf1ExtSts) : stsText;
        // Without both bytes there is no status to decode: the display stays
        // as it was until the next pass.
        if (!extStsText)
            return !m_rs.CommError;
        sts = readNumber(*stsText);
        extSts = readNumber(*extStsText);
    }
    m_state.display[LinkStatus] = dF1LinkStatusText(status, sts, extSts);
    emit displayChanged(LinkStatus);
    return true;
}

void Df1Board::showPlcType(qint64 index)
{
    m_state.plcType = index;
    emit plcTypeChanged();
    m_comboReady = true;
}

void Df1Board::offlinePass()
{
    m_fields.followOfflineEditing();
    if (!m_comboEditing)
        showPlcType(CurrentData.ParamValue.value(kPlcTypeRow));
    for (int i = 0; i < Df1BoardState::kFieldCount; ++i)
        m_fields.show(i, QString::number(CurrentData.ParamValue.value(fieldRow(i))));
}

} // namespace talvek
