#include "shared/DownloadPreview.h"

#include "link/RSComm.h"
#include "shared/DataTransfer.h"
#include "shared/MachineData.h"
#include "shared/SetupCompare.h"

namespace talvek {

namespace {

// The question names this many values; the rest are counted.
constexpr int kNamedChanges = 10;

const QString kCrLf = QStringLiteral("\r\n");

std::optional<CompareScope> compareScopeOf(qint16 code)
{
    switch (code % kTransferDownloadOffset) {
    case kTransferSetupParameters:
        return CompareScope::SetupParameters;
    case kTransferTimingChannels:
        return CompareScope::TimingChannels;
    case kTransferAll:
        return CompareScope::All;
    default:
        return std::nullopt; // shift data: counters that change with every stroke
    }
}

QString countText(int differing, int of, const QString& noun)
{
    return QStringLiteral("%1 of %2 %3").arg(differing).arg(of).arg(noun);
}

QString changeLine(const DownloadPreview::Change& c)
{
    return c.address + QLatin1Char(' ') + c.caption + QStringLiteral(": ") + c.held + QStringLiteral(" -> ")
        + c.sent;
}

QString differingLines(const DownloadPreview& p)
{
    QStringList parts;
    int differing = 0;
    if (p.rowCount > 0) {
        parts << countText(int(p.rows.size()), p.rowCount, QStringLiteral("values"));
        differing += int(p.rows.size());
    }
    if (p.channelCount > 0) {
        parts << countText(int(p.channels.size()), p.channelCount, QStringLiteral("channels"));
        differing += int(p.channels.size());
    }
    const bool one = parts.size() == 1 && differing == 1;
    QString text = QStringLiteral(": ") + parts.join(QStringLiteral(" and "))
        + (one ? QStringLiteral(" differs") : QStringLiteral(" differ"))
        + QStringLiteral(" from what the controller holds");
    if (differing == 0)
        return text + QLatin1Char('.');
    text += QLatin1Char(':');
    QList<DownloadPreview::Change> all = p.rows + p.channels;
    for (qsizetype i = 0; i < all.size() && i < kNamedChanges; ++i)
        text += kCrLf + changeLine(all[i]);
    if (all.size() > kNamedChanges)
        text += kCrLf + QStringLiteral("and %1 more.").arg(all.size() - kNamedChanges);
    return text;
}

} // namespace

QString transferGroupName(qint16 code)
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

DownloadPreview previewDownload(RSComm& rs, qint16 code, const MachineData& data)
{
    DownloadPreview p;
    p.code = code;
    p.defaults = IsUntitled && data == DefaultData;
    const std::optional<CompareScope> scope = compareScopeOf(code);
    if (!scope)
        return p;
    if (!rs.OnlineMode) {
        p.offline = true;
        return p;
    }
    SetupCompare compare(data, *scope);
    p.compared = true;
    p.read = compare.readController(rs);
    p.pulseTrains = compare.pulseTrains();
    for (const CompareRow& row : compare.rows()) {
        const bool channel = row.kind == CompareRow::Kind::Channel;
        (channel ? p.channelCount : p.rowCount) += 1;
        if (row.state != CompareRow::State::Differs && row.state != CompareRow::State::PulseTrain)
            continue;
        (channel ? p.channels : p.rows).append({ row.address, row.caption, row.other, row.working });
    }
    return p;
}

QString pulseTrainDownloadWarning(const QList<int>& channels)
{
    if (channels.isEmpty())
        return {};
    QStringList named;
    for (const int channel : channels)
        named << plsChannelName(channel);
    const bool one = channels.size() == 1;
    return QStringLiteral("The PLS holds ") + (one ? QStringLiteral("a pulse train in channel ") : QStringLiteral("pulse trains in channels "))
        + named.join(QStringLiteral(", ")) + QStringLiteral(": this download clears ")
        + (one ? QStringLiteral("it") : QStringLiteral("them"))
        + QStringLiteral(", and a set-up file cannot hold a pulse train.");
}

QString downloadDataLine(const DownloadPreview& p, const QString& fileCaption)
{
    QString line = transferGroupName(p.code) + QStringLiteral(" from ") + fileCaption;
    if (p.compared && p.read)
        line += differingLines(p);
    else
        line += QLatin1Char('.');
    if (p.offline) {
        line += kCrLf + kCrLf
            + QStringLiteral("The program is OFFLINE: what the controller holds was not read, so what this "
                             "download changes is not known.");
    } else if (!p.read) {
        line += kCrLf + kCrLf
            + QStringLiteral("What the controller holds could not be read (%1): what this download changes is "
                             "not known.")
                  .arg(causeText(p.read.cause()));
    }
    if (const QString trains = pulseTrainDownloadWarning(p.pulseTrains); !trains.isEmpty())
        line += kCrLf + kCrLf + trains;
    if (p.defaults)
        line += kCrLf + kCrLf
            + QStringLiteral("The working data are the start-up defaults: they were not read from a press or a "
                             "set-up file.");
    return line;
}

QString downloadDataQuestion(const QString& line)
{
    return QStringLiteral("You are about to Download Data to the PLC\r\n\r\n") + line
        + QStringLiteral("\r\n\r\nDo You Wish to Continue?");
}

} // namespace talvek
