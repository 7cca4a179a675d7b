#include "shared/BackgroundMonitor.h"

#include "link/K7700Registers.h"
#include "link/RSComm.h"
#include "shared/MachineData.h"

namespace talvek {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The registers polled, in the order of the poll rotation (FaultAddress).
constexpr std::array<const reg::Register*, BackgroundMonitor::kFaultAddressCount> kPolled { &reg::kBrakeResponseTooLong,
    &reg::kNoFaultPending, &reg::kFaultBitsW32, &reg::kFaultBitsB38, &reg::kFaultBitsB37 };

// The eight alarms, in the order the system message lists them (FaultText):
// which polled register the flag is read from, the bit it is, and its text.
// Alarm 0 is "F858 equals 1" rather than a bit; its mask is the value 1.
struct Alarm
{
    int pollIndex; // index into kPolled
    qint32 mask;
    const char* text;
};

constexpr std::array<Alarm, BackgroundMonitor::kFaultCount> kAlarms { {
    { 0, 1, " Brake Response Too Long - Service Brake (F858) " },
    { 2, 4, " Short Can/Tear Off (F2) " }, // W32 bit 2
    { 2, 16, " Die Sensor Failed (F4) " }, // W32 bit 4
    { 2, 256, " Timing Signal Failure (F8) " }, // W32 bit 8
    { 3, 1, " Clutch Output No.1 Failure (F48) " }, // B38 bit 0
    { 3, 2, " Clutch Output No.2 Failure (F49) " }, // B38 bit 1
    { 4, 4, " No Ram Motion Detected with Clutch ON (F42) " }, // B37 bit 2
    { 4, 8, " Resolver Fault - Motion Detected at Stop (F43) " }, // B37 bit 3
} };

constexpr int kSummaryIndex = 1; // F26: 1 = nothing pending in W32, B38, B37

} // namespace

const QString BackgroundMonitor::kAlarmHeading = QStringLiteral("***** SYSTEM ALARM *****");
const QString BackgroundMonitor::kNormalOnline
    = QStringLiteral("-- System Normal --\r\nSet-up Program is Currently ONLINE");
const QString BackgroundMonitor::kNormalOffline = QStringLiteral("Set-up Program is Currently OFFLINE");
const QString BackgroundMonitor::kPanelFaults = QStringLiteral("System Message:  Faults Active in PLC");
const QString BackgroundMonitor::kPanelNormal = QStringLiteral("System Message:  All Faults Normal");
const QString BackgroundMonitor::kPanelCommFault = QStringLiteral("System Message:  Comm Fault with K7700");
const QString BackgroundMonitor::kPanelOffline
    = QStringLiteral("System Message:  Program is Currently OFFLINE");

QString BackgroundMonitor::panelSlowAdapter(int timerMs)
{
    return QStringLiteral("System Message:  Slow USB adapter: its latency timer is %1 ms, not 1 ms "
                          "(see Help, Connecting)")
        .arg(timerMs);
}

BackgroundMonitor::BackgroundMonitor(RSComm& rs, QObject* parent)
    : QObject(parent)
    , m_rs(rs)
{
    setReader(nullptr);
}

void BackgroundMonitor::setReader(Reader reader)
{
    if (reader)
        m_reader = std::move(reader);
    else
        m_reader = [this](const QString& address) { return m_rs.RSRead(address); };
}

void BackgroundMonitor::InitFaultTable()
{
    for (size_t i = 0; i < kPolled.size(); ++i)
        m_faultAddress[i] = kPolled[i]->address();
    for (size_t flag = 0; flag < kAlarms.size(); ++flag)
        m_faultText[flag] = QString::fromLatin1(kAlarms[flag].text);
}

bool BackgroundMonitor::anyFaultActive() const
{
    for (const bool on : m_faultActive) {
        if (on)
            return true;
    }
    return false;
}

void BackgroundMonitor::tick()
{
    if (m_rs.OnlineMode)
        onlineTick();
    else
        offlineTick();
}

void BackgroundMonitor::onlineTick()
{
    // A tick that comes due while a controller operation waits inside its
    // Retry/Cancel box would only get the refused read's "0" and clear flags
    // on no evidence: it is left out, as if the timer had not fired.
    if (m_rs.isBusy())
        return;

    m_pollIndex = m_pollIndex + 1 > kFaultAddressCount - 1 ? 0 : m_pollIndex + 1;
    if (m_rs.CommError)
        return;
    const Result<QString> read = m_reader(m_faultAddress[size_t(m_pollIndex)]);
    // A read that failed says nothing about the alarms: they stand as they
    // were until the register is polled again.
    if (!read || m_rs.CommError)
        return;
    const qint32 v = paramValueFromText(*read);
    const std::array<bool, kFaultCount> before = m_faultActive;

    if (m_pollIndex == kSummaryIndex) {
        if (v == 1) {
            m_pollIndex = kFaultAddressCount - 1; // the next tick polls F858 again
            if (m_faultsLatched) {
                m_faultsLatched = false;
                for (int flag = 1; flag < kFaultCount; ++flag)
                    m_faultActive[size_t(flag)] = false;
            }
        } else {
            m_faultsLatched = true;
        }
    } else {
        for (int flag = 0; flag < kFaultCount; ++flag) {
            const Alarm& source = kAlarms[size_t(flag)];
            if (source.pollIndex != m_pollIndex)
                continue;
            // Flag 0 is "equals 1"; the others are bits of the value.
            m_faultActive[size_t(flag)] = flag == 0 ? v == 1 : (v & source.mask) != 0;
        }
    }

    for (int flag = 0; flag < kFaultCount; ++flag) {
        if (m_faultActive[size_t(flag)] != before[size_t(flag)])
            emit alarmChanged(flag, m_faultActive[size_t(flag)]);
    }

    QString message;
    for (int flag = 0; flag < kFaultCount; ++flag) {
        if (m_faultActive[size_t(flag)])
            message += kAlarmHeading + kCrLf + m_faultText[size_t(flag)] + kCrLf + kCrLf;
    }
    if (!message.isEmpty()) {
        m_systemMessage = message;
        m_noticeTicks = 0;
        setStatusText(kPanelFaults);
    } else {
        m_systemMessage = kNormalOnline;
        if (m_noticeTicks > 0) {
            --m_noticeTicks;
            setStatusText(m_notice);
        } else {
            setStatusText(kPanelNormal);
        }
    }
}

void BackgroundMonitor::showNotice(const QString& text)
{
    m_notice = text;
    m_noticeTicks = kNoticeTicks;
    setStatusText(text);
}

void BackgroundMonitor::offlineTick()
{
    m_noticeTicks = 0;
    m_systemMessage = kNormalOffline;
    setStatusText(m_rs.CommError ? kPanelCommFault : kPanelOffline);
}

void BackgroundMonitor::setStatusText(const QString& text)
{
    if (text == m_statusText)
        return;
    m_statusText = text;
    emit statusTextChanged(text);
}

} // namespace talvek
