#pragma once

#include "base/Outcome.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>

namespace talvek {

class RSComm;

// The background monitor of the main window. Every tick of the 500 ms
// background timer it polls, while ONLINE, one fault address of the
// controller, keeps the eight alarm flags, composes SystemMessage (shown by
// the main display's Messages box) and the text of status panel 1.
//
// Poll rotation: F858, F26, W32, B38, B37. F26 reads 1 while no fault of
// W32 / B38 / B37 is pending; the next poll is then F858 again, so a healthy
// machine alternates F858 / F26 and a machine with faults reads each of the
// five once every 2.5 s.
//
// The monitor never changes the mode itself: the child window that finds
// CommError in its own polling takes the program OFFLINE.
class BackgroundMonitor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BackgroundMonitor)

public:
    static constexpr int kFaultAddressCount = 5;
    static constexpr int kFaultCount = 8;

    static const QString kAlarmHeading; // "***** SYSTEM ALARM *****"
    static const QString kNormalOnline; // "-- System Normal --" CR LF "Set-up Program is Currently ONLINE"
    static const QString kNormalOffline; // "Set-up Program is Currently OFFLINE"
    static const QString kPanelFaults; // "System Message:  Faults Active in PLC"
    static const QString kPanelNormal; // "System Message:  All Faults Normal"
    static const QString kPanelCommFault; // "System Message:  Comm Fault with K7700"
    static const QString kPanelOffline; // "System Message:  Program is Currently OFFLINE"

    // The notice that the USB adapter holds each reply for its latency timer.
    static QString panelSlowAdapter(int timerMs);
    // Ticks a notice stands in for "All Faults Normal" (30 s).
    static constexpr int kNoticeTicks = 60;

    explicit BackgroundMonitor(RSComm& rs, QObject* parent = nullptr);

    // Fills FaultAddress and FaultText (start-up).
    void InitFaultTable();

    // One tick of the background timer.
    void tick();

    // Shows a notice in status panel 1 now, and keeps it there, while ONLINE
    // with all faults normal, for the next kNoticeTicks ticks. Faults, a
    // communication fault and OFFLINE take the panel back at once.
    void showNotice(const QString& text);
    // The notice still standing; empty when none.
    QString notice() const { return m_noticeTicks > 0 ? m_notice : QString(); }

    // The read a poll goes through: RSComm::RSRead unless replaced (a test
    // that needs a reply the link itself never gives, such as a non-number).
    using Reader = std::function<Result<QString>(const QString& address)>;
    void setReader(Reader reader);

    const std::array<QString, kFaultAddressCount>& FaultAddress() const { return m_faultAddress; }
    const std::array<QString, kFaultCount>& FaultText() const { return m_faultText; }
    int PollIndex() const { return m_pollIndex; }
    bool FaultsLatched() const { return m_faultsLatched; }
    const std::array<bool, kFaultCount>& FaultActive() const { return m_faultActive; }
    bool anyFaultActive() const;
    // The system message text (CR LF line breaks); empty before the first tick.
    const QString& SystemMessage() const { return m_systemMessage; }
    // The last text given to status panel 1; empty before the first tick.
    const QString& statusText() const { return m_statusText; }

signals:
    // Status panel 1 is to read this text (sent when it changes).
    void statusTextChanged(const QString& text);
    // Alarm flag `flag` was raised or cleared by a poll (FaultText(flag) says which).
    void alarmChanged(int flag, bool raised);

private:
    void onlineTick();
    void offlineTick();
    void setStatusText(const QString& text);

    RSComm& m_rs;
    Reader m_reader;
    std::array<QString, kFaultAddressCount> m_faultAddress;
    std::array<QString, kFaultCount> m_faultText;
    int m_pollIndex = 0;
    bool m_faultsLatched = false;
    std::array<bool, kFaultCount> m_faultActive {};
    QString m_systemMessage;
    QString m_statusText;
    QString m_notice;
    int m_noticeTicks = 0;
};

} // namespace talvek
