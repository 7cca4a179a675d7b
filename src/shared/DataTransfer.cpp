#include "shared/DataTransfer.h"

#include "link/RSComm.h"
#include "shared/ChannelRecall.h"
#include "shared/MachineData.h"

namespace talvek {

namespace {

// The progress steps of a timing phase: two per channel, one more so that
// the bar never looks full before the transfer has ended.
constexpr int TimingSteps = 33;
constexpr int ChannelCount = 16;

// What a PLS read returns when it failed.
const QString PLSReadFailure = QStringLiteral("-9999");

} // namespace

const QString TimingUploadStatus = QStringLiteral("Uploading Timing Channels, Please Standby...");
const QString TimingDownloadStatus = QStringLiteral("Downloading Timing Channels, Please Standby...");

std::optional<TransferWork> TransferWorkFor(qint16 code, qint16 paramCount)
{
    TransferWork work;
    work.download = code >= TransferDownloadOffset;
    const qint16 item = work.download ? qint16(code - TransferDownloadOffset) : code;
    const QString direction = work.download ? QStringLiteral("Downloading ") : QStringLiteral("Uploading ");
    const QString standby = QStringLiteral(", Please Standby...");
    switch (item) {
    case TransferSetupParameters:
        work.firstRow = SetupParamFirstRow;
        work.lastRow = SetupParamLastRow;
        work.status = direction + QStringLiteral("Set-up Parameters") + standby;
        work.maximum = 13;
        break;
    case TransferTimingChannels:
        work.timing = true;
        work.status = work.download ? TimingDownloadStatus : TimingUploadStatus;
        work.maximum = TimingSteps;
        break;
    case TransferShiftData:
        work.firstRow = ShiftDataFirstRow;
        work.lastRow = ShiftDataLastRow;
        work.status = direction + QStringLiteral("Shift Data") + standby;
        work.maximum = 6;
        break;
    case TransferAll:
        work.firstRow = 0;
        work.lastRow = paramCount;
        work.timing = true;
        work.status = direction + QStringLiteral("Data") + standby;
        work.maximum = paramCount + TimingSteps;
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

void DataTransfer::Run(qint16 code, qint16 paramCount)
{
    if (m_running)
        return;
    m_cancel = false;
    m_timingAborted = false;
    m_rowFailed = false;
    m_progress = 0;
    const std::optional<TransferWork> work = TransferWorkFor(code, paramCount);
    if (!work)
        return;
    m_running = true;
    for (int row = work->firstRow; row <= work->lastRow; ++row) {
        letEventsRun();
        if (m_cancel || m_rs.CommError)
            break;
        if (!transferRow(row, work->download)) {
            m_rowFailed = !m_rs.CommError;
            break;
        }
        advance(1);
    }
    // The timing phase runs after a cancelled row loop too, not after a
    // failed one.
    if (work->timing && !m_rowFailed) {
        if (work->download)
            TimingDownload();
        else
            TimingUpload();
    }
    m_running = false;
}

bool DataTransfer::transferRow(int row, bool download)
{
    if (row < 0 || row >= m_data.ParamAddress.size() || row >= m_data.ParamValue.size())
        return true;
    const QString& address = m_data.ParamAddress.at(row);
    if (download) {
        // The transfer reports a failed write itself, once, at its end.
        m_rs.RSWrite(address, ParamValueText(m_data.ParamValue.at(row)), RSComm::WriteFailure::Quiet);
        return !m_rs.lastWriteFailed() && !m_rs.CommError;
    }
    const QString text = m_rs.RSRead(address);
    // A failed read gives "0", not the controller's value: the row keeps
    // what it held.
    if (m_rs.lastReadFailed() || m_rs.CommError)
        return false;
    m_data.ParamValue[row] = ParamValueFromText(text);
    return true;
}

void DataTransfer::TimingUpload()
{
    if (m_rs.CommError)
        return;
    setStatus(TimingUploadStatus);
    letEventsRun();

    const std::array<qint16, 19> list = m_rs.PLSConfigUpload();
    if (!m_rs.CommError)
        ApplyPLSConfigList(m_data, list);
    if (!m_rs.CommError) {
        const QString scale = m_rs.PLSScaleFactor();
        if (!m_rs.CommError && scale != PLSReadFailure)
            ApplyPLSScaleFactorText(m_data, scale);
    }
    if (!m_rs.CommError) {
        const QString offset = m_rs.PLSOffset();
        if (!m_rs.CommError && offset != PLSReadFailure)
            ApplyPLSOffsetText(m_data, offset);
    }
    if (m_rs.CommError)
        return;

    for (int channel = 0; channel < ChannelCount; ++channel) {
        letEventsRun();
        if (m_rs.CommError || m_timingAborted)
            break;
        // A programmed channel is recalled twice (its ON and its OFF
        // position, in the order the board gives them); an empty one once.
        for (int step = 0; step < 2; ++step) {
            if (m_rs.CommError || m_timingAborted)
                break;
            advance(1);
            const ChannelRecall recall = recallChannelOnce(m_rs, qint16(channel));
            if (recall.kind == ChannelRecall::Kind::Failed) {
                m_timingAborted = true;
                continue;
            }
            storeRecall(m_data, channel, recall);
            if (!recall.gaveSetpoint()) {
                advance(1);
                break;
            }
        }
    }
}

void DataTransfer::TimingDownload()
{
    if (m_rs.CommError)
        return;
    setStatus(TimingDownloadStatus);
    letEventsRun();

    if (!m_rs.PLSConfigDownload(PLSConfigDownloadList(m_data), m_data.PlsScaleFactor))
        m_timingAborted = true; // the channels are still sent

    for (int channel = 0; channel < ChannelCount; ++channel) {
        letEventsRun();
        if (m_rs.CommError)
            break;
        if (!IsChannelEmpty(m_data, channel)) {
            if (!m_rs.SingleSetpoint(
                    qint16(channel), m_data.OnSetpoint[channel], m_data.OffSetpoint[channel], true)) {
                m_timingAborted = true;
                break;
            }
        } else if (!m_rs.ClearPLSChan(qint16(channel))) {
            m_timingAborted = true;
            break;
        }
        advance(2);
    }
    // The timing editor re-reads the PLS contents.
    TimingDownloaded = true;
}

} // namespace talvek
