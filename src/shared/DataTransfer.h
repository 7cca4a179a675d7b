#pragma once

#include "base/Outcome.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace talvek {

class RSComm;
struct MachineData;

// What one data transfer code does: the File menu's "&Upload (save) Data"
// items give the codes 0, 1, 2 and 4 (set-up parameters, timing channels,
// shift data, all), the "&Download Data" items the same codes + 10.
struct TransferWork
{
    bool download = false;
    int firstRow = 0; // parameter rows firstRow..lastRow; none when lastRow < firstRow
    int lastRow = -1;
    bool timing = false; // the timing upload / download after the rows
    QString status; // "Uploading Set-up Parameters, Please Standby..."
    int maximum = 0; // of the progress bar
};

inline constexpr qint16 kTransferSetupParameters = 0;
inline constexpr qint16 kTransferTimingChannels = 1;
inline constexpr qint16 kTransferShiftData = 2;
inline constexpr qint16 kTransferAll = 4;
inline constexpr qint16 kTransferDownloadOffset = 10;

// The work of a transfer code, for a parameter table of rows 0..paramCount;
// nothing for a code that is not one of the eight.
std::optional<TransferWork> transferWorkFor(qint16 code, qint16 paramCount);

// The status text of the timing phases.
extern const QString kTimingUploadStatus; // "Uploading Timing Channels, Please Standby..."
extern const QString kTimingDownloadStatus; // "Downloading Timing Channels, Please Standby..."

// One data transfer between the controller and a machine data record: the
// parameter rows of the code, then (timing codes and "&All") the PLS
// configuration and the channel setpoints. Runs synchronously, one controller
// operation at a time, letting pending events run between them through the
// letEventsRun hook (which is where a cancel request can arrive).
//
// Run() gives the outcome: done only when every row and channel of the work
// moved. A cancel request is honoured only between parameter rows (the
// timing phase still runs after it, and the outcome is Cancelled); anything
// that failed stops the transfer there, timing phase included, with the
// failure's cause. Values already moved keep their new values when the
// transfer stops early; a value that was not read is never stored, and a
// channel's setpoints are stored only as the pair both its recalls gave.
//
// Before anything is sent or read, every row of the work must name one of
// the parameter table's own addresses: a row with an empty address (a file
// with fewer rows) or another address (B32, the alarm flags; B8181, the
// program-mode key) refuses the whole transfer (Cause::BadFile, the row in
// refusedRow()).
class DataTransfer final
{
public:
    struct Hooks
    {
        std::function<void()> letEventsRun; // let pending window events run
        std::function<void(const QString&)> statusChanged; // the timing phase's status text
        std::function<void(int)> progressChanged; // the progress value, after each step
    };

    // What was not moved when a transfer ended early (rows and channels of
    // the work, in order), and what an upload found that a set-up file
    // cannot hold.
    struct Report
    {
        QList<int> rowsNotMoved;
        bool configNotMoved = false; // PLS configuration, scale factor, offset
        QList<int> channelsNotMoved;
        QList<int> pulseTrainChannels; // uploaded as 0/0
        std::optional<int> refusedRow; // the row that refused the transfer
    };

    // Some rows, the PLS configuration and some channels of the record, for
    // a download of only what the operator picked (rows and channels in the
    // order they go).
    struct Selection
    {
        QList<int> rows;
        bool config = false; // the configuration list with the scale factor
        QList<int> channels;
    };

    DataTransfer(RSComm& rs, MachineData& data, Hooks hooks = {});
    DataTransfer(const DataTransfer&) = delete;
    DataTransfer& operator=(const DataTransfer&) = delete;

    // Runs the work of `code` (see transferWorkFor) on rows 0..paramCount.
    // An unknown code, or a Run while one runs, fails with EntryRefused.
    // The link's observer is told the transfer's kind ("upload all"), the
    // file named with setFileName(), the outcome and the rows and channels
    // moved; the writes of a download carry the transfer's name as their source.
    Status run(qint16 code, qint16 paramCount);
    void setFileName(const QString& file) { m_file = file; }
    // Whether the observer is told of the transfer (a compare that reads
    // through the upload tells of itself instead).
    void setObserved(bool observed) { m_observed = observed; }
    // "upload set-up parameters", "download all", ...; empty for an unknown code.
    static QString transferKind(qint16 code);

    // Sends only the selected rows, then the configuration when selected,
    // then the selected channels, as a download of the whole groups sends
    // them (the same checks, failures and report; no cancel between rows is
    // looked at differently). Sets TimingDownloaded when anything of the
    // timing was selected. Told to the observer as "download selected".
    Status downloadSelected(const Selection& selection);

    // Takes the PLS configuration and the 16 channels' setpoints from the
    // controller into the record.
    Status timingUpload();
    // Sends the record's PLS configuration and channels to the controller,
    // clearing the channels whose ON and OFF setpoints are both 0, and sets
    // TimingDownloaded. A configuration that did not go through stops it
    // before any channel: channels sent against a scale factor that is not
    // the file's would be placed wrong.
    Status timingDownload();

    void requestCancel() { m_cancel = true; }
    bool cancelRequested() const { return m_cancel; }
    const Report& report() const { return m_report; }
    // True while Run() is under way.
    bool running() const { return m_running; }
    // Steps done so far (the progress bar's value).
    int progress() const { return m_progress; }

    // The message that names a refused row: "Row 3 of the set-up data has no
    // controller address." and "Nothing was sent.".
    static QString refusedRowText(const MachineData& data, int row);

private:
    // Tells the link's observer of a transfer that was asked to move `rows`
    // rows and `channels` channels.
    void tellObserver(const QString& kind, const Status& outcome, int rows, int channels) const;
    void letEventsRun();
    void setStatus(const QString& text);
    void advance(int steps);
    Status transferRow(int row, bool download);
    // The row loop of a transfer: stops at a cancel request, a link fault or
    // a row that failed, noting the rows not moved.
    Status recordDownload(const QList<int>& rows, bool timing);
    Status moveRows(const QList<int>& rows, bool download);
    // The configuration (when `config`) and the channels, sent.
    Status sendTiming(bool config, const QList<int>& channels);
    // The first of `rows` whose address is not the parameter table's, or
    // nothing.
    std::optional<int> unsafeRow(const QList<int>& rows) const;
    // The refusal of a transfer with such a row.
    Status refuse(int row);
    // The two recalls of a programmed channel (one of an empty one).
    Status uploadChannel(int channel);
    Status downloadChannel(int channel);
    // Notes the channels (and the configuration, when `config`) as not moved.
    void timingNotMoved(const QList<int>& channels, bool config);

    RSComm& m_rs;
    MachineData& m_data;
    Hooks m_hooks;
    QString m_file;
    bool m_observed = true;
    Report m_report;
    bool m_cancel = false;
    bool m_running = false;
    int m_progress = 0;
};

} // namespace talvek
