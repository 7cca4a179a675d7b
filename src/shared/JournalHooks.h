#pragma once

#include "link/LinkObserver.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <optional>

namespace talvek {

class BackgroundMonitor;
class Clock;
class Journal;
class RSComm;

// The parameter's name as the editors caption it ("Low Speed (SPM)"), for a
// register or a PLS target; empty for an address that names no parameter.
QString journalParameterName(const QString& address);

// Feeds the journal from the running program: the link's writes, program
// and data transfers, mode changes and faults (as the link's observer: a
// compare reports itself the same way, through RSComm::observer()), the
// alarms the background monitor raises and clears, the ends of shift (the
// end-of-shift signal written, with the counts last read), and while ONLINE a sample of speed and
// brake response once a minute.
//
// The "before" of a write is the value last read from or written to that
// address since the link went ONLINE, when there is one. A write's row is
// recorded before its first byte ("started") and completed when it ends, so
// a run killed inside a write leaves the row.
class JournalHooks final : public QObject, public LinkObserver
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JournalHooks)

public:
    static constexpr qint64 kSampleIntervalMs = 60 * 1000;

    // Attaches itself to the link as its observer (and leaves it on destruction).
    JournalHooks(Journal& journal, RSComm& rs, Clock& clock, QObject* parent = nullptr);
    ~JournalHooks() override;

    // Records the alarms of this monitor as their flags change.
    void watchAlarms(BackgroundMonitor& monitor);


    // One step of the sampler, on the background timer: while ONLINE with a
    // sound idle link, once kSampleIntervalMs have passed on the clock since
    // the last sample (or since going ONLINE), reads speed and both brake
    // responses and records them.
    // A failed read records nothing (a sample is never made up).
    void sampleTick();

    // ---- LinkObserver ----
    void valueRead(const QString& address, const QString& value) override;
    void writeStarting(const ControllerWrite& write) override;
    void written(const ControllerWrite& write) override;
    void transferred(const TransferRecord& transfer) override;
    void modeChanged(bool online, const Status& outcome) override;
    void linkFaulted(Cause cause) override;

private:
    Journal& m_journal;
    RSComm& m_rs;
    Clock& m_clock;
    // What the last read or write left at each address (the "before").
    std::optional<QString> lastValue(const QString& address) const;
    QHash<QString, QString> m_lastValue;
    // The rows of the writes started and not yet ended, innermost last
    // (nothing for one the journal did not record).
    QList<std::optional<qint64>> m_startedRows;
    std::optional<qint64> m_lastSampleMs;
    bool m_sampling = false;
};

} // namespace talvek
