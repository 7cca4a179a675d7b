#include "shared/DataTransfer.h"

#include "link/RSComm.h"
#include "shared/ChannelRecall.h"
#include "shared/MachineData.h"

#include <algorithm>

namespace talvek {

namespace {

// The progress steps of a timing phase: two per channel, one more so that
// the bar never looks full before the transfer has ended.
constexpr int kTimingSteps = 33;
constexpr int kChannelCount = 16;


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

std::optional<int> DataTransfer::unsafeRow(int firstRow, int lastRow) const
{
    for (int row = firstRow; row <= lastRow; ++row) {
        if (row >= m_data.ParamAddress.size() || row >= m_data.ParamValue.size())
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

Status DataTransfer::Run(qint16 code, qint16 paramCount)
{
    if (m_running)
        return fail(Cause::Busy);
    m_cancel = false;
    m_report = {};
    m_progress = 0;
    const std::optional<TransferWork> work = transferWorkFor(code, paramCount);
    if (!work)
        return fail(Cause::EntryRefused);
    const QString kind = transferKind(code);
    Status outcome = done();
    if (const std::optional<int> row = unsafeRow(work->firstRow, work->lastRow)) {
        m_report.refusedRow = row;
        outcome = fail(Cause::BadFile, refusedRowText(m_data, *row));
    } else {
        const RSComm::WriteSourceScope source(m_rs, QStringLiteral("data transfer: ") + kind);
        outcome = runWork(*work);
    }
    if (LinkObserver* observer = m_rs.observer()) {
        int moved = 0;
        if (!m_report.refusedRow) {
            moved = work->lastRow - work->firstRow + 1 - int(m_report.rowsNotMoved.size());
            if (work->timing)
                moved += int(m_data.OnSetpoint.size()) - int(m_report.channelsNotMoved.size());
        }
        observer->transferred(TransferRecord { kind, m_file, outcome, moved });
    }
    return outcome;
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

Status DataTransfer::runWork(const TransferWork& work)
{
    m_running = true;
    Status outcome = done();
    for (int row = work.firstRow; row <= work.lastRow; ++row) {
        letEventsRun();
        if (m_cancel || m_rs.CommError) {
            for (int rest = row; rest <= work.lastRow; ++rest)
                m_report.rowsNotMoved.append(rest);
            outcome = m_cancel ? fail(Cause::Cancelled) : fail(Cause::LinkDown);
            break;
        }
        if (Status moved = transferRow(row, work.download); !moved) {
            for (int rest = row; rest <= work.lastRow; ++rest)
                m_report.rowsNotMoved.append(rest);
            outcome = moved;
            break;
        }
        advance(1);
    }
    // The timing phase runs after a cancelled row loop too, not after a
    // failed one.
    const bool rowsFailed = !outcome && outcome.cause() != Cause::Cancelled;
    if (work.timing && rowsFailed) {
        timingNotMoved(0, true);
    } else if (work.timing) {
        // A failed timing phase outweighs a cancel of the rows.
        Status timing = work.download ? timingDownload() : timingUpload();
        if (!timing)
            outcome = timing;
    }
    m_running = false;
    return outcome;
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

void DataTransfer::timingNotMoved(int firstChannel, bool config)
{
    m_report.configNotMoved = m_report.configNotMoved || config;
    for (int c = firstChannel; c < kChannelCount; ++c)
        m_report.channelsNotMoved.append(c);
}

Status DataTransfer::timingUpload()
{
    if (m_rs.CommError) {
        timingNotMoved(0, true);
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
        timingNotMoved(0, true);
        return offset.error();
    }
    // A scale factor or offset the record cannot hold is not taken as one.
    MachineData taken = m_data;
    applyPlsConfigList(taken, *list);
    if (!applyPlsScaleFactor(taken, *scale) || !applyPlsOffset(taken, *offset)) {
        timingNotMoved(0, true);
        return fail(Cause::BadReply, QStringLiteral("PLS scale factor %1, offset %2").arg(*scale).arg(*offset));
    }
    m_data = taken;

    for (int channel = 0; channel < kChannelCount; ++channel) {
        letEventsRun();
        Status moved = m_rs.CommError ? Status(fail(Cause::LinkDown)) : uploadChannel(channel);
        if (!moved) {
            timingNotMoved(channel, false);
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
        return fail(Cause::BadReply, QStringLiteral("CH%1").arg(channel, 2, 10, QLatin1Char('0')));
    storeRecall(m_data, channel, first);
    storeRecall(m_data, channel, second);
    return done();
}

Status DataTransfer::timingDownload()
{
    if (m_rs.CommError) {
        timingNotMoved(0, true);
        return fail(Cause::LinkDown);
    }
    setStatus(kTimingDownloadStatus);
    letEventsRun();

    // The timing editor re-reads the PLS contents, whatever was sent.
    TimingDownloaded = true;
    if (Status config = m_rs.PLSConfigDownload(plsConfigDownloadList(m_data), m_data.PlsScaleFactor); !config) {
        timingNotMoved(0, true);
        return config;
    }
    for (int channel = 0; channel < kChannelCount; ++channel) {
        letEventsRun();
        Status sent = m_rs.CommError ? Status(fail(Cause::LinkDown)) : downloadChannel(channel);
        if (!sent) {
            timingNotMoved(channel, false);
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
