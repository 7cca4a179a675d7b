#include "shared/DataTransfer.h"

#include "link/RSComm.h"
#include "shared/ChannelRecall.h"
#include "shared/MachineData.h"

#include <QScopeGuard>
#include <algorithm>

namespace talvek {

namespace {

// The progress steps of a timing phase: two per channel, one more so that
// the bar never looks full before the transfer has ended.
constexpr int kTimingSteps = 33;
constexpr int kChannelCount = 16;

QList<int> allChannels()
{
    QList<int> channels;
    for (int c = 0; c < kChannelCount; ++c)
        channels.append(c);
    return channels;
}

} // namespace

const QString kTimingUploadStatus = QStringLiteral("Uploading Timing Channels, Please Standby...");
const QString kTimingDownloadStatus = QStringLiteral("Downloading Timing Channels, Please Standby...");

std::optional<TransferWork> transferWorkFor(qint16 code, qint16 paramCount)
{
    TransferWork work;
    work.download = code >= kTransferDownloadOffset;
    const qint16 item = work.download ? qint16(code - kTransferDownloadOffset) : code;
    const QString direction = work.download ? QStringLiteral("Downloading ") : QStringLiteral("Uploading ");
    const QString standby = QStringLiteral(", Please Standby...");
    switch (item) {
    case kTransferSetupParameters:
        work.firstRow = kSetupParamFirstRow;
        work.lastRow = kSetupParamLastRow;
        work.status = direction + QStringLiteral("Set-up Parameters") + standby;
        work.maximum = 13;
        break;
    case kTransferTimingChannels:
        work.timing = true;
        work.status = work.download ? kTimingDownloadStatus : kTimingUploadStatus;
        work.maximum = kTimingSteps;
        break;
    case kTransferShiftData:
        work.firstRow = kShiftDataFirstRow;
        work.lastRow = kShiftDataLastRow;
        work.status = direction + QStringLiteral("Shift Data") + standby;
        work.maximum = 6;
        break;
    case kTransferAll:
        work.firstRow = 0;
        work.lastRow = paramCount;
        work.timing = true;
        work.status = direction + QStringLiteral("Data") + standby;
        work.maximum = paramCount + kTimingSteps;
        break;
    default:
        return std::nullopt;
    }
    return work;
}

DataTransfer::DataTransfer(RSComm& rs, MachineData& data, Hooks hooks)
    : m_rs(rs)
    , m_data(data)
    , m_hooks(std::move(hooks))
{ }

void DataTransfer::letEventsRun()
{
    if (m_hooks.letEventsRun)
        m_hooks.letEventsRun();
}

void DataTransfer::setStatus(const QString& text)
{
    if (m_hooks.statusChanged)
        m_hooks.statusChanged(text);
}

void DataTransfer::advance(int steps)
{
    m_progress += steps;
    if (m_hooks.progressChanged)
        m_hooks.progressChanged(m_progress);
}

std::optional<int> DataTransfer::unsafeRow(const QList<int>& rows) const
{
    for (const int row : rows) {
        if (row < 0 || row >= m_data.ParamAddress.size() || row >= m_data.ParamValue.size())
            return row;
        const QString& address = m_data.ParamAddress.at(row);
        const bool known = std::any_of(kParamRowDefaults.cbegin(), kParamRowDefaults.cend(),
            [&address](const ParamRowDefault& d) {
                return address.compare(QLatin1String(d.address), Qt::CaseInsensitive) == 0;
            });
        if (!known)
            return row;
    }
    return std::nullopt;
}

Status DataTransfer::refuse(int row)
{
    m_report.refusedRow = row;
    return fail(Cause::BadFile, refusedRowText(m_data, row));
}

QString DataTransfer::refusedRowText(const MachineData& data, int row)
{
    const QString address = row < data.ParamAddress.size() ? data.ParamAddress.at(row).trimmed() : QString();
    const QString what = address.isEmpty()
        ? QStringLiteral("Row %1 of the set-up data has no controller address.").arg(row)
        : QStringLiteral("Row %1 of the set-up data names %2, which is not one of the set-up parameters.")
              .arg(row)
              .arg(address);
    return what + QStringLiteral("\r\n\r\nNothing was sent.");
}

Status DataTransfer::run(qint16 code, qint16 paramCount)
{
    if (m_running)
        return fail(Cause::Busy);
    m_cancel = false;
    m_report = {};
    m_progress = 0;
    const std::optional<TransferWork> work = transferWorkFor(code, paramCount);
    if (!work)
        return fail(Cause::EntryRefused);
    QList<int> rows;
    for (int row = work->firstRow; row <= work->lastRow; ++row)
        rows.append(row);
    const QString kind = transferKind(code);
    Status outcome = done();
    if (const std::optional<int> row = unsafeRow(rows)) {
        outcome = refuse(*row);
    } else {
        const RSComm::WriteSourceScope source(m_rs, QStringLiteral("data transfer: ") + kind);
        m_running = true;
        const auto endRun = qScopeGuard([this, download = work->download] {
            if (download)
                m_rs.endWriteRun();
        });
        outcome = work->download ? recordDownload(rows, work->timing) : done();
        if (!outcome) {
            m_report.rowsNotMoved.append(rows);
            if (work->timing)
                timingNotMoved(allChannels(), true);
            m_running = false;
            tellObserver(kind, outcome, int(rows.size()), work->timing ? kChannelCount : 0);
            return outcome;
        }
        outcome = moveRows(rows, work->download);
        // The timing phase runs after a cancelled row loop too, not after a
        // failed one.
        const bool rowsFailed = !outcome && outcome.cause() != Cause::Cancelled;
        if (work->timing && rowsFailed) {
            timingNotMoved(allChannels(), true);
        } else if (work->timing) {
            // A failed timing phase outweighs a cancel of the rows.
            Status timing = work->download ? timingDownload() : timingUpload();
            if (!timing)
                outcome = timing;
        }
        m_running = false;
    }
    tellObserver(kind, outcome, int(rows.size()), work->timing ? kChannelCount : 0);
    return outcome;
}

void DataTransfer::tellObserver(const QString& kind, const Status& outcome, int rows, int channels) const
{
    LinkObserver* observer = m_observed ? m_rs.observer() : nullptr;
    if (!observer)
        return;
    int moved = 0;
    if (!m_report.refusedRow)
        moved = rows - int(m_report.rowsNotMoved.size()) + channels - int(m_report.channelsNotMoved.size());
    observer->transferred(TransferRecord { kind, m_file, outcome, moved });
}

QString DataTransfer::transferKind(qint16 code)
{
    const bool download = code >= kTransferDownloadOffset;
    const qint16 group = download ? qint16(code - kTransferDownloadOffset) : code;
    QString what;
    switch (group) {
    case kTransferSetupParameters: what = QStringLiteral("set-up parameters"); break;
    case kTransferTimingChannels: what = QStringLiteral("timing channels"); break;
    case kTransferShiftData: what = QStringLiteral("shift data"); break;
    case kTransferAll: what = QStringLiteral("all"); break;
    default: return {};
    }
    return (download ? QStringLiteral("download ") : QStringLiteral("upload ")) + what;
}

Status DataTransfer::downloadSelected(const Selection& selection)
{
    if (m_running)
        return fail(Cause::Busy);
    m_cancel = false;
    m_report = {};
    m_progress = 0;
    if (const std::optional<int> row = unsafeRow(selection.rows))
        return refuse(*row);
    if (std::any_of(selection.channels.cbegin(), selection.channels.cend(),
            [](int c) { return c < 0 || c >= kChannelCount; }))
        return fail(Cause::EntryRefused);
    const QString kind = QStringLiteral("download selected");
    const RSComm::WriteSourceScope source(m_rs, QStringLiteral("data transfer: ") + kind);
    const bool timing = selection.config || !selection.channels.isEmpty();
    const auto endRun = qScopeGuard([this] { m_rs.endWriteRun(); });
    if (Status recorded = recordDownload(selection.rows, timing); !recorded) {
        m_report.rowsNotMoved = selection.rows;
        timingNotMoved(selection.channels, selection.config);
        tellObserver(kind, recorded, int(selection.rows.size()), int(selection.channels.size()));
        return recorded;
    }
    m_running = true;
    Status outcome = moveRows(selection.rows, true);
    const bool rowsFailed = !outcome && outcome.cause() != Cause::Cancelled;
    if (timing && rowsFailed) {
        timingNotMoved(selection.channels, selection.config);
    } else if (timing) {
        Status sent = sendTiming(selection.config, selection.channels);
        if (!sent)
            outcome = sent;
    }
    m_running = false;
    tellObserver(kind, outcome, int(selection.rows.size()), int(selection.channels.size()));
    return outcome;
}

// A download is recorded for the next run once, before its first byte (one
// sync of the link's write-ahead record, not one for each row and PLS
// write): the bytes of its rows, and its PLS writes when it has some.
Status DataTransfer::recordDownload(const QList<int>& rows, bool timing)
{
    if (m_rs.CommError)
        return done(); // nothing will be sent; the phases report the link
    QStringList addresses;
    for (const int row : rows)
        addresses << m_data.ParamAddress.at(row);
    return m_rs.beginWriteRun(addresses, timing);
}

Status DataTransfer::moveRows(const QList<int>& rows, bool download)
{
    for (qsizetype i = 0; i < rows.size(); ++i) {
        letEventsRun();
        Status moved = m_cancel ? Status(fail(Cause::Cancelled))
            : m_rs.CommError    ? Status(fail(Cause::LinkDown))
                                : transferRow(rows[i], download);
        if (!moved) {
            m_report.rowsNotMoved.append(rows.mid(i));
            return moved;
        }
        advance(1);
    }
    return done();
}

Status DataTransfer::transferRow(int row, bool download)
{
    const QString& address = m_data.ParamAddress.at(row);
    if (download) {
        // The transfer reports a failed write itself, once, at its end.
        return m_rs.RSWrite(address, paramValueText(m_data.ParamValue.at(row)), RSComm::WriteFailure::Quiet);
    }
    const Result<QString> text = m_rs.RSRead(address);
    // A failed read has no value: the row keeps what it held.
    if (!text)
        return text.error();
    m_data.ParamValue[row] = paramValueFromText(*text);
    return done();
}

void DataTransfer::timingNotMoved(const QList<int>& channels, bool config)
{
    m_report.configNotMoved = m_report.configNotMoved || config;
    m_report.channelsNotMoved.append(channels);
}

Status DataTransfer::timingUpload()
{
    if (m_rs.CommError) {
        timingNotMoved(allChannels(), true);
        return fail(Cause::LinkDown);
    }
    setStatus(kTimingUploadStatus);
    letEventsRun();

    // The configuration, the scale factor and the offset are taken together
    // or not at all.
    const Result<std::array<qint16, 19>> list = m_rs.PLSConfigUpload();
    const Result<int> scale = list ? m_rs.PLSScaleFactor() : Result<int>(list.error());
    const Result<int> offset = scale ? m_rs.PLSOffset() : Result<int>(scale.error());
    if (!offset) {
        timingNotMoved(allChannels(), true);
        return offset.error();
    }
    // A scale factor or offset the record cannot hold is not taken as one.
    MachineData taken = m_data;
    applyPlsConfigList(taken, *list);
    if (!applyPlsScaleFactor(taken, *scale) || !applyPlsOffset(taken, *offset)) {
        timingNotMoved(allChannels(), true);
        return fail(Cause::BadReply, QStringLiteral("PLS scale factor %1, offset %2").arg(*scale).arg(*offset));
    }
    m_data = taken;

    for (int channel = 0; channel < kChannelCount; ++channel) {
        letEventsRun();
        Status moved = m_rs.CommError ? Status(fail(Cause::LinkDown)) : uploadChannel(channel);
        if (!moved) {
            timingNotMoved(allChannels().mid(channel), false);
            return moved;
        }
    }
    return done();
}

Status DataTransfer::uploadChannel(int channel)
{
    // A programmed channel is recalled twice (its ON and its OFF position,
    // in the order the board gives them); an empty one once. The pair is
    // stored only when both recalls gave one setpoint each.
    advance(1);
    const ChannelRecall first = recallChannelOnce(m_rs, qint16(channel));
    if (first.kind == ChannelRecall::Kind::Failed)
        return *first.failure;
    if (!first.gaveSetpoint()) {
        storeRecall(m_data, channel, first);
        if (first.pulseTrain())
            m_report.pulseTrainChannels.append(channel);
        advance(1);
        return done();
    }
    advance(1);
    const ChannelRecall second = recallChannelOnce(m_rs, qint16(channel));
    if (second.kind == ChannelRecall::Kind::Failed)
        return *second.failure;
    // The second recall must give the other setpoint of the same channel.
    if (!second.gaveSetpoint() || second.kind == first.kind)
        return fail(Cause::BadReply, plsChannelName(channel));
    storeRecall(m_data, channel, first);
    storeRecall(m_data, channel, second);
    return done();
}

Status DataTransfer::timingDownload()
{
    return sendTiming(true, allChannels());
}

Status DataTransfer::sendTiming(bool config, const QList<int>& channels)
{
    if (m_rs.CommError) {
        timingNotMoved(channels, config);
        return fail(Cause::LinkDown);
    }
    setStatus(kTimingDownloadStatus);
    letEventsRun();

    // The timing editor re-reads the PLS contents, whatever was sent.
    TimingDownloaded = true;
    if (config) {
        if (Status sent = m_rs.PLSConfigDownload(plsConfigDownloadList(m_data), m_data.PlsScaleFactor); !sent) {
            timingNotMoved(channels, true);
            return sent;
        }
    }
    for (qsizetype i = 0; i < channels.size(); ++i) {
        letEventsRun();
        Status sent = m_rs.CommError ? Status(fail(Cause::LinkDown)) : downloadChannel(channels[i]);
        if (!sent) {
            timingNotMoved(channels.mid(i), false);
            return sent;
        }
        advance(2);
    }
    return done();
}

Status DataTransfer::downloadChannel(int channel)
{
    if (isChannelEmpty(m_data, channel))
        return m_rs.ClearPLSChan(qint16(channel));
    return m_rs.SingleSetpoint(qint16(channel), m_data.OnSetpoint[channel], m_data.OffSetpoint[channel], true);
}

} // namespace talvek
