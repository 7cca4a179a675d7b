#pragma once

#include "base/Outcome.h"

#include <QString>
#include <optional>

namespace talvek {

// One write to the controller as the link saw it end: where, what was sent,
// what the controller held before when that is known, who asked, and how it
// ended. PLS operations name their target ("PLS channel 3", "PLS offset",
// "PLS configuration") in place of a register.
struct ControllerWrite
{
    QString address;
    QString valueAfter;
    std::optional<QString> valueBefore;
    QString source;
    Status outcome;
};

// A piece of work that moved data to or from the board, or compared with it:
// a data transfer ("upload all", "download timing channels"), a program
// download or upload, a compare.
struct TransferRecord
{
    QString kind;
    QString file;
    Status outcome;
    int rows = 0; // parameter rows and channels moved; program records the board took
};

// What the link tells whoever keeps a record of the press (the journal):
// each write (before its first byte, and when it has ended), each program
// transfer, the mode and a lost link. The link calls these once each, on its
// own thread; an observer must return quickly and never call back into the
// link.
class LinkObserver
{
public:
    virtual ~LinkObserver() = default;
    // A value read from the controller (the "before" of a later write).
    virtual void valueRead(const QString& address, const QString& value) = 0;
    // A write about to be sent (its outcome not yet known); written() follows
    // it, unless the run ends inside the write. Writes do not overlap, but
    // one refused as busy may start and end inside another.
    virtual void writeStarting(const ControllerWrite& write) = 0;
    virtual void written(const ControllerWrite& write) = 0;
    virtual void transferred(const TransferRecord& transfer) = 0;
    // The link went ONLINE (outcome done) or tried and failed (the failure:
    // a port that failed, or a board that did not answer; no linkFaulted()
    // follows for it); or went OFFLINE.
    virtual void modeChanged(bool online, const Status& outcome) = 0;
    // CommError was set by an operation; told once until the link opens again.
    virtual void linkFaulted(Cause cause) = 0;
};

} // namespace talvek
