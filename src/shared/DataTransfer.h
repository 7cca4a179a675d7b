#pragma once

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

inline constexpr qint16 TransferSetupParameters = 0;
inline constexpr qint16 TransferTimingChannels = 1;
inline constexpr qint16 TransferShiftData = 2;
inline constexpr qint16 TransferAll = 4;
inline constexpr qint16 TransferDownloadOffset = 10;

// The work of a transfer code, for a parameter table of rows 0..paramCount;
// nothing for a code that is not one of the eight.
std::optional<TransferWork> TransferWorkFor(qint16 code, qint16 paramCount);

// The status text of the timing phases.
extern const QString TimingUploadStatus; // "Uploading Timing Channels, Please Standby..."
extern const QString TimingDownloadStatus; // "Downloading Timing Channels, Please Standby..."

// One data transfer between the controller and a machine data record: the
// parameter rows of the code, then (timing codes and "&All") the PLS
// configuration and the channel setpoints. Runs synchronously, one controller
// operation at a time, letting pending events run between them through the
// letEventsRun hook (which is where a cancel request can arrive).
//
// A cancel request is honoured only between parameter rows; the timing phases
// do not look at it. A communication fault (CommError) stops the rows and the
// timing phases at their next check. A failed PLS operation sets
// timingAborted(). Values already moved keep their new values when the
// transfer stops early.
//
// A value whose read failed (a link failure, or an exchange that went wrong
// on its retry too) is not stored: the record keeps what it held, instead of
// the failure value of the read. A row that could not be read or written
// (without a link failure) stops the transfer there, timing phase included,
// and rowFailed() tells the caller; the progress counts only rows moved.
class DataTransfer final
{
public:
    struct Hooks
    {
        std::function<void()> letEventsRun; // let pending window events run
        std::function<void(const QString&)> statusChanged; // the timing phase's status text
        std::function<void(int)> progressChanged; // the progress value, after each step
    };

    DataTransfer(RSComm& rs, MachineData& data, Hooks hooks = {});
    DataTransfer(const DataTransfer&) = delete;
    DataTransfer& operator=(const DataTransfer&) = delete;

    // Runs the work of `code` (see TransferWorkFor) on rows 0..paramCount.
    // Clears both flags and the progress first. An unknown code does nothing.
    void Run(qint16 code, qint16 paramCount);

    // Takes the PLS configuration and the 16 channels' setpoints from the
    // controller into the record (nothing when CommError is set).
    void TimingUpload();
    // Sends the record's PLS configuration and channels to the controller,
    // clearing the channels whose ON and OFF setpoints are both 0, and sets
    // TimingDownloaded (nothing at all when CommError is set).
    void TimingDownload();

    void requestCancel() { m_cancel = true; }
    bool cancelRequested() const { return m_cancel; }
    bool timingAborted() const { return m_timingAborted; }
    // A parameter row could not be read or written; the transfer stopped there.
    bool rowFailed() const { return m_rowFailed; }
    // True while Run() is under way.
    bool running() const { return m_running; }
    // Steps done so far (the progress bar's value).
    int progress() const { return m_progress; }

private:
    void letEventsRun();
    void setStatus(const QString& text);
    void advance(int steps);
    // False when the row's value could not be moved.
    bool transferRow(int row, bool download);

    RSComm& m_rs;
    MachineData& m_data;
    Hooks m_hooks;
    bool m_cancel = false;
    bool m_timingAborted = false;
    bool m_rowFailed = false;
    bool m_running = false;
    int m_progress = 0;
};

} // namespace talvek
