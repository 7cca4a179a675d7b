#include "shared/SetupCompare.h"

#include "base/Prompter.h"
#include "link/RSComm.h"
#include "shared/DownloadPreview.h"
#include "shared/RunningPress.h"

#include <algorithm>
#include <array>

namespace talvek {

namespace {

constexpr int kChannelCount = 16;


QString parameterCaption(int row)
{
    const QString caption = setupParameterCaption(row);
    return caption.isEmpty() ? QStringLiteral("Row %1").arg(row) : caption;
}

QString channelAddress(int channel)
{
    return plsChannelName(channel);
}

// The field of a record (const or not) that a configuration row shows.
template <class Data>
auto& configField(Data& data, int field)
{
    switch (field) {
    case int(CompareConfigField::ChannelCount):
        return data.PlsChannelCount;
    case int(CompareConfigField::Program):
        return data.PlsProgram;
    case int(CompareConfigField::ScaleFactor):
        return data.PlsScaleFactor;
    default:
        return data.SpeedCompensation[size_t(field - int(CompareConfigField::SpeedCompensation0))];
    }
}

} // namespace

qint16 compareConfigValue(const MachineData& data, int field)
{
    return configField(data, field);
}

QString compareConfigCaption(int field)
{
    switch (field) {
    case int(CompareConfigField::ChannelCount):
        return QStringLiteral("Number of PLS Channels");
    case int(CompareConfigField::Program):
        return QStringLiteral("PLS Program");
    case int(CompareConfigField::ScaleFactor):
        return QStringLiteral("Scale");
    default:
        return QStringLiteral("Speed Compensation CH0%1 (msec)")
            .arg(field - int(CompareConfigField::SpeedCompensation0));
    }
}

namespace {

QString configAddress(int field)
{
    switch (field) {
    case int(CompareConfigField::ChannelCount):
        return QStringLiteral("PLS-CHANNELS");
    case int(CompareConfigField::Program):
        return QStringLiteral("PLS-PROGRAM");
    case int(CompareConfigField::ScaleFactor):
        return QStringLiteral("PLS-SCALE");
    default:
        return QStringLiteral("PLS-COMP%1").arg(field - int(CompareConfigField::SpeedCompensation0));
    }
}

} // namespace

QString compareScopeName(CompareScope scope)
{
    switch (scope) {
    case CompareScope::SetupParameters:
        return QStringLiteral("params");
    case CompareScope::TimingChannels:
        return QStringLiteral("timing");
    case CompareScope::All:
        return QStringLiteral("all");
    }
    return {};
}

std::optional<CompareScope> compareScopeNamed(const QString& name)
{
    for (const CompareScope s : { CompareScope::SetupParameters, CompareScope::TimingChannels, CompareScope::All }) {
        if (name == compareScopeName(s))
            return s;
    }
    return std::nullopt;
}

SetupCompare::SetupCompare(const MachineData& working, CompareScope scope)
    : m_working(working)
    , m_other(working)
    , m_scope(scope)
{ }

bool SetupCompare::covers(CompareScope group) const
{
    return m_scope == CompareScope::All || m_scope == group;
}

Status SetupCompare::readController(RSComm& rs)
{
    m_other = m_working;
    m_rowsFailed.clear();
    m_configFailed = false;
    m_channelsFailed.clear();
    m_pulseTrains.clear();
    m_failure.reset();
    m_rows.clear();

    // The upload's own reading, into the compare's record: a value that was
    // not read keeps the working value there, and the report names it.
    DataTransfer upload(rs, m_other);
    upload.setObserved(false);
    Status outcome = done();
    if (covers(CompareScope::SetupParameters)) {
        outcome = upload.run(kTransferSetupParameters, ParamCount);
        if (upload.report().refusedRow)
            return outcome;
        m_rowsFailed = upload.report().rowsNotMoved;
    }
    if (covers(CompareScope::TimingChannels)) {
        const Status timing = upload.run(kTransferTimingChannels, ParamCount);
        m_configFailed = upload.report().configNotMoved;
        m_channelsFailed = upload.report().channelsNotMoved;
        m_pulseTrains = upload.report().pulseTrainChannels;
        if (outcome && !timing)
            outcome = timing;
    }
    if (!outcome)
        m_failure = outcome.error();
    buildRows();
    // The journal keeps the compare as one record: the values read, and how
    // the reading ended; the differences are the compare's own report.
    if (LinkObserver* observer = rs.observer()) {
        int read = 0;
        for (const CompareRow& row : m_rows)
            read += row.state != CompareRow::State::Failed ? 1 : 0;
        observer->transferred(TransferRecord { QStringLiteral("compare"), m_fileName, outcome, read });
    }
    return outcome;
}

void SetupCompare::compareWith(const MachineData& other)
{
    m_other = other;
    m_other.resizeTables(qMax<int>(int(m_working.ParamValue.size()) - 1, kSetupParamLastRow));
    m_rowsFailed.clear();
    m_configFailed = false;
    m_channelsFailed.clear();
    m_pulseTrains.clear();
    m_failure.reset();
    buildRows();
}

void SetupCompare::buildRows()
{
    m_rows.clear();
    if (covers(CompareScope::SetupParameters))
        addParameterRows();
    if (covers(CompareScope::TimingChannels)) {
        addConfigRows();
        addChannelRows();
    }
}

CompareRow& SetupCompare::addRow(CompareRow::Kind kind, int index, CompareScope group, QString caption,
    QString address, QString working, QString other)
{
    CompareRow row;
    row.kind = kind;
    row.index = index;
    row.group = group;
    row.caption = std::move(caption);
    row.address = std::move(address);
    row.working = std::move(working);
    row.other = std::move(other);
    row.state = row.working == row.other ? CompareRow::State::Same : CompareRow::State::Differs;
    m_rows.append(row);
    return m_rows.last();
}

void SetupCompare::addParameterRows()
{
    for (int row = kSetupParamFirstRow; row <= kSetupParamLastRow; ++row) {
        const QString address = m_working.ParamAddress.value(row);
        CompareRow& r = addRow(CompareRow::Kind::Parameter, row, CompareScope::SetupParameters,
            parameterCaption(row), address.isEmpty() ? m_other.ParamAddress.value(row) : address,
            QString::number(m_working.ParamValue.value(row)), QString::number(m_other.ParamValue.value(row)));
        // A file whose row names another address holds another value.
        if (m_working.ParamAddress.value(row).compare(m_other.ParamAddress.value(row), Qt::CaseInsensitive) != 0) {
            r.state = CompareRow::State::Differs;
            r.other += QStringLiteral(" (%1)").arg(m_other.ParamAddress.value(row));
        }
        if (m_rowsFailed.contains(row)) {
            r.state = CompareRow::State::Failed;
            r.other.clear();
            r.failure = m_failure;
        }
    }
}

void SetupCompare::addConfigRows()
{
    for (int field = 0; field < kCompareConfigFieldCount; ++field) {
        CompareRow& r = addRow(CompareRow::Kind::Config, field, CompareScope::TimingChannels, compareConfigCaption(field),
            configAddress(field), QString::number(compareConfigValue(m_working, field)),
            QString::number(compareConfigValue(m_other, field)));
        if (m_configFailed) {
            r.state = CompareRow::State::Failed;
            r.other.clear();
            r.failure = m_failure;
        }
    }
}

void SetupCompare::addChannelRows()
{
    for (int channel = 0; channel < kChannelCount; ++channel) {
        const QString name = timingChannelName(channel);
        CompareRow& r = addRow(CompareRow::Kind::Channel, channel, CompareScope::TimingChannels,
            name.isEmpty() ? QStringLiteral("Channel %1").arg(channel) : name, channelAddress(channel),
            channelText(m_working.OnSetpoint[size_t(channel)], m_working.OffSetpoint[size_t(channel)]),
            channelText(m_other.OnSetpoint[size_t(channel)], m_other.OffSetpoint[size_t(channel)]));
        if (m_pulseTrains.contains(channel)) {
            // A download replaces it, whatever the working data holds; an
            // empty channel is how a set-up file keeps one (a note), setpoints
            // are a difference.
            r.other = pulseTrainText();
            r.state = isChannelEmpty(m_working, channel) ? CompareRow::State::PulseTrain
                                                         : CompareRow::State::Differs;
        }
        if (m_channelsFailed.contains(channel)) {
            r.state = CompareRow::State::Failed;
            r.other.clear();
            r.failure = m_failure;
        }
    }
}

QString SetupCompare::channelText(qint16 on, qint16 off)
{
    if (on == 0 && off == 0)
        return QStringLiteral("empty");
    return QStringLiteral("%1 / %2").arg(on).arg(off);
}

QString SetupCompare::pulseTrainText()
{
    return QStringLiteral("pulse train");
}

int SetupCompare::differences() const
{
    return int(std::count_if(
        m_rows.cbegin(), m_rows.cend(), [](const CompareRow& r) { return r.state == CompareRow::State::Differs; }));
}

int SetupCompare::failures() const
{
    return int(std::count_if(
        m_rows.cbegin(), m_rows.cend(), [](const CompareRow& r) { return r.state == CompareRow::State::Failed; }));
}

QList<int> SetupCompare::pulseTrainsIn(const QList<int>& selected) const
{
    QList<int> trains;
    for (const int i : selected) {
        if (i < 0 || i >= m_rows.size())
            continue;
        const CompareRow& r = m_rows[i];
        if (r.kind == CompareRow::Kind::Channel && m_pulseTrains.contains(r.index) && !trains.contains(r.index))
            trains.append(r.index);
    }
    std::sort(trains.begin(), trains.end());
    return trains;
}

DataTransfer::Selection SetupCompare::selection(const QList<int>& selected) const
{
    DataTransfer::Selection s;
    for (const int i : selected) {
        if (i < 0 || i >= m_rows.size())
            continue;
        const CompareRow& r = m_rows[i];
        switch (r.kind) {
        case CompareRow::Kind::Parameter:
            if (!s.rows.contains(r.index))
                s.rows.append(r.index);
            break;
        case CompareRow::Kind::Config:
            s.config = true;
            break;
        case CompareRow::Kind::Channel:
            if (!s.channels.contains(r.index))
                s.channels.append(r.index);
            break;
        }
    }
    std::sort(s.rows.begin(), s.rows.end());
    std::sort(s.channels.begin(), s.channels.end());
    return s;
}

MachineData SetupCompare::recordToSend(const QList<int>& selected) const
{
    // The controller's configuration as read, the chosen fields from the
    // working data; rows and channels go from the working data.
    MachineData record = m_configFailed ? m_working : m_other;
    record.ParamAddress = m_working.ParamAddress;
    record.ParamValue = m_working.ParamValue;
    record.OnSetpoint = m_working.OnSetpoint;
    record.OffSetpoint = m_working.OffSetpoint;
    for (const int i : selected) {
        if (i >= 0 && i < m_rows.size() && m_rows[i].kind == CompareRow::Kind::Config)
            configField(record, m_rows[i].index) = compareConfigValue(m_working, m_rows[i].index);
    }
    return record;
}

int SetupCompare::takeInto(MachineData& data, const QList<int>& selected)
{
    int changed = 0;
    auto take = [&changed](auto& to, auto value) {
        if (to != value) {
            to = value;
            ++changed;
        }
    };
    for (const int i : selected) {
        if (i < 0 || i >= m_rows.size() || m_rows[i].state == CompareRow::State::Failed)
            continue;
        const CompareRow& r = m_rows[i];
        const int at = r.index;
        switch (r.kind) {
        case CompareRow::Kind::Parameter:
            if (at < data.ParamValue.size() && at < m_other.ParamValue.size()) {
                take(data.ParamValue[at], m_other.ParamValue[at]);
                m_working.ParamValue[at] = m_other.ParamValue[at];
            }
            break;
        case CompareRow::Kind::Config:
            take(configField(data, at), compareConfigValue(m_other, at));
            configField(m_working, at) = compareConfigValue(m_other, at);
            break;
        case CompareRow::Kind::Channel:
            take(data.OnSetpoint[size_t(at)], m_other.OnSetpoint[size_t(at)]);
            take(data.OffSetpoint[size_t(at)], m_other.OffSetpoint[size_t(at)]);
            m_working.OnSetpoint[size_t(at)] = m_other.OnSetpoint[size_t(at)];
            m_working.OffSetpoint[size_t(at)] = m_other.OffSetpoint[size_t(at)];
            break;
        }
    }
    // A pulse train taken as an empty channel still shows as one.
    buildRows();
    return changed;
}

QString compareDownloadLine(const SetupCompare& compare, const QList<int>& selected, const QString& fileCaption)
{
    QStringList addresses;
    for (const int i : selected) {
        if (i >= 0 && i < compare.rows().size())
            addresses.append(compare.rows()[i].address);
    }
    QString line = addresses.join(QStringLiteral(", ")) + QStringLiteral(" from ") + fileCaption
        + QStringLiteral(", as selected in the compare.");
    if (const QString trains = pulseTrainDownloadWarning(compare.pulseTrainsIn(selected)); !trains.isEmpty())
        line += QStringLiteral("\r\n\r\n") + trains;
    return line;
}

Status downloadCompareRows(RSComm& rs, Prompter& prompter, const SetupCompare& compare,
    const QList<int>& selected, const QString& fileCaption, DataTransfer::Report* report)
{
    const DataTransfer::Selection chosen = compare.selection(selected);
    if (chosen.rows.isEmpty() && !chosen.config && chosen.channels.isEmpty())
        return fail(Cause::EntryRefused, QStringLiteral("nothing selected"));
    const QString title = QStringLiteral("Data Download");
    const MsgResult answer = prompter.msgBox(downloadDataQuestion(compareDownloadLine(compare, selected, fileCaption)),
        title, MsgIcon::Question, MsgButtons::YesNo, MsgDefault::Button2);
    if (answer != MsgResult::Yes)
        return fail(Cause::Cancelled);
    switch (confirmWhileRunning(rs, prompter, title, kDownloadWhileRunning)) {
    case PressCheck::Go:
        break;
    case PressCheck::Declined:
        return fail(Cause::Cancelled);
    case PressCheck::Failed:
        return fail(Cause::LinkDown);
    }
    MachineData record = compare.recordToSend(selected);
    DataTransfer download(rs, record);
    const Status sent = download.downloadSelected(chosen);
    if (report)
        *report = download.report();
    return sent;
}

} // namespace talvek
