#include "shared/JournalHooks.h"

#include "base/Clock.h"
#include "link/K7700Registers.h"
#include "link/RSComm.h"
#include "shared/BackgroundMonitor.h"
#include "shared/Journal.h"
#include "shared/MachineData.h"
#include "shared/SetupCatalogue.h"

#include <array>

namespace talvek {

namespace {

struct NamedRegister
{
    reg::Register r;
    const char* name;
};

// The writable registers that hold no parameter row, by the captions the
// windows give them (the rows are named by paramRowName).
constexpr std::array<NamedRegister, 6> kNames { {
    { reg::kAlarmReset, "Alarm Reset" },
    { reg::kEndOfShift, "End of Shift" },
    { reg::kPasscode, "Keypad Passcode" },
    { reg::kClockHour, "Clock Hour" },
    { reg::kClockMinute, "Clock Minute" },
    { reg::kDf1DriverEnabled, "DF1 Driver Enabled" },
} };

const QString kChannelPrefix = QStringLiteral("PLS channel ");

// A value as a number for the sample; nothing when the text is none.
std::optional<int> sampleValue(const Result<QString>& read)
{
    if (!read)
        return std::nullopt;
    bool ok = false;
    const int v = read->trimmed().toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

} // namespace

QString journalParameterName(const QString& address)
{
    const QString a = address.trimmed().toUpper();
    for (const NamedRegister& n : kNames) {
        if (a == QString::fromLatin1(n.r.text))
            return QString::fromLatin1(n.name);
    }
    const QByteArray latin1 = a.toLatin1();
    if (const QString name = paramRowName(paramRowOf(reg::Register { latin1.constData() })); !name.isEmpty())
        return name;
    if (address.startsWith(kChannelPrefix)) {
        const QString name = timingChannelName(address.mid(kChannelPrefix.size()).toInt());
        return name.isEmpty() ? QStringLiteral("Channel ") + address.mid(kChannelPrefix.size()) : name;
    }
    if (address.startsWith(QLatin1String("PLS ")))
        return address.mid(4, 1).toUpper() + address.mid(5);
    return {};
}

JournalHooks::JournalHooks(Journal& journal, RSComm& rs, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_rs(rs)
    , m_clock(clock)
{
    m_rs.setObserver(this);
}

JournalHooks::~JournalHooks()
{
    if (m_rs.observer() == this)
        m_rs.setObserver(nullptr);
}

void JournalHooks::watchAlarms(BackgroundMonitor& monitor)
{
    connect(&monitor, &BackgroundMonitor::alarmChanged, this, [this, &monitor](int flag, bool raised) {
        m_journal.recordAlarm(AlarmEvent { flag, monitor.FaultText()[size_t(flag)], raised });
    });
}

void JournalHooks::sampleTick()
{
    if (!m_rs.OnlineMode || m_rs.CommError || m_rs.isBusy() || m_sampling)
        return;
    const qint64 now = m_clock.nowMs();
    // The first sample a minute after going ONLINE: a short session adds
    // no reads to the link.
    if (!m_lastSampleMs)
        m_lastSampleMs = now;
    if (now - *m_lastSampleMs < kSampleIntervalMs)
        return;
    m_lastSampleMs = now;
    m_sampling = true;
    const std::optional<int> speed = sampleValue(m_rs.RSRead(reg::kMachineSpeed));
    const std::optional<int> low = speed ? sampleValue(m_rs.RSRead(reg::kBrakeResponseLow)) : std::nullopt;
    const std::optional<int> high = low ? sampleValue(m_rs.RSRead(reg::kBrakeResponseHigh)) : std::nullopt;
    m_sampling = false;
    if (speed && low && high)
        m_journal.recordSample(*speed, *low, *high);
}

void JournalHooks::valueRead(const QString& address, const QString& value)
{
    m_lastValue.insert(address, value.trimmed());
}

std::optional<QString> JournalHooks::lastValue(const QString& address) const
{
    const auto it = m_lastValue.constFind(address);
    return it == m_lastValue.constEnd() ? std::nullopt : std::optional<QString>(*it);
}

void JournalHooks::writeStarting(const ControllerWrite& write)
{
    m_startedRows << m_journal.beginWrite(write.address, journalParameterName(write.address),
        write.valueBefore ? write.valueBefore : lastValue(write.address), write.valueAfter, write.source);
}

void JournalHooks::written(const ControllerWrite& write)
{
    const std::optional<QString> before = write.valueBefore ? write.valueBefore : lastValue(write.address);
    if (write.outcome)
        m_lastValue.insert(write.address, write.valueAfter);
    const std::optional<qint64> row = m_startedRows.isEmpty() ? std::nullopt : m_startedRows.takeLast();
    if (row)
        m_journal.finishWrite(*row, before, write.valueAfter, write.outcome);
    else
        m_journal.recordWrite(write.address, journalParameterName(write.address), before, write.valueAfter,
            write.source, write.outcome);
    // The controller closes the shift on the rising end-of-shift signal.
    if (write.outcome && write.address == reg::kEndOfShift.address()
        && write.valueAfter == QLatin1String("1"))
        m_journal.recordShiftEnd(
            lastValue(reg::kShiftGoodCans.address()), lastValue(reg::kShiftShortCans.address()));
}

void JournalHooks::transferred(const TransferRecord& transfer)
{
    m_journal.recordTransfer(transfer.kind, transfer.file, transfer.outcome, transfer.rows);
}

void JournalHooks::modeChanged(bool online, const Status& outcome)
{
    m_lastValue.clear();
    m_lastSampleMs.reset();
    if (!online)
        m_journal.recordEvent(QStringLiteral("offline"), QString());
    else
        m_journal.recordEvent(QStringLiteral("online"), outcome ? QString() : Journal::outcomeText(outcome));
}

void JournalHooks::linkFaulted(Cause cause)
{
    m_journal.recordEvent(QStringLiteral("comm fault"), causeText(cause));
}

} // namespace talvek
