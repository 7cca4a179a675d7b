#pragma once

// Outcomes as text for QCOMPARE: a value as itself, a failure as
// "failed: Cause" (with the value held for a write not held), done as "done".

#include "base/Outcome.h"

#include <QString>

namespace talvek::test {

inline QString causeName(Cause cause)
{
    switch (cause) {
    case Cause::SilentLine: return QStringLiteral("SilentLine");
    case Cause::EchoMismatch: return QStringLiteral("EchoMismatch");
    case Cause::ReplyAfterResync: return QStringLiteral("ReplyAfterResync");
    case Cause::RefusedByBoard: return QStringLiteral("RefusedByBoard");
    case Cause::BadReply: return QStringLiteral("BadReply");
    case Cause::NotHeld: return QStringLiteral("NotHeld");
    case Cause::PortFailed: return QStringLiteral("PortFailed");
    case Cause::LinkDown: return QStringLiteral("LinkDown");
    case Cause::Busy: return QStringLiteral("Busy");
    case Cause::EntryRefused: return QStringLiteral("EntryRefused");
    case Cause::Cancelled: return QStringLiteral("Cancelled");
    case Cause::BadFile: return QStringLiteral("BadFile");
    }
    return QStringLiteral("?");
}

inline QString shown(const Failure& f)
{
    QString text = QStringLiteral("failed: ") + causeName(f.cause);
    if (f.held)
        text += QStringLiteral(" holding ") + QString::number(*f.held);
    return text;
}

inline QString shown(const Result<QString>& r)
{
    return r ? *r : shown(r.error());
}

template <class T>
QString shown(const Result<T>& r)
{
    if (!r)
        return shown(r.error());
    if constexpr (std::is_integral_v<T>)
        return QString::number(*r);
    else
        return QStringLiteral("value");
}

inline QString shown(const Status& s)
{
    return s ? QStringLiteral("done") : shown(s.error());
}

} // namespace talvek::test
