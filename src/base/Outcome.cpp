#include "base/Outcome.h"

namespace talvek {

QString causeText(Cause cause)
{
    switch (cause) {
    case Cause::SilentLine: return QStringLiteral("the controller did not answer");
    case Cause::EchoMismatch: return QStringLiteral("the controller's echo was wrong");
    case Cause::ReplyAfterResync: return QStringLiteral("the reply came only after a resynchronisation");
    case Cause::RefusedByBoard: return QStringLiteral("the board refused the operation");
    case Cause::BadReply: return QStringLiteral("the controller's reply was not one it gives");
    case Cause::NotHeld: return QStringLiteral("the controller does not hold the value written");
    case Cause::PortFailed: return QStringLiteral("the serial port failed");
    case Cause::LinkDown: return QStringLiteral("the link was already down");
    case Cause::Busy: return QStringLiteral("another controller operation is waiting");
    case Cause::EntryRefused: return QStringLiteral("the value was refused; nothing was sent");
    case Cause::Cancelled: return QStringLiteral("cancelled");
    case Cause::BadFile: return QStringLiteral("file error");
    }
    return QStringLiteral("failed");
}

} // namespace talvek
