#include "shared/LastUpload.h"

#include "shared/DataTransfer.h"
#include "shared/MachineData.h"

namespace talvek {

namespace {

constexpr int kChannelCount = 16;

std::optional<TransferWork> workOf(qint16 code)
{
    return transferWorkFor(code, ParamCount);
}

QString groupName(qint16 code)
{
    switch (code % kTransferDownloadOffset) {
    case kTransferSetupParameters:
        return QStringLiteral("Set-up Parameters");
    case kTransferTimingChannels:
        return QStringLiteral("Timing Channels");
    case kTransferShiftData:
        return QStringLiteral("Shift Data");
    default:
        return QStringLiteral("All Data");
    }
}

QString countText(int differing, int of, const char* noun)
{
    return QString::number(differing) + QStringLiteral(" of ") + QString::number(of) + QLatin1Char(' ')
        + QLatin1String(noun);
}

} // namespace

void LastUpload::noteUpload(qint16 code, const MachineData& data)
{
    const std::optional<TransferWork> work = workOf(code);
    if (!work || work->download)
        return;
    for (int row = work->firstRow; row <= work->lastRow && row < data.ParamValue.size(); ++row) {
        while (m_rows.size() <= row)
            m_rows.append(std::nullopt);
        m_rows[row] = data.ParamValue.at(row);
    }
    if (work->timing) {
        std::array<std::pair<qint16, qint16>, kChannelCount> channels {};
        for (size_t ch = 0; ch < channels.size(); ++ch)
            channels[ch] = { data.OnSetpoint[ch], data.OffSetpoint[ch] };
        m_channels = channels;
    }
}

void LastUpload::noteDownload(qint16 code)
{
    const std::optional<TransferWork> work = workOf(code);
    if (!work)
        return;
    for (int row = work->firstRow; row <= work->lastRow && row < m_rows.size(); ++row)
        m_rows[row].reset();
    if (work->timing)
        m_channels.reset();
}

LastUpload::Differences LastUpload::differences(qint16 code, const MachineData& data) const
{
    Differences d;
    const std::optional<TransferWork> work = workOf(code);
    if (!work)
        return d;
    d.rowCount = std::max(0, work->lastRow - work->firstRow + 1);
    int rows = 0;
    bool known = true;
    for (int row = work->firstRow; row <= work->lastRow; ++row) {
        if (row >= m_rows.size() || !m_rows.at(row) || row >= data.ParamValue.size()) {
            known = false;
            break;
        }
        if (*m_rows.at(row) != data.ParamValue.at(row))
            ++rows;
    }
    if (known && d.rowCount > 0)
        d.rows = rows;
    d.timing = work->timing;
    if (work->timing && m_channels) {
        int channels = 0;
        for (size_t ch = 0; ch < m_channels->size(); ++ch) {
            if ((*m_channels)[ch] != std::pair { data.OnSetpoint[ch], data.OffSetpoint[ch] })
                ++channels;
        }
        d.channels = channels;
    }
    return d;
}

QString downloadDataLine(qint16 code, const QString& fileCaption, const LastUpload::Differences& d)
{
    QString line = groupName(code) + QStringLiteral(" from ") + fileCaption;
    // A count only where the whole of what is written is known.
    const bool rowsKnown = d.rowCount == 0 || d.rows;
    const bool channelsKnown = !d.timing || d.channels;
    if (!rowsKnown || !channelsKnown || (d.rowCount == 0 && !d.timing))
        return line + QLatin1Char('.');
    QStringList parts;
    int differing = 0;
    if (d.rowCount > 0) {
        parts << countText(*d.rows, d.rowCount, "rows");
        differing += *d.rows;
    }
    if (d.timing) {
        parts << countText(*d.channels, kChannelCount, "channels");
        differing += *d.channels;
    }
    const bool one = parts.size() == 1 && differing == 1;
    return line + QStringLiteral(": ") + parts.join(QStringLiteral(" and "))
        + (one ? QStringLiteral(" differs") : QStringLiteral(" differ"))
        + QStringLiteral(" from what the controller held at the last upload.");
}

QString downloadDataQuestion(const QString& line)
{
    return QStringLiteral("You are about to Download Data to the PLC\r\n\r\n") + line
        + QStringLiteral("\r\n\r\nDo You Wish to Continue?");
}

} // namespace talvek
