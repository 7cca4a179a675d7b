#pragma once

#include "base/Outcome.h"
#include "shared/DataTransfer.h"
#include "shared/MachineData.h"

#include <QList>
#include <QString>
#include <optional>

namespace talvek {

class Prompter;
class RSComm;

// The groups a compare covers: the set-up parameters (rows 6..17) and the
// timing channels (the PLS configuration with its scale factor, and the 16
// channels' setpoints), named as the upload names them. The shift data is
// left out: its counters and brake readings change with every stroke, so
// they would differ from any file.
enum class CompareScope
{
    SetupParameters,
    TimingChannels,
    All,
};

// "params", "timing", "all" and back.
QString compareScopeName(CompareScope scope);
std::optional<CompareScope> compareScopeNamed(const QString& name);

// One value of the compare, in table order.
struct CompareRow
{
    enum class Kind
    {
        Parameter, // `index`: the parameter row
        Config, // `index`: a CompareConfigField
        Channel, // `index`: the channel
    };
    enum class State
    {
        Same,
        Differs,
        Failed, // the other side could not be read: neither same nor different
        // The controller holds a pulse train where the working data (a set-up
        // file, which cannot hold one) hold an empty channel: a note, not a
        // difference; a download of the channel clears it.
        PulseTrain,
    };
    Kind kind = Kind::Parameter;
    int index = 0;
    CompareScope group = CompareScope::SetupParameters; // SetupParameters or TimingChannels
    QString caption; // as the editors show it, without access-key marks
    QString address; // "W1026", "PLS-SCALE", "CH03"
    QString working; // the working data's (or the first file's) value as text
    QString other; // the controller's (or the second file's); empty when Failed
    State state = State::Same;
    std::optional<Failure> failure; // why it was not read, when Failed
};

// The PLS configuration as the compare lists it.
enum class CompareConfigField
{
    ChannelCount,
    Program,
    ScaleFactor,
    SpeedCompensation0, // .. SpeedCompensation0 + 7
};
inline constexpr int kCompareConfigFieldCount = 11;
// A configuration field's caption ("Scale", "Speed Compensation CH00 (msec)")
// and its value in a record.
QString compareConfigCaption(int field);
qint16 compareConfigValue(const MachineData& data, int field);

// Working data against what the controller holds, or against a second
// set-up file. Reading the controller goes through the data transfer's
// upload into a record of the compare's own, so the working data is never
// touched by it; a value that could not be read is a failed row, never a
// difference or a match. From the rows the operator can send chosen values
// to the controller, or take the controller's into the working data.
class SetupCompare final
{
public:
    SetupCompare(const MachineData& working, CompareScope scope);

    // Reads the scope's values from the controller. A failure stops the
    // reading where it happened (the link is down from there on): the rows
    // not read are failed rows, the others are compared. The outcome is that
    // failure, or a refusal (Cause::BadFile) of working data whose rows name
    // no parameter address, before anything was read.
    // The link's observer (the journal) is told of it as a "compare" of the
    // file named with setFileName(), with the number of values read.
    Status readController(RSComm& rs);
    void setFileName(const QString& file) { m_fileName = file; }
    // The second record is a set-up file's (as read, re-sized to the rows
    // of the working data).
    void compareWith(const MachineData& other);

    const QList<CompareRow>& rows() const { return m_rows; }
    int differences() const;
    int failures() const;
    // Channels the controller holds as a pulse train (read as empty).
    const QList<int>& pulseTrains() const { return m_pulseTrains; }
    // Of rows `selected`, the channels the controller holds as pulse trains.
    QList<int> pulseTrainsIn(const QList<int>& selected) const;
    const MachineData& working() const { return m_working; }
    const MachineData& other() const { return m_other; }

    // What a download of rows `selected` (indexes into rows()) sends: the
    // working values of those rows. The configuration goes as one list, so
    // its unselected fields are sent as the controller held them (a
    // configuration that could not be read goes as the working data's).
    DataTransfer::Selection selection(const QList<int>& selected) const;
    // The record such a download sends from.
    MachineData recordToSend(const QList<int>& selected) const;
    // Takes the other side's values of rows `selected` into `data` (failed
    // rows have none and are passed over); returns how many values changed.
    // The compare's own working copy takes them too.
    int takeInto(MachineData& data, const QList<int>& selected);

    // The value texts the table shows.
    static QString channelText(qint16 on, qint16 off);
    static QString pulseTrainText();

private:
    void buildRows();
    void addParameterRows();
    void addConfigRows();
    void addChannelRows();
    CompareRow& addRow(CompareRow::Kind kind, int index, CompareScope group, QString caption, QString address,
        QString working, QString other);
    bool covers(CompareScope group) const;

    MachineData m_working;
    MachineData m_other;
    CompareScope m_scope;
    QList<CompareRow> m_rows;
    // What the controller did not give, from the data transfer's report.
    QString m_fileName;
    QList<int> m_rowsFailed;
    bool m_configFailed = false;
    QList<int> m_channelsFailed;
    QList<int> m_pulseTrains;
    std::optional<Failure> m_failure;
};

// The operator's "download selected" of a compare with the controller: the
// download question naming the values that go (No is the default), the
// running-press guard, then only those values. Declined: Cancelled, nothing
// sent. An empty selection sends nothing (EntryRefused). `report` receives
// what did not go.
Status downloadCompareRows(RSComm& rs, Prompter& prompter, const SetupCompare& compare,
    const QList<int>& selected, const QString& fileCaption, DataTransfer::Report* report = nullptr);

// The line of that question: "W1026, PLS-SCALE, CH03 from [press1.sdt], as
// selected in the compare.", and what it does to the pulse trains among them.
QString compareDownloadLine(const SetupCompare& compare, const QList<int>& selected, const QString& fileCaption);

} // namespace talvek
