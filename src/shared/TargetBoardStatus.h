#pragma once

#include "shared/RefreshLoop.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <vector>

namespace talvek {

class OnlineModeSwitch;
class ProgramFolder;
class Prompter;
class RSComm;

// What the target board interface panel shows, as plain values.
struct TargetBoardState
{
    static constexpr int kFieldCount = 8;
    static constexpr int kPositionCount = 6;
    // Register positions of the first pass.
    static constexpr int kCurrentFault = 0;
    static constexpr int kLastFault = 1;
    static constexpr int kSlot = 2;
    static constexpr int kAction = 3; // the last fault again: selects the corrective action
    static constexpr int kCurrentComm = 4;
    static constexpr int kLastComm = 5;
    // The first clock field (hour); fields 0 and 1 are the network addresses.
    static constexpr int kFirstClockField = 2;

    // The code text of each position as last read in this opening ("0A";
    // "42" when the link had failed); empty before the first read.
    std::array<QString, kPositionCount> codes {};
    // The description boxes by position: the two faults, the corrective
    // action (Action), the two communication errors. Slot has none.
    std::array<QString, kPositionCount> descriptions {};
    // The CO-CPU slot as read; empty before the first read.
    QString slot;
    bool slotShown = false;
    bool resetEnabled = false;
    bool goOnlineShown = false;

    // The program in the board: ident, revision, checksum.
    std::array<QString, 3> inBoard {};
    bool inBoardEnabled = true;
    // The program on disk: ident, revision, checksum, target board name,
    // date of the program image.
    std::array<QString, 5> onDisk {};

    // Entry fields 0..7: network addresses 1 and 2, then hour, minute,
    // second, month, day, year of the board's clock. A text is what the field
    // shows while the operator is not typing in it.
    std::array<QString, kFieldCount> fieldTexts {};
    std::array<bool, kFieldCount> fieldShown {};
    std::array<bool, kFieldCount> fieldEnabled {};
    // The clock captions and the two "Set to Current" buttons.
    bool clockEnabled = false;
    // The PC clock.
    QString currentTime;
    QString currentDate;
    // A presentation is applied: from the first cycle of an opening to its
    // unload. Before and after, focus changes are no editing actions.
    bool live = false;

    bool operator==(const TargetBoardState&) const = default;
};

// The target board panel's work with the controller: the program set on
// disk, the first pass (fault and communication codes with their
// descriptions, the corrective action, the board's program ident), the
// entry fields polled in every cycle, the offline display, Reset Faults, the
// clock writes. It is the panel's refresh client; the panel draws what it
// publishes and forwards the operator's actions to it.
class TargetBoardStatus final : public QObject, public RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TargetBoardStatus)

public:
    static constexpr int kFieldCount = TargetBoardState::kFieldCount;

    TargetBoardStatus(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, const ProgramFolder& folder,
        QObject* parent = nullptr);
    ~TargetBoardStatus() override;

    // The corrective action for a last-fault code value.
    static QString correctiveAction(int code);

    // Reads the program file set of NorvikFile (its board code, and the
    // ident, revision and checksum of its revision file) and sets the state
    // of a new opening. A path that is empty or names no file keeps the
    // program data of the last opening. A bad revision file throws
    // BasicError and changes nothing.
    void loadProgramSet(const QString& NorvikFile);

    const TargetBoardState& state() const { return m_state; }
    // The loop this panel's work is the client of (it follows the panel):
    // each opening has both presentations applied again, and stop() ends it.
    void setRefreshLoop(RefreshLoop& loop) { m_loop = &loop; }
    qint16 boardCode() const { return m_disk.boardCode; }
    bool hasClock() const;
    bool running() const { return m_running; }
    bool firstPassDone() const { return m_firstPassDone; }
    // The PC clock read for the clock texts and the clock writes.
    void setWallClock(std::function<QDateTime()> now) { m_now = std::move(now); }

    // ---- the operator's actions ----
    // "&Go Online": brings the link online when it is not.
    void goOnline();
    // "&Reset Faults" after the operator has agreed: zeros into the four code
    // registers, then a new first pass.
    void resetFaults();
    // "Set to Current &Time" / "Set to Current &Date": the PC clock into the board.
    void setBoardTime();
    void setBoardDate();
    // An entry field's accepted value, written while the link is up.
    void writeField(int field, const QString& text);
    // "&Ok" and the window's close: the loop ends.
    void stop();

signals:
    void stateChanged(const TargetBoardState& state);
    // The poll read a field that shows its value: its text is to be drawn
    // unless the operator is typing in it.
    void fieldRead(int field, const QString& text);
    // The panel has been shown (the loop starts) / taken down (it has stopped),
    // as the loop sees it when it follows the panel (RefreshLoop::followVisibility).
    void opened();
    void closed();

private:
    // One step of the online pass.
    enum class Step
    {
        Register, // first pass: a fault or error register (arg: position 0..5)
        Describe, // first pass: descriptions, CO-CPU slot and corrective action
        Ident, // first pass: an ident register of the board (arg: 0..9)
        FinishFirstPass,
        Field, // an entry field (arg: 0..7)
    };
    struct PassStep
    {
        Step step;
        int arg;
    };

    void designState();
    void resetState();
    void showProgramOnDisk();
    void publish();
    void updateClock();
    void firstPassBegin();
    bool firstPassStep(const PassStep& s);
    void readRegister(int position);
    void describeCodes();
    void readIdent(int m);
    bool readField(int field);
    void showOffline();
    void writeClock(int first, const std::array<int, 3>& values);
    // Fills a description from a code table (the last matching record). False
    // after a read fault, which has been reported.
    bool describe(const QString& table, int position);

    // ---- RefreshClient ----
    void activated() override;
    void unloaded() override;
    void cycleStarted() override;
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    Prompter& m_prompter;
    RSComm& m_rs;
    OnlineModeSwitch& m_mode;
    const ProgramFolder& m_folder;
    QPointer<RefreshLoop> m_loop;
    std::function<QDateTime()> m_now;
    TargetBoardState m_state;
    TargetBoardState m_published;

    // The program set of the last opening (kept between openings).
    struct DiskProgram
    {
        qint16 boardCode = 68; // "D" until a program file is read
        bool loaded = false; // a program file was read
        QString ident = QStringLiteral("-");
        qint16 revision = 0;
        qint16 checksum = 0;
        QString imagePath; // set when the revision file was read
    };
    DiskProgram m_disk;

    // Poll state.
    bool m_running = false;
    bool m_firstPassDone = false;
    bool m_offlineShown = false;
    bool m_goOnlinePending = false;
    bool m_restartPass = false;
    bool m_firstPassFaulted = false; // the running first pass met a fault
    bool m_faultReported = false; // a first-pass fault was shown since the last good first pass
    int m_lastSecond = -1;
    std::vector<PassStep> m_plan;
    QString m_plcIdent; // the board's ident characters as read
};

} // namespace talvek
