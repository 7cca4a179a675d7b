#include "WireOps.h"

namespace talvek::test {

QList<WireOp> DecodeWire(const QList<SimPort::Exchange>& exchanges, qsizetype from)
{
    enum class Mode
    {
        Idle,
        Command,
        Read,
        Write
    };
    Mode mode = Mode::Idle;
    int step = 0;
    int address = 0;
    QList<WireOp> ops;
    for (qsizetype i = 0; i < exchanges.size(); ++i) {
        const SimPort::Exchange& e = exchanges.at(i);
        const bool keep = i >= from;
        const int b = e.sent;
        const int reply = e.reply.isEmpty() ? -1 : quint8(e.reply.back());
        if (step == 0 && b == 0xFF) {
            mode = Mode::Command;
            continue;
        }
        switch (mode) {
        case Mode::Idle:
            break;
        case Mode::Command:
            mode = b == 1 ? Mode::Read : b == 2 ? Mode::Write : Mode::Idle;
            break;
        case Mode::Read:
            if (step == 0) {
                address = b << 8;
                step = 1;
            } else {
                if (keep)
                    ops.append({ false, address | b, reply });
                step = 0;
            }
            break;
        case Mode::Write:
            if (step == 0) {
                address = b << 8;
                step = 1;
            } else if (step == 1) {
                address |= b;
                step = 2;
            } else {
                if (keep)
                    ops.append({ true, address, b });
                step = 0;
            }
            break;
        }
    }
    return ops;
}

QList<int> ReadAddresses(const QList<SimPort::Exchange>& exchanges, qsizetype from)
{
    QList<int> addresses;
    for (const WireOp& op : DecodeWire(exchanges, from)) {
        if (!op.write)
            addresses.append(op.address);
    }
    return addresses;
}

QList<WireOp> Writes(const QList<SimPort::Exchange>& exchanges, qsizetype from)
{
    QList<WireOp> writes;
    for (const WireOp& op : DecodeWire(exchanges, from)) {
        if (op.write)
            writes.append(op);
    }
    return writes;
}

} // namespace talvek::test
