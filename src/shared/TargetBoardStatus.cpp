#include "shared/TargetBoardStatus.h"

#include "base/BasicError.h"
#include "base/BasicText.h"
#include "base/ProgramFolder.h"
#include "base/Prompter.h"
#include "link/AddressUtils.h"
#include "link/CodeTables.h"
#include "link/K7700Registers.h"
#include "link/ProgramFiles.h"
#include "link/RSComm.h"
#include "shared/modUtility.h"
#include "shared/NumericEntry.h"

#include <QFileInfo>

namespace talvek {

namespace {

using State = TargetBoardState;

// Fault and error registers of the first pass, by position.
constexpr std::array<reg::Register, State::kPositionCount> kRegisters { reg::kFaultCode, reg::kLastFaultCode,
    reg::kCoCpuSlot, reg::kLastFaultCode, reg::kCommErrorCode, reg::kLastCommErrorCode };
// Written with 0 by "&Reset Faults", in this order.
constexpr std::array<reg::Register, 4> kResetRegisters { reg::kLastCommErrorCode, reg::kCommErrorCode,
    reg::kLastFaultCode, reg::kFaultCode };
// The entry fields' registers.
constexpr std::array<reg::Register, State::kFieldCount> kFieldRegisters { reg::kNetworkAddress1,
    reg::kNetworkAddress2, reg::kClockHour, reg::kClockMinute, reg::kClockSecond, reg::kClockMonth, reg::kClockDay,
    reg::kClockYear };
// The first field of the board's time (hour, minute, second) and date
// (month, day, year).
constexpr int kClockTime = State::kFirstClockField;
constexpr int kClockDate = State::kFirstClockField + 3;
// Of the ident registers: characters 1..8, then the checksum, then the revision.
constexpr int kIdentCharacters = 8;
constexpr int kIdentChecksum = 8;

// The code read when the link has failed: its corrective action is the cable check.
const QString kLinkLostCode = QStringLiteral("42");
// A code register read wrong twice (the link still up).
const QString kFailedCode = QStringLiteral("---");
const QString kNoValue = QStringLiteral("-");
const QString kCannotCommunicate = QStringLiteral("Cannot Communicate with Target Board.");

QString twoDigits(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

BasicError invalidCall()
{
    return BasicError(RuntimeError::kInvalidCall, QStringLiteral("TargetBoard"),
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
            throw BasicError(
                RuntimeError::kTypeMismatch, QStringLiteral("TargetBoard"), QStringLiteral("Type mismatch"));
        value = value * 16 + digit;
    }
    return qint16(value);
}

} // namespace

QString TargetBoardStatus::correctiveAction(int code)
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

TargetBoardStatus::TargetBoardStatus(
    Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, const ProgramFolder& folder, QObject* parent)
    : QObject(parent)
    , m_prompter(prompter)
    , m_rs(rs)
    , m_mode(mode)
    , m_folder(folder)
    , m_now([] { return QDateTime::currentDateTime(); })
{
    designState();
    m_published = m_state;
}

TargetBoardStatus::~TargetBoardStatus()
{
    // Nothing here may reach the link: the main window lets it go before its
    // child windows.
    stop();
}

bool TargetBoardStatus::hasClock() const
{
    return m_disk.boardCode == '6' || m_disk.boardCode == 'A';
}

void TargetBoardStatus::publish()
{
    if (m_state == m_published)
        return;
    m_published = m_state;
    emit stateChanged(m_state);
}

// ---------------------------------------------------------------------------
// Opening

void TargetBoardStatus::loadProgramSet(const QString& NorvikFile)
{
    DiskProgram disk = m_disk;
    const QString p = QString(NorvikFile).replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!p.isEmpty() && QFileInfo(p).isFile()) {
        const ProgramSetPaths set = deriveProgramSet(ChangeExtension(p, QStringLiteral("nvk")));
        disk = DiskProgram();
        disk.boardCode = qint16(ReadBoardTypeCode(p));
        disk.loaded = true;
        const QFileInfo rev(set.revision);
        if (rev.exists() && rev.size() > 0) {
            const QString s = readFirstField(set.revision).value_or(QString());
            if (s.size() < 4)
                throw invalidCall();
            disk.revision = hexPairValue(s.right(2));
            disk.checksum = hexPairValue(s.mid(s.size() - 4, 2));
            disk.ident = s.left(s.size() - 4);
            disk.imagePath = set.image;
        }
    }
    m_disk = disk;
    resetState();
    publish();
}

// The controls as the panel designs them.
void TargetBoardStatus::designState()
{
    State& s = m_state;
    s.codes = {};
    s.descriptions = {};
    s.slot.clear();
    s.slotShown = true;
    s.resetEnabled = false;
    s.goOnlineShown = true;
    s.inBoard.fill(kNoValue);
    s.inBoardEnabled = true;
    s.onDisk.fill(kNoValue);
    s.fieldTexts.fill(kNoValue);
    for (int i = 0; i < State::kFieldCount; ++i) {
        s.fieldShown[size_t(i)] = i >= State::kFirstClockField;
        s.fieldEnabled[size_t(i)] = true;
    }
    s.clockEnabled = true;
    s.currentTime = QStringLiteral("XX : XX : XX");
    s.currentDate = QStringLiteral("XX - XX - XX");
}

// The state of a new opening: the design state, set for the board, with the
// program on disk.
void TargetBoardStatus::resetState()
{
    designState();
    State& s = m_state;
    s.goOnlineShown = false;
    s.slotShown = m_disk.boardCode == '2';
    s.clockEnabled = hasClock();
    for (int i = State::kFirstClockField; i < State::kFieldCount; ++i)
        s.fieldEnabled[size_t(i)] = hasClock();
    if (m_disk.boardCode == 'A') {
        s.fieldShown[1] = true;
        s.fieldTexts[1].clear();
    } else if (!hasClock() && m_disk.boardCode != '2') {
        s.fieldShown[0] = true;
    }
    showProgramOnDisk();
}

void TargetBoardStatus::showProgramOnDisk()
{
    // Nothing before a program file was ever chosen.
    if (!m_disk.loaded)
        return;
    // As the board's ident: it ends at the first character of code 0 (a
    // program uploaded from a board without an ident has eight of them).
    const qsizetype end = m_disk.ident.indexOf(QChar(0));
    m_state.onDisk[0] = end < 0 ? m_disk.ident : m_disk.ident.left(end);
    m_state.onDisk[1] = QString::number(m_disk.revision);
    m_state.onDisk[2] = QString::number(m_disk.checksum);
    m_state.onDisk[3] = RSComm::TargetboardName(m_disk.boardCode);
    const QFileInfo hex(m_disk.imagePath);
    m_state.onDisk[4]
        = !m_disk.imagePath.isEmpty() && hex.exists() ? generalDateText(hex.lastModified()) : kNoValue;
}

// The panel has been shown: the poll loop starts. The clock is drawn in the
// first cycle, both presentations are due, and the link goes online.
void TargetBoardStatus::activated()
{
    emit opened();
    m_running = true;
    m_lastSecond = -1;
    m_firstPassDone = false;
    m_offlineShown = false;
    m_restartPass = false;
    m_faultReported = false;
    m_goOnlinePending = true;
    if (m_loop) {
        m_loop->setOnlinePresented(false);
        m_loop->setOfflinePresented(false);
    }
}

// The panel has been taken down; its loop has stopped.
void TargetBoardStatus::unloaded()
{
    m_running = false;
    m_state.live = false;
    publish();
    emit closed();
}

void TargetBoardStatus::stop()
{
    m_running = false;
    if (m_loop)
        m_loop->stop();
}

// ---------------------------------------------------------------------------
// The poll loop

void TargetBoardStatus::cycleStarted()
{
    if (m_goOnlinePending) {
        m_goOnlinePending = false;
        goOnline();
    }
    updateClock();
    publish();
}

void TargetBoardStatus::updateClock()
{
    const QDateTime now = m_now();
    const QTime time = now.time();
    if (time.second() == m_lastSecond)
        return;
    m_lastSecond = time.second();
    m_state.currentTime = twoDigits(time.hour()) + QStringLiteral(" : ") + twoDigits(time.minute())
        + QStringLiteral(" : ") + twoDigits(time.second());
    const QDate date = now.date();
    m_state.currentDate = twoDigits(date.month()) + QStringLiteral(" - ") + twoDigits(date.day())
        + QStringLiteral(" - ") + QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
}

void TargetBoardStatus::applyOnlinePresentation()
{
    m_offlineShown = false;
    m_state.live = true;
    publish();
}

void TargetBoardStatus::applyOfflinePresentation()
{
    showOffline();
    m_firstPassDone = false;
    m_state.live = true;
    publish();
}

void TargetBoardStatus::offlinePass()
{
    m_firstPassDone = false;
}

int TargetBoardStatus::beginOnlinePass()
{
    m_plan.clear();
    m_restartPass = false;
    if (!m_firstPassDone) {
        m_firstPassFaulted = false;
        for (int k = 0; k < State::kPositionCount; ++k)
            m_plan.push_back({ Step::Register, k });
        m_plan.push_back({ Step::Describe, 0 });
        for (int m = 0; m < reg::kIdentRegisterCount; ++m)
            m_plan.push_back({ Step::Ident, m });
        m_plan.push_back({ Step::FinishFirstPass, 0 });
    }
    for (int i = 0; i < State::kFieldCount; ++i)
        m_plan.push_back({ Step::Field, i });
    return int(m_plan.size());
}

bool TargetBoardStatus::onlineItem(int index)
{
    if (!m_running || index < 0 || index >= int(m_plan.size()))
        return false;
    if (m_restartPass) {
        // "&Reset Faults" asked for a new first pass: this pass ends here.
        m_restartPass = false;
        return false;
    }
    const PassStep& s = m_plan[size_t(index)];
    const bool goOn = s.step == Step::Field ? readField(s.arg) : firstPassStep(s);
    publish();
    return goOn;
}

// UpdateSetupFields, one field: every field is read, shown or not.
bool TargetBoardStatus::readField(int i)
{
    const Result<QString> read = m_rs.RSRead(kFieldRegisters[size_t(i)]);
    // A read that failed on the line leaves the field as it was until the
    // next pass; a lost link ends the loop.
    if (!read)
        return !m_rs.CommError;
    const QString& value = *read;
    const bool showsValue
        = i < State::kFirstClockField ? m_state.fieldShown[size_t(i)] : m_state.fieldEnabled[size_t(i)];
    if (showsValue) {
        QString& text = m_state.fieldTexts[size_t(i)];
        text = QString(QStringLiteral("00") + value).right(2);
        publish();
        emit fieldRead(i, text);
    }
    return true;
}

// ---------------------------------------------------------------------------
// The first pass

bool TargetBoardStatus::firstPassStep(const PassStep& s)
{
    switch (s.step) {
    case Step::Register:
        readRegister(s.arg);
        break;
    case Step::Describe:
        if (!m_firstPassFaulted)
            describeCodes();
        break;
    case Step::Ident:
        if (!m_firstPassFaulted && !m_rs.CommError)
            readIdent(s.arg);
        break;
    case Step::FinishFirstPass:
        if (m_firstPassFaulted)
            break; // the next cycle tries again
        if (!m_rs.CommError)
            m_state.goOnlineShown = false;
        m_firstPassDone = true;
        m_faultReported = false;
        break;
    case Step::Field:
        break;
    }
    return true;
}

void TargetBoardStatus::firstPassBegin()
{
    State& s = m_state;
    s.resetEnabled = false;
    s.inBoardEnabled = true;
    for (int i = 0; i < State::kFieldCount; ++i) {
        if (s.fieldShown[size_t(i)])
            s.fieldEnabled[size_t(i)] = true;
    }
    if (!hasClock()) {
        for (int i = State::kFirstClockField; i < State::kFieldCount; ++i)
            s.fieldEnabled[size_t(i)] = false;
    }
    s.clockEnabled = hasClock();
}

// A fault or error register of the first pass (position k).
void TargetBoardStatus::readRegister(int k)
{
    if (k == 0) {
        firstPassBegin();
        publish();
    }
    const Result<QString> read = m_rs.CommError ? Result<QString>(fail(Cause::LinkDown)) : m_rs.RSRead(kRegisters[size_t(k)]);
    if (!read && !m_rs.CommError) {
        // Read wrong twice on the line: no code, and the pass is made again.
        m_state.codes[size_t(k)] = kFailedCode;
        m_firstPassFaulted = true;
        return;
    }
    const qint32 value = read ? roundedInt32(Val(*read)) : 0;
    m_state.codes[size_t(k)] = m_rs.CommError ? kLinkLostCode : codeHexText(qint16(value));
    if (k != State::kSlot && !m_rs.CommError && value != 0)
        m_state.resetEnabled = true;
    if (k == State::kSlot && m_state.slotShown && !m_rs.CommError)
        m_state.slot = QString::number(value);
}

// The codes' descriptions from both tables, the CO-CPU slot again and the
// corrective action.
void TargetBoardStatus::describeCodes()
{
    const QString faults = faultCodeFilePath(m_folder);
    if (!describe(faults, State::kCurrentFault) || !describe(faults, State::kLastFault)) {
        m_firstPassFaulted = true;
        return;
    }
    if (m_state.slotShown && !m_rs.CommError) {
        publish();
        const Result<QString> slot = m_rs.RSRead(reg::kCoCpuSlot);
        if (slot)
            m_state.slot = *slot;
    }
    m_state.descriptions[State::kAction] = correctiveAction(m_state.codes[State::kAction].toInt(nullptr, 16));
    const QString comm = commErrorCodeFilePath(m_folder);
    if (!describe(comm, State::kCurrentComm) || !describe(comm, State::kLastComm))
        m_firstPassFaulted = true;
}

bool TargetBoardStatus::describe(const QString& table, int position)
{
    const CodeLookup found = lookupCodeText(table, m_state.codes[size_t(position)], CodeMatch::Last);
    if (found.matched)
        m_state.descriptions[size_t(position)] = found.description;
    if (found.status != CodeLookup::Status::ReadError)
        return true;
    // Reported once; the first pass is tried again in the next cycles.
    if (!m_faultReported) {
        m_faultReported = true;
        publish();
        showRuntimeFault(m_prompter, BasicError(found.errorNumber, QString(), found.errorDescription),
            QStringLiteral("TargetBoard FirstPass"), MsgIcon::Information);
    }
    return false;
}

// Ident register m of the board's program.
void TargetBoardStatus::readIdent(int m)
{
    const Result<QString> read = m_rs.RSRead(reg::identRegister(m));
    if (!read) {
        // An ident character read wrong twice is not taken as one: the
        // pass is made again.
        if (!m_rs.CommError)
            m_firstPassFaulted = true;
        return;
    }
    const QString& value = *read;
    if (m < kIdentCharacters) {
        const QChar c(char16_t(roundedInt32(Val(value)) & 0xFF));
        if (m == 0)
            m_plcIdent = c;
        else
            m_plcIdent += c;
        // The ident shown ends at the first character of code 0.
        const qsizetype end = m_plcIdent.indexOf(QChar(0));
        m_state.inBoard[0] = end < 0 ? m_plcIdent : m_plcIdent.left(end);
    } else if (m == kIdentChecksum) {
        m_state.inBoard[2] = value;
    } else {
        m_state.inBoard[1] = value;
    }
}

void TargetBoardStatus::showOffline()
{
    State& s = m_state;
    s.goOnlineShown = true;
    s.resetEnabled = false;
    for (int i :
        { State::kCurrentFault, State::kLastFault, State::kAction, State::kCurrentComm, State::kLastComm })
        s.descriptions[size_t(i)] = kCannotCommunicate;
    s.inBoardEnabled = false;
    for (int i = 0; i < State::kFieldCount; ++i) {
        if (s.fieldShown[size_t(i)])
            s.fieldEnabled[size_t(i)] = false;
    }
    s.clockEnabled = false;
    m_offlineShown = true;
}

// ---------------------------------------------------------------------------
// The operator's actions

void TargetBoardStatus::goOnline()
{
    if (m_rs.OnlineMode)
        return;
    m_rs.CommError = false;
    m_rs.OnlineMode = true;
    m_mode.ApplyOnlineMode();
}

void TargetBoardStatus::resetFaults()
{
    m_state.resetEnabled = false;
    publish();
    if (!m_rs.OnlineMode)
        return;
    for (const reg::Register& address : kResetRegisters) {
        // A register the controller did not clear has had its alert; the
        // others are cleared still, and the next pass shows what stands.
        if (!m_rs.CommError)
            reportedWhereItHappened(m_rs.RSWrite(address, QStringLiteral("0")));
    }
    if (!m_rs.CommError) {
        // The next cycle reads the codes and the ident again; a pass under
        // way ends at its next item.
        m_firstPassDone = false;
        m_restartPass = true;
    }
}

void TargetBoardStatus::setBoardTime()
{
    const QTime now = m_now().time();
    writeClock(kClockTime, { now.hour(), now.minute(), now.second() });
}

void TargetBoardStatus::setBoardDate()
{
    const QDate today = m_now().date();
    writeClock(kClockDate, { today.month(), today.day(), today.year() % 100 });
}

// Three clock fields from `first` on, in order, each only while the link has
// not failed.
void TargetBoardStatus::writeClock(int first, const std::array<int, 3>& values)
{
    if (!m_rs.OnlineMode)
        return;
    for (int k = 0; k < 3; ++k) {
        // A field the controller did not take stops the rest: half a time
        // or date is no time.
        if (!m_rs.RSWrite(kFieldRegisters[size_t(first + k)], QString::number(values[size_t(k)])))
            return;
    }
}

void TargetBoardStatus::writeField(int field, const QString& text)
{
    if (m_rs.OnlineMode && !m_rs.CommError)
        reportedWhereItHappened(m_rs.RSWrite(kFieldRegisters[size_t(field)], text));
}

} // namespace talvek
